#pragma once

#include "irc/ChatCommands.h"
#include "irc/Conversation.h"
#include "irc/IrcLine.h"
#include "irc/MentionMatcher.h"
#include "irc/ReconnectPolicy.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <utility>

class QTcpSocket;
class QTimer;
class TChannel;
class TSendQueue;
class TUser;

// One connection to an IRC server and the model built from what the server says: the users
// seen, the channel list, the open conversations and who is in each. Received bytes (from
// the socket, or Feed) are framed into lines and dispatched by numeric and command; every
// change comes out as a typed signal. The window renders the signals and calls down with
// what the user does. The session reads no setting: its owner gives it the options.
//
//   Inactive → Connecting (name lookup, TCP) → Connected (the owner registers, on Connected)
//   → Registered (001) → Closing (QUIT) → Closed. An unwanted drop goes to Waiting instead
//   when reconnecting is on, and from there to Connecting again.
class TIrcSession : public QObject
{
    Q_OBJECT
public:
    enum class TStatus { Inactive, Connecting, Connected, Registered, Waiting, Closing, Closed };
    Q_ENUM(TStatus)

    // The owner's away state, asked for when a private message arrives.
    struct TAway
    {
        bool On = false;
        QString Text;
        quint32 Since = 0; // tick count
    };

    explicit TIrcSession(QObject *parent = nullptr);
    ~TIrcSession() override;

    // Connection
    void Open(const QString &host, quint16 port);
    // Sends what is queued and QUIT, then closes; no reconnect follows.
    void Quit();
    TStatus Status() const { return m_status; }
    // No connection, and none being opened (its host name looked up).
    bool Idle() const;
    QString Host() const { return m_host; }
    quint16 Port() const { return m_port; }
    // Sends Text + CR LF while connected, through the send queue; gives the text that goes
    // out (cut and ended as a line must be), empty when nothing was sent. An urgent line (an
    // answer the server waits for) goes before queued text.
    QString SendLine(const QString &text, bool urgent = false);
    // "PRIVMSG Target :Text" and a CTCP action; each gives the part of Text that went out.
    QString SendPrivate(const QString &target, const QString &text);
    QString SendAction(const QString &target, const QString &text);
    // Lines sent while paced are a block (a paste) that keeps the pace; gives the old value.
    bool SetPaced(bool paced) { return std::exchange(m_paced, paced); }
    TSendQueue *SendQueue() const { return m_sendQueue; }
    void SetSendPace(int burst, int intervalMs);
    void SetReconnect(bool on) { m_reconnectOn = on; }
    bool Reconnecting() const { return m_status == TStatus::Waiting; }
    int ReconnectDelayMs() const;
    const Irc::TLineFramer &LineBuffer() const { return m_lineBuffer; }
    // Received bytes: every complete line is handled, then ReadDone.
    void Feed(QByteArrayView bytes);
    void HandleLine(const QString &line);
    // True while the lines of one read are handled.
    bool InRead() const { return m_readDepth > 0; }

    // Our nick, the friends rule, away and highlight words
    const QString &Nick() const { return m_nick; }
    void SetNick(const QString &nick);
    void SetFriendRule(std::function<bool(const QString &)> rule) { m_isFriend = std::move(rule); }
    bool IsFriend(const QString &nick) const { return m_isFriend && m_isFriend(nick); }
    void SetAwaySource(std::function<TAway()> source) { m_away = std::move(source); }
    void SetHighlightWords(const QStringList &words) { m_mentions.SetWords(words); }
    // "(Been away 1h:02:05) " + the away text, to Nick.
    void SendAwayReply(const QString &nick);

    // Users
    const QList<TUser *> &KnownUsers() const { return m_users; }
    TUser *FindUser(const QString &nick) const;
    TUser *FindOrAddUser(const QString &nick);
    TUser *FindUserByDisplayName(const QString &name) const;
    int UserCount() const { return int(m_users.size()); }
    TUser *UserByIndex(int i) const { return m_users.value(i, nullptr); } // 0-based
    void ClearUsers();
    // Copies what the temporary user knows into the stored user of its nick: texts when not
    // blank (trimmed), numbers when not 0.
    void MergeUser(const TUser &temporary);

    // Channel list, in locale order (1-based accessors)
    const QList<TChannel *> &Channels() const { return m_channels; }
    int ChannelCount() const { return int(m_channels.size()); }
    TChannel *ChannelByIndex(int i) const { return m_channels.value(i - 1, nullptr); }
    TChannel *FindChannel(const QString &name) const { return m_channelIndex.value(name, nullptr); }
    void AddOrUpdateChannel(const QString &name, qint32 users, const QString &topic);
    void ClearChannels();
    // Sends LIST; the list is pending until its end (323), or two minutes at most.
    void RequestList();
    bool ListPending() const;

