#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// "Talk request": asks whether to answer another user's invitation; Yes opens a talk window
// that connects to the inviting one.
class TfrmTalkRequest : public QWidget
{
    Q_OBJECT
public:
    TfrmTalkRequest(const QString &alias, quint16 port, const QString &host, QWidget *parent = nullptr);

    QString Host() const { return m_host; }
    quint16 Port() const { return m_port; }

    QLabel *pnlCaption;
    QPushButton *btnOk;
    QPushButton *btnNo;

private:
    void btnOkClick();

    QString m_host;
    quint16 m_port;
};
