// The session's model: the users it has seen, the channel list and the open conversations.
#include "irc/Channel.h"
#include "irc/Conversation.h"
#include "irc/IrcSession.h"
#include "irc/User.h"

#include <algorithm>

void TIrcSession::SetNick(const QString &nick)
{
    m_nick = nick;
    m_mentions.SetNick(nick);
}

TUser *TIrcSession::FindUser(const QString &nick) const
{
    return m_userIndex.value(Irc::StripAt(nick), nullptr);
}

TUser *TIrcSession::FindOrAddUser(const QString &nick)
{
    if (TUser *user = FindUser(nick))
        return user;
    const QString name = Irc::StripAt(nick);
    if (name.isEmpty())
        return nullptr;
    auto *user = new TUser(this, name);
    user->PingPending = true;
    m_users.append(user);
    m_userIndex.insert(user->Nick, user);
    return user;
}

TUser *TIrcSession::FindUserByDisplayName(const QString &name) const
{
    const auto it = std::find_if(m_users.cbegin(), m_users.cend(),
                                 [&name](const TUser *user) { return user->DisplayName == name; });
    return it != m_users.cend() ? *it : nullptr;
}

void TIrcSession::ClearUsers()
{
    // No conversation may keep a user that is about to go.
    for (TConversation *conversation : std::as_const(m_conversations)) {
        conversation->Clear();
        emit UsersChanged(conversation);
    }
    m_userIndex.clear();
    for (TUser *user : std::exchange(m_users, {})) {
        emit UserRemoved(user);
        delete user;
    }
}

void TIrcSession::MergeUser(const TUser &temporary)
{
    TUser *user = FindUser(temporary.Nick);
    if (!user)
        return;
    const auto text = [](QString &stored, const QString &merged) {
        if (!merged.trimmed().isEmpty())
            stored = merged.trimmed();
    };
    if (!temporary.Host.trimmed().isEmpty())
        user->SetHost(temporary.Host.trimmed());
    text(user->WhoisName, temporary.WhoisName);
    text(user->TrackerId, temporary.TrackerId);
    const auto number = [](auto &stored, auto merged) {
        if (merged)
            stored = merged;
    };
    number(user->Rating, temporary.Rating);
    number(user->Kills, temporary.Kills);
    number(user->Deaths, temporary.Deaths);
    number(user->Suicides, temporary.Suicides);
    number(user->MinutesInGame, temporary.MinutesInGame);
    number(user->IgnoreState, temporary.IgnoreState);
    number(user->PingTime, temporary.PingTime);
}

void TIrcSession::AddOrUpdateChannel(const QString &name, qint32 users, const QString &topic)
{
    TChannel *channel = FindChannel(name);
    if (channel) {
        channel->Users = users;
        channel->Topic = topic;
    } else {
        channel = new TChannel(name, users, topic);
        const auto at =
            std::upper_bound(m_channels.begin(), m_channels.end(), channel, [](const TChannel *a, const TChannel *b) {
                return a->SortKey().compare(b->SortKey()) < 0;
            });
        m_channels.insert(at, channel);
        m_channelIndex.insert(name, channel);
    }
    emit ChannelListed(channel);
}

void TIrcSession::ClearChannels()
{
    m_channelIndex.clear();
    qDeleteAll(std::exchange(m_channels, {}));
}

void TIrcSession::CountUsers(const TConversation *conversation)
{
    TChannel *channel = FindChannel(conversation->Name);
    if (channel && channel->Users != conversation->Users.size()) {
        channel->Users = qint32(conversation->Users.size());
        emit ChannelListed(channel);
    }
}

TConversation *TIrcSession::FindConversation(const QString &name) const
{
    return m_conversationIndex.value(name, nullptr);
}

TConversation *TIrcSession::OpenConversation(const QString &name)
{
    const QString wanted = Irc::StripAt(name);
    if (TConversation *conversation = FindConversation(wanted))
        return conversation;
    auto *conversation = new TConversation(wanted);
    m_conversations.append(conversation);
    m_conversationIndex.insert(wanted, conversation);
    return conversation;
}

TConversation *TIrcSession::OpenPrivate(TUser *user)
{
    if (!user)
        return nullptr;
    TConversation *conversation = OpenConversation(user->Nick);
    conversation->AddUser(user);
    if (TUser *own = FindUser(m_nick))
        conversation->AddUser(own);
    emit UsersChanged(conversation);
    return conversation;
}

void TIrcSession::CloseConversation(const QString &name)
{
    TConversation *conversation = m_conversationIndex.take(name);
    if (!conversation)
        return;
    // Out of the lists first: whoever hears of it may close it again.
    m_conversations.removeOne(conversation);
    emit ConversationClosed(conversation);
    delete conversation;
}
