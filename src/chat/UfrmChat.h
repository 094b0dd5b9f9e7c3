#pragma once

#include "chat/ChatCommands.h"
#include "chat/IrcLine.h"
#include "chat/NickCompleter.h"
#include "chat/ReconnectPolicy.h"

#include <QAbstractSocket>
#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QAction;
class QSplitter;
class QTabWidget;
class QTableView;
class QTcpSocket;
class QUdpSocket;
class TNxPing;
class TNxSocket;
class TUDPQueue;
class TDatagramEndpoint;
class QTimer;
class QToolButton;
class TChannel;
class TChannelModel;
class TChat;
class TServer;
class TUser;
class TfrmChatWindow;
class TChatFindBar;
class TSendQueue;

// The chat form every chat window derives from: one IRC connection, its conversation tabs,
// the users and channels it has seen. Derived forms adapt it through the virtual operations.
//
// A derived class passes Load = false to this constructor and calls Loaded() at the end of
// its own, so the load step runs the derived overrides.
class TfrmChat : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmChat(QWidget *parent = nullptr, bool load = true);
    ~TfrmChat() override;

    // Controls
    QLineEdit *edtChat;
    QWidget *pnlChannels;
    QTableView *sgrChannels;
    QSplitter *splChannels;
    QTabWidget *PageControl;
    QToolButton *btnCloseChat;
    QLabel *lblStatus;
    QTcpSocket *TCP;
    // Game servers, trackers and user replies, and the pings of users.
    TDatagramEndpoint *Datagrams = nullptr;
    QUdpSocket *UDP() const;
    TNxPing *Pinger() const;
    TUDPQueue *UDPQueue() const;
    QTimer *TimerChannels;
    QTimer *TimerConfig;
    QTimer *TimerLoginRetry;
    QTimer *TimerWhoisDelay;
    QMenu *pumUser;
    QAction *mnuMessage;
    QAction *mnuWhoIs;
    QAction *mnuIgnore;
    QAction *mnuUserTalk;
    QAction *AddtoFriendslist1;
    QMenu *pumChannels;
    QAction *Join1;
    QAction *mnuRefreshChannels;
    QMenu *pumChannelTabs;
    QAction *Window1;
    QMenu *pumChat;
    QAction *mnuChatCopy;
    QAction *mnuChatOpenUrl;
    QAction *mnuChatOpenLogFolder = nullptr;
    TChatFindBar *pnlFind = nullptr;

    // State
    bool RawCommands = false;
    bool WhoisAllowed = true;
    bool Closing = false;
    bool InGame = false;
    Irc::TLineFramer LineBuffer;
    QString LoginName;
    QString Password;
    QString Nick;
    QString TrackerId;
    qint32 LoginTries = 0;
    QList<TChannel *> Channels; // owned, in locale order of their names
    // The tick count at which the datagram being handled arrived.
    quint32 ReplyTick() const;
    bool FirstPingSeen = false;
    bool ListUpdating = false;
    bool LoginStarted = false;
    QList<TUser *> KnownUsers; // owned
    std::function<void(const QString &)> OnStatus;
    bool TimersEnabled = false;
    qint32 SortColumn = 0;
    QList<TChat *> Chats; // entry 1 (index 0) is "Misc"; the tabs are owned by the page control
    QString ChatHost;
    quint16 ChatPort = 0;
    QString UserTrackerHost;
    quint16 UserTrackerPort = 0;
    QString GameTrackerHost;
    quint16 GameTrackerPort = 0;

    // Tabs (1-based accessors)
    int ChatCount() const { return int(Chats.size()); }
    TChat *ChatByIndex(int i) const;
    TChat *FindChat(const QString &name) const;
    int ChatIndex(const QString &name) const;
    virtual TChat *GetChat(const QString &name, bool flag = true);
    TChat *ActiveChat() const;
    TChat *Misc() const { return ChatByIndex(1); }
    void ActivateChat(TChat *chat);
    void CloseChat(TChat *chat);
    void CloseAllChats();
    void AddChatLine(TChat *chat, const QString &nickPart, const QColor &color, const QString &text,
                     bool mention = false);

    // Users
    TUser *FindUser(const QString &nick) const;
    TUser *FindOrAddUser(const QString &nick);
    TUser *FindUserByDisplayName(const QString &name) const;
    int UserCount() const { return int(KnownUsers.size()); }
    TUser *UserByIndex(int i) const; // 0-based
    void ClearUsers();
    void MergeUser(const TUser &temporary);

    // Channels (1-based accessors)
    int ChannelCount() const { return int(Channels.size()); }
    TChannel *ChannelByIndex(int i) const;
    TChannel *FindChannel(const QString &name) const;
    void AddOrUpdateChannel(const QString &name, qint32 users, const QString &topic);
    void ClearChannels();
    void RefreshChannelGrid();

    // Connection
    // Sends Text + CR LF while connected, through the send queue; gives the text that goes
    // out (cut and ended as a line must be), empty when nothing was sent. Lines of a pasted
    // block wait for the pace; an urgent line (an answer to the server) goes before them.
    QString SendLine(const QString &text, bool urgent = false);
    TSendQueue *SendQueue() const { return m_sendQueue; }
    // Takes the send pace from the settings.
    void ApplySendPace();
    void HandleLine(const QString &line);
    // No connection, and none being opened (its host name looked up).
    bool ChatIdle() const;
    void Dispatch(const QString &line);
    void ShowStatus(const QString &text);
    // True while the lines of one read are handled: views are then redrawn once, at its end.
    bool InRead() const { return m_readDepth > 0; }
    // Frees the form once, from the event loop.
    void Release();
    bool Released() const { return m_released; }

    // Virtual operations
    virtual void sgrUsersDblClick(TChat *chat);
    virtual void HandlePing(const QString &line);
    virtual void SetTimersEnabled(bool enabled);
    virtual void LoadSaveWindowSettings(bool save);
    virtual void NickInUse();
    // Hooks of the lobby and the datagram side; the base does nothing.
    virtual void PingUser(TUser *user);
    virtual void UserInfoChanged(TUser *user);
    virtual void RequestStats(const QString &displayName, const QString &trackerId);
    // One received datagram (at most 4096 bytes) other than a user reply; the base drops it.
    virtual void UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port);
    // A user's ping came back (an echo, or a user reply from From).
    void HandleUserReply(const QString &nick, quint32 sentTick, quint32 replyTick, const QString &from);

    // Views
    Q_INVOKABLE void ApplyClientBuild(const QString &host, quint32 build);
    Q_INVOKABLE void ApplyTabPosition();
    Q_INVOKABLE void RefreshActiveUserList();
    void PageControlChange();
    void PlaceCloseButton();
    void btnCloseChatClick();
    void LeaveOrClose(TChat *chat);
    void sgrChannelsDblClick();
    void mnuRefreshChannelsClick();
    void mnuChatCopyClick();
    void mnuChatOpenUrlClick();
    void TimerChannelsTimer();
    void TimerConfigTimer();
    void TimerWhoisDelayTimer();
    bool ListPending() const { return m_listPending; }

    // Detached windows
    void Window1Click();
    TfrmChatWindow *DetachedWindowOf(const TChat *chat) const;
    QList<TfrmChatWindow *> DetachedWindows() const;

    // Private conversations
    TChat *CreatePrivateChat(TUser *user, bool activate);

    // Input
    void edtChatKeyPress();
    // Runs a typed text: ProcessInput, SendLine, and the echo of what went out.
    // Target, when given, is the tab the text was typed for (a detached window's).
    void SubmitInput(const QString &text, TChat *target = nullptr);
    // Sends several lines (a pasted block) one by one; asks first when there are more than
    // PasteAskLines. False when the user declined.
    bool SubmitLines(const QStringList &lines, TChat *target = nullptr);
    static constexpr int PasteAskLines = 5;
    // Handles Tab, Up, Down and a multi-line paste in an input line typing into Chat.
    bool InputKey(QLineEdit *input, TChat *chat, QKeyEvent *event);
    // Completes the nick before the input line's cursor; false when nothing matched.
    bool CompleteNick(QLineEdit *input, TChat *chat);
    // Opens the find bar on the active conversation; CloseFind hides it.
    void OpenFind();
    void CloseFind();
    // Tells once that a conversation log cannot be written.
    void ShowLogFailure(const QString &error);
    // Reconnecting after an unexpected drop (when so configured).
    bool Reconnecting() const { return m_reconnectPending; }
    int ReconnectDelayMs() const;
    // The server line for a typed text (possibly empty); runs the client's own commands.
    QString ProcessInput(const QString &text);
    void SendPrivate(const QString &nick, const QString &text);
    void SendAction(const QString &text);
    void AwayCommand(const QString &text);
    void SendAwayReply(const QString &nick);
    void ToggleIgnore(const QString &nick);
    void mnuMessageClick();
    void mnuWhoIsClick();
    void mnuIgnoreClick();
    void ToggleFriendClick();
    // The user the user pop-up menu acts on: the selected user of the tab it was opened on.
    void mnuUserTalkClick();
    TUser *PopupUser() const;
    TChat *PopupChat() const;
    void ApplyInputColor();

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
    virtual void TCPConnect();
    virtual void OwnNickChanged();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void OpenConnection(const QString &host, quint16 port);
    // The tab whose selected user the user pop-up menu's items act on.
    void SetPopupChat(TChat *chat);

