#pragma once

#include "talk/TalkConnection.h"

#include <QFrame>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QTcpSocket;

// One conversation of a talk window: a caption bar with "Send to", and the display of
// what the peer types.
class TChatWindow : public QFrame, private TTalkDisplay
{
    Q_OBJECT
public:
    static constexpr int PanelHeight = 75;
    static constexpr int StatusBarHeight = 17;

    // Connection: an accepted connection (taken over), or null to connect to Host and Port.
    TChatWindow(QWidget *owner, const QByteArray &alias, bool initiator, quint16 port, const QString &host,
                QTcpSocket *connection, TRandomByteSource random);
    ~TChatWindow() override;

    // Connects, or sends our key on an accepted connection.
    void Start();
    // Sends when "Send to" is checked.
    void SendToPeer(const QByteArray &bytes);
    // The beep pair, once the keys are exchanged.
    bool SendBeep();
    void Disconnect();
    void Shutdown();

    bool Initiator() const { return m_initiator; }
    QString Host() const { return m_host; }
    quint16 Port() const { return m_port; }
    TTalkConnection &Connection() { return *m_connection; }
    const TTalkConnection &Connection() const { return *m_connection; }

    QPlainTextEdit *Display;
    QFrame *StatusBar;
    QCheckBox *SendTo;
    QLabel *lblCaption;

signals:
    void Ended(TChatWindow *conversation, TTalkConnection::TEnd end, const QString &message);
    void StatusBarMenuRequested(TChatWindow *conversation, const QPoint &globalPos);
    void BeepSounded();
    // A read was applied to the display.
    void EditApplied();

private:
    void ApplyEdit(const TTalkEdit &edit) override;
    void ShowPeerName(const QString &name) override;
    void KeyExchanged() override;

    bool m_initiator;
    quint16 m_port;
    QString m_host;
    TTalkConnection *m_connection;
};
