#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class TfrmChat;
class TUser;

// A chat user's statistics from the user tracker, the measured ping and the client build,
// with a continuous ping. The window follows its user until the user is freed; from then on
// it keeps its last values and pings no more.
class TfrmPXOPlayerInfo : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PingInterval = 3000;
    static constexpr quint32 PingsPerRun = 10;

    // PingCount starts at 0, the box is unchecked when PingOn is false, the user's
    // InfoRequested is cleared, then what is known is shown.
    TfrmPXOPlayerInfo(TUser *user, bool pingOn, QWidget *parent = nullptr);
    ~TfrmPXOPlayerInfo() override;

    // The open window of a user of that nick that is still alive, if any.
    static TfrmPXOPlayerInfo *FindFor(const QString &nick);
    // Refreshes the window of the user's nick, or opens one when the user asked (InfoRequested).
    static void UpdatePlayerInfo(TUser *user, bool pingOn);
    // Tells every open window; called before the user is freed.
    static void UserRemoved(TUser *user);

    // Fills the labels from User; brings the window forward when the user asked again.
    void ShowPlayerInfo(TUser *user);
    void NotifyUserRemoved(TUser *user);
    // The user, or null once it was freed (or its chat form is gone).
    TUser *User() const;

    QLabel *lblName;
    QLabel *lblRanking;
    QLabel *lblKills;
    QLabel *lblDeaths;
    QLabel *lblSelfdestructs;
    QLabel *lblEfficiency;
    QLabel *lblMinutesInGame;
    QLabel *lblPing;
    QLabel *lblClient;
    QCheckBox *cbxPing;
    QPushButton *btnClose;
    QTimer *Timer;
    quint32 PingCount = 0;

private:
    void TimerTimer();
    void Detach();
    void BringToFront();

    TUser *m_user;
    // The user lives as long as its form: a form that is gone means a freed user.
    QPointer<TfrmChat> m_form;
    bool m_hadForm;
};
