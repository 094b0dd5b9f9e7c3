#pragma once

#include "chat/ChannelList.h"
#include "chat/Chat.h"
#include "chat/ChatPages.h"
#include "chat/ChatSettings.h"
#include "chat/InputLine.h"
#include "chat/UserMenu.h"
#include "irc/IrcSession.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class TDatagramEndpoint;
class QTimer;
class QUdpSocket;
class TChatFindBar;
class TNxPing;
class TServer;
class TUDPQueue;

// The chat form every chat window derives from: the window of one IRC session (connection,
// users, channels, conversations). It renders what the session says in its tabs and lists,
// and turns what the user does into the session's calls. Derived forms adapt it through the
// virtual operations; they pass Load = false and call Loaded() at the end of their own
// constructor, so the load step runs their overrides.
class TfrmChat : public QWidget
{
    Q_OBJECT
    TIrcSession *const m_session; // first: the references below point into it and its tabs

public:
    explicit TfrmChat(QWidget *parent = nullptr, bool load = true);
    ~TfrmChat() override;

    // Controls; those of the tabs, the channel list and the user menu are theirs
    // (PageControl->btnCloseChat, pnlChannels->sgrChannels, pumUser->mnuWhoIs, ...).
    TChatPages *const PageControl;
    QLineEdit *edtChat;
    TChannelList *pnlChannels;
    QMenu *pumChannels;
    QSplitter *splChannels;
    QLabel *lblStatus;
    // Game servers, trackers and user replies, and the pings of users.
    TDatagramEndpoint *Datagrams = nullptr;
    QUdpSocket *UDP() const;
    TNxPing *Pinger() const;
    TUDPQueue *UDPQueue() const;
    QTimer *TimerChannels, *TimerConfig, *TimerWhoisDelay;
    TUserMenu *pumUser;
    TChatFindBar *pnlFind;

    // The session, its users and its channel list (in locale order)
    TIrcSession *Session() const { return m_session; }
    const QList<TUser *> &KnownUsers;
    const QList<TChannel *> &Channels;

    // State
    bool RawCommands = false;
    bool WhoisAllowed = true;
    bool Closing = false;
    bool InGame = false;
    QString LoginName, Password;
    // The tick count at which the datagram being handled arrived.
    quint32 ReplyTick() const;
    bool FirstPingSeen = false;
    std::function<void(const QString &)> OnStatus;
    bool TimersEnabled = false;
    qint32 SortColumn = 0;
    QList<TChat *> &Chats; // entry 1 is "Misc"
    QString ChatHost;
    quint16 ChatPort = 0;

    // Tabs (1-based accessors)
    int ChatCount() const { return int(Chats.size()); }
    TChat *ChatByIndex(int i) const { return PageControl->ChatByIndex(i); }
    TChat *FindChat(const QString &name) const { return PageControl->FindChat(name); }
    int ChatIndex(const QString &name) const { return int(Chats.indexOf(FindChat(name))) + 1; }
    virtual TChat *GetChat(const QString &name, bool flag = true);
    TChat *ActiveChat() const;
    TChat *Misc() const { return ChatByIndex(1); }
    void ActivateChat(TChat *chat) { PageControl->Activate(chat); }
    // Closes the tab and its conversation ("Misc" stays).
    void CloseChat(TChat *chat);
    void CloseAllChats();
    void AddChatLine(TChat *chat, const QString &nickPart, const QColor &color, const QString &text,
                     bool mention = false);
    TChat *CreatePrivateChat(TUser *user, bool activate);

    // The session's model as the lobby uses it
    TUser *FindUser(const QString &nick) const { return m_session->FindUser(nick); }
    TUser *FindOrAddUser(const QString &nick) { return m_session->FindOrAddUser(nick); }
    TUser *FindUserByDisplayName(const QString &name) const { return m_session->FindUserByDisplayName(name); }
    // Merges, then redraws the active user list (an ignored user turns red at once).
    void MergeUser(const TUser &temporary);
    void ClearChannels();
    QString SendLine(const QString &text, bool urgent = false) { return m_session->SendLine(text, urgent); }
    bool ChatIdle() const { return m_session->Idle(); }
    // True while the lines of one read are handled: views are then redrawn once, at its end.
    bool InRead() const { return m_session->InRead(); }
    // Frees the form once, from the event loop.
    void Release();
    bool Released() const { return m_released; }

