#pragma once

#include "talk/ChatWindow.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;
class QSplitter;
class QTcpSocket;
class QToolBar;
class TRedTalk;
class TTalkServer;

// A talk window: listens on its own port for talk connections, opens connections to other
// users' talk windows, and shows each as a conversation stacked newest first above one
// input that serves all of them key by key.
class TfrmDirectChat : public QWidget
{
    Q_OBJECT
public:
    TfrmDirectChat(const QString &alias, quint16 port, QWidget *parent = nullptr);
    ~TfrmDirectChat() override;

    // Starts listening on Port (or the port given at creation); the caption follows.
    bool Listen(quint16 port);
    QString ListenError() const;
    quint16 ServerPort() const { return m_port; }
    QString Alias() const { return m_alias; }
    static QList<TfrmDirectChat *> OpenWindows();

    // Connection: an accepted connection, or null to connect to Host and Port.
    TChatWindow *AddConversation(QTcpSocket *connection, const QString &host, bool initiator, quint16 port);
    TChatWindow *FindConversation(const QTcpSocket *socket) const;
    void RemoveConversation(TChatWindow *conversation);
    void SendToAll(const QByteArray &bytes);
    const QList<TChatWindow *> &Conversations() const { return m_conversations; }
    // Incoming connections waiting for the user's answer, the one asked about included.
    int WaitingCount() const;

    // What "Connect" does once the dialog is answered: Port is the dialog's text.
    TChatWindow *ConnectTo(const QString &host, const QString &portText);
    // Conversations that the menu items act on; null when the menu was not opened on one.
    TChatWindow *MenuConversation() const { return m_menuConversation; }
    void SetMenuConversation(TChatWindow *conversation) { m_menuConversation = conversation; }

    QToolBar *tbrStandard;
    QAction *tbtConnect;
    QMenu *pumUser;
    QAction *mnuBeep;
    QAction *mnuDisconnect;
    TRedTalk *RedTalk;

signals:
    // A conversation was removed, after any message about it was answered.
    void ConversationRemoved();

private:
    void tbtConnectClick();
    void mnuBeepClick();
    void mnuDisconnectClick();
    void ShowUserMenu(TChatWindow *conversation, const QPoint &globalPos);
    void ConversationEnded(TChatWindow *conversation, TTalkConnection::TEnd end, const QString &message);
    void Notify(QPointer<TChatWindow> conversation, TTalkConnection::TEnd end, const QString &message);
    void ScheduleAccept();
    void AskNextConnection();
    void UpdateCaption();

    QString m_alias;
    quint16 m_port;
    TTalkServer *m_server;
    QSplitter *m_splitter;
    QList<TChatWindow *> m_conversations;
    QPointer<TChatWindow> m_menuConversation;
    bool m_asking = false;
    bool m_acceptScheduled = false;
};