private:
    void CreateControls();
    void CreateMenus();
    void CreateUserMenu();
    void SetAwayFlag(bool away);
    void WireTab(TChat *chat);
    void ChatUsersChanged(TChat *chat);
    void TCPRead();
    void TCPConnected();
    void TCPDisconnect();
    void TCPError(QAbstractSocket::SocketError error);
    void CreateDatagrams();
    void FlushViews();
    void ShowMessage(TChat *chat, const QString &nick, const QString &text);
    bool IsMention(const QString &nick, const QString &text) const;
    void NotifyMention(TChat *chat, const QString &nick, const QString &text);
    void CreateExtras();
    bool ScheduleReconnect();
    void ReconnectNow();
    void Registered();

    // Dispatch handlers, one per command of a server line
    void HandleWhois(Irc::TMessage &m);
    void HandleChannelEntry(Irc::TMessage &m);
    void HandleNames(Irc::TMessage &m);
    void HandleJoin(Irc::TMessage &m);
    void HandlePrivmsg(Irc::TMessage &m);
    void HandlePart(Irc::TMessage &m);
    void HandleQuit(Irc::TMessage &m);
    void HandleMode(Irc::TMessage &m);
    void HandleKick(Irc::TMessage &m);
    void HandleNick(Irc::TMessage &m);
    void Leave(const QString &nick, const QString &channel);
    void AddNamedUser(TChat *chat, const QString &word);
    void SendList();

    void ShowTextPopup(TChat *chat, const QPoint &pos);
    void ShowChannelPopup(const QPoint &pos);

    TChannelModel *m_channelModel = nullptr;
    QHash<QString, TUser *> m_userIndex;
    QHash<QString, TChannel *> m_channelIndex;
    int m_readDepth = 0;
    QTimer *m_readMore = nullptr;
    bool m_channelsDirty = false;
    bool m_released = false;
    bool m_closedNoticePending = false;
    bool m_wasConnected = false;
    bool m_listPending = false;
    QElapsedTimer m_listSent;
    QPointer<TChat> m_popupChat;
    QString m_selectedChannel;
    QPointer<TChat> m_inputChat; // the tab typed into while its input is handled
    QList<QPointer<TfrmChatWindow>> m_detached;
    void CloseDetachedWindows();
    QPointer<TChat> m_popupUserChat;
    TSendQueue *m_sendQueue = nullptr;
    TNickCompleter m_completer;
    TReconnectPolicy m_reconnect;
    QTimer *m_reconnectTimer = nullptr;
    bool m_reconnectPending = false;
    bool m_rejoinPending = false;
    bool m_paced = false;    // lines sent now are a block that must keep the pace
    bool m_userQuit = false; // the user sent QUIT: the drop that follows is wanted
    QString m_host;
    quint16 m_port = 0;
    quint64 m_connectAttempt = 0; // a lookup that answers an older attempt connects nothing
    bool m_resolving = false;
    ChatCommands::TAwayReplyGuard m_awayGuard;
    // What a typed message shows once it went out: the tab and the part of the line before
    // the text.
    struct TEcho
    {
        QPointer<TChat> Chat;
        QString Prefix;
    } m_echo;
};