    // Virtual operations; the session has answered a PING before HandlePing.
    virtual void sgrUsersDblClick(TChat *) {}
    virtual void HandlePing(const QString &) {}
    virtual void SetTimersEnabled(bool enabled);
    virtual void LoadSaveWindowSettings(bool save) { ChatSettings::LoadSaveWindow(save, this, splChannels); }
    virtual void NickInUse() {}
    // Hooks of the lobby and the datagram side; the base does nothing.
    virtual void PingUser(TUser *user);
    virtual void UserInfoChanged(TUser *) {}
    virtual void RequestStats(const QString &, const QString &) {}
    // One received datagram (at most 4096 bytes) other than a user reply; the base drops it.
    virtual void UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port);
    // A user's ping came back (an echo, or a user reply from From).
    void HandleUserReply(const QString &nick, quint32 sentTick, quint32 replyTick, const QString &from);

    // Views
    Q_INVOKABLE void ApplyClientBuild(const QString &host, quint32 build);
    Q_INVOKABLE void ApplyTabPosition() { PageControl->ApplyPosition(ChatSettings::TabsPosition()); }
    Q_INVOKABLE void RefreshActiveUserList()
    {
        if (TChat *chat = ActiveChat())
            chat->RefreshUserList();
    }
    void PageControlChange();
    void PlaceCloseButton() { PageControl->PlaceCloseButton(); }
    void btnCloseChatClick() { LeaveOrClose(PageControl->CurrentChat()); }
    // A channel is left (its tab closes when the server confirms), any other tab closes.
    void LeaveOrClose(TChat *chat);
    void sgrChannelsDblClick();
    void mnuRefreshChannelsClick();
    void mnuChatCopyClick() { PageControl->CopySelection(); }
    void mnuChatOpenUrlClick() { PageControl->OpenSelectedUrl(); }
    void TimerChannelsTimer();
    void TimerConfigTimer();
    void TimerWhoisDelayTimer();
    void Window1Click();

    // Input
    void edtChatKeyPress() { m_input->Submit(); }
    // Runs a typed text: ProcessInput, SendLine, and the echo of what went out.
    // Target, when given, is the tab the text was typed for (a detached window's).
    void SubmitInput(const QString &text, TChat *target = nullptr);
    // The server line for a typed text (possibly empty); runs the client's own commands.
    QString ProcessInput(const QString &text);
    void SendPrivate(const QString &nick, const QString &text);
    void SendAction(const QString &text);
    void ToggleIgnore(const QString &nick);
    void mnuMessageClick();
    void mnuWhoIsClick();
    void mnuIgnoreClick();
    void ToggleFriendClick();
    void mnuUserTalkClick();
    // The user the user pop-up menu acts on, and the tab it was opened on.
    TUser *PopupUser() const { return pumUser->User(); }
    TChat *PopupChat() const { return pumUser->Chat(); }
    // The input line turns gray while away.
    void ApplyInputColor() { m_input->ShowAway(ChatSettings::Away()); }

signals:
    // What the frame does for the chat windows (the frame connects them).
    void ClientProbeWanted(const QString &host);
    void NotificationWanted(const QString &title, const QString &message);
    // "Talk" on a user: a talk window, then an invitation to Host.
    void TalkWanted(const QString &host, const QString &alias);
    // A user record is about to be freed: windows that show it must forget it.
    void UserRemoved(TUser *user);

protected:
    virtual void Loaded();
    virtual void TCPConnect() {}
    virtual void OwnNickChanged() {}
    void closeEvent(QCloseEvent *event) override;
    void OpenConnection(const QString &host, quint16 port) { m_session->Open(host, port); }
    // The tab whose selected user the user pop-up menu's items act on.
    void SetPopupChat(TChat *chat) { pumUser->SetChat(chat); }

private:
    void CreateControls();
    void WireSession();
    // The settings the session works with.
    void ApplyOptions();
    TChat *ChatOf(const TConversation *conversation) const;
    void ShowLine(TConversation *conversation, const TChatLine &line);
    void UserJoined(TConversation *conversation, TUser *user);
    void TCPDisconnect();
    void CreateDatagrams();

    TInputLine *m_input;
    bool m_released = false;
    bool m_closedNoticePending = false;
    QPointer<TChat> m_inputChat; // the tab typed into while its input is handled
    // What a typed message shows once it went out: the tab, and the line's part before the text.
    QPointer<TChat> m_echoChat;
    QString m_echoPrefix;
};