    // Conversations
    const QList<TConversation *> &Conversations() const { return m_conversations; }
    TConversation *FindConversation(const QString &name) const;
    // Finds or opens the conversation (quietly: the caller opens its view).
    TConversation *OpenConversation(const QString &name);
    // A private conversation with User, and with us when we are known.
    TConversation *OpenPrivate(TUser *user);
    // Closes the conversation (ConversationClosed first); nothing when there is none.
    void CloseConversation(const QString &name);

signals:
    // The TCP connection is up: the owner registers (USER, NICK).
    void Connected();
    void Registered();
    void PingAnswered(const QString &line);
    // The server refused our nick (431, 432, 433).
    void NickInUse();
    void OwnNickChanged();
    // The connection ended or could not be made; Status() tells whether a reconnect waits.
    void Disconnected();
    // Socket errors and dropped input, for a status line.
    void StatusText(const QString &text);
    // The lines of one read were handled: views are drawn once, now.
    void ReadDone();
    // A line for Conversation; none: the server's own.
    void LineAdded(TConversation *conversation, const TChatLine &line);
    void ConversationOpened(TConversation *conversation, bool activate);
    // About to be freed: our PART or KICK, or CloseConversation.
    void ConversationClosed(TConversation *conversation);
    void UserJoined(TConversation *conversation, TUser *user);
    void UserLeft(TConversation *conversation, TUser *user); // PART or KICK
    void UserQuit(TUser *user);                              // gone from every conversation
    void UserRenamed(TUser *user, const QString &oldNick);
    // Several users at once: a names list, a new private conversation, a reconnect.
    void UsersChanged(TConversation *conversation);
    void OpsChanged(TConversation *conversation);
    // About to be freed: nobody may keep it.
    void UserRemoved(TUser *user);
    // The user's host is known while its first ping is due.
    void UserHostKnown(TUser *user);
    void UserInfoChanged(TUser *user);
    void WhoisReceived(TUser *user);
    void ChannelListed(TChannel *channel);
    void ChannelListEnded();

private:
    // The connection (IrcSession.cpp)
    void OnConnected();
    void ReadSocket();
    void OnDisconnected();
    void OnError(QAbstractSocket::SocketError error);
    bool ScheduleReconnect();
    void ReconnectNow();
    void OnRegistered();
    // What each line does (IrcDispatch.cpp)
    void Dispatch(const QString &line);
    void HandleWhois(Irc::TMessage &m);
    void HandleNames(Irc::TMessage &m);
    void HandleJoin(Irc::TMessage &m);
    void HandlePrivmsg(Irc::TMessage &m);
    void HandleMode(Irc::TMessage &m);
    void HandleNick(Irc::TMessage &m);
    void Leave(const QString &nick, const QString &channel);
    TUser *AddNamedUser(TConversation *conversation, const QString &word);
    void Show(TConversation *conversation, TChatLine::TKind kind, const QString &text);
    void ShowMessage(TConversation *conversation, const QString &nick, const QString &text);
    // An open channel's listed count follows its conversation.
    void CountUsers(const TConversation *conversation);

    QTcpSocket *m_socket;
    TSendQueue *m_sendQueue;
    QTimer *m_readMore;
    QTimer *m_reconnectTimer;
    TStatus m_status = TStatus::Inactive;
    Irc::TLineFramer m_lineBuffer;
    int m_readDepth = 0;
    QString m_host;
    quint16 m_port = 0;
    quint64 m_connectAttempt = 0; // a lookup that answers an older attempt connects nothing
    bool m_resolving = false;
    bool m_wasConnected = false;
    bool m_userQuit = false; // we sent QUIT: the drop that follows is wanted
    bool m_paced = false;
    bool m_reconnectOn = false;
    bool m_rejoinPending = false;
    TReconnectPolicy m_reconnect;
    bool m_listPending = false;
    QElapsedTimer m_listSent;

    QString m_nick;
    std::function<bool(const QString &)> m_isFriend;
    std::function<TAway()> m_away;
    TMentionMatcher m_mentions;
    ChatCommands::TAwayReplyGuard m_awayGuard;

    QList<TUser *> m_users; // owned
    QHash<QString, TUser *> m_userIndex;
    QList<TChannel *> m_channels; // owned
    QHash<QString, TChannel *> m_channelIndex;
    QList<TConversation *> m_conversations; // owned
    QHash<QString, TConversation *> m_conversationIndex;
};
