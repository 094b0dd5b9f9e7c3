// What each server line does to the session's model, and the lines it has to show.
#include "base/Tick.h"
#include "irc/Conversation.h"
#include "irc/IrcNumerics.h"
#include "irc/IrcSession.h"
#include "irc/User.h"

namespace {
using TKind = TChatLine::TKind;

QString WithoutHash(const QString &channel)
{
    return channel.startsWith(QLatin1Char('#')) ? channel.mid(1) : channel;
}

// The trailing parameter, or the last word when a server sent it without ":".
QString TrailingOr(const Irc::TMessage &m, const QString &word)
{
    const QString text = Irc::Trailing(m.Rest);
    return text.isEmpty() ? word : text;
}
} // namespace

void TIrcSession::HandleLine(const QString &line)
{
    switch (Irc::Classify(line)) {
    case Irc::LineKind::Message:
        Dispatch(line);
        break;
    case Irc::LineKind::Ping:
        // An answer the server waits for: it never queues behind pasted text.
        SendLine(Irc::PongFor(line), true);
        emit PingAnswered(line);
        break;
    case Irc::LineKind::Notice:
        break;
    case Irc::LineKind::Other:
        Show(nullptr, TKind::Raw, line);
        break;
    }
}

void TIrcSession::Show(TConversation *conversation, TChatLine::TKind kind, const QString &text)
{
    TChatLine line;
    line.Kind = kind;
    line.Text = text;
    emit LineAdded(conversation, line);
}

void TIrcSession::Dispatch(const QString &line)
{
    Irc::TMessage m = Irc::ParseMessage(line);
    if (m.UserPrefix) {
        TUser *user = FindOrAddUser(m.Nick);
        if (user && user->Host.isEmpty() && !m.Host.isEmpty())
            user->SetHost(m.Host);
    }
    switch (m.Numeric) {
    case 0:
        break;
    case Irc::RPL_WELCOME:
        return OnRegistered();
    case Irc::RPL_WHOISUSER:
        return HandleWhois(m);
    case Irc::RPL_LIST:
        if (!m.Param2.isEmpty())
            AddOrUpdateChannel(m.Param2, qint32(Irc::NextWord(m.Rest).toInt()), QString());
        return;
    case Irc::RPL_LISTEND:
        m_listPending = false;
        emit ChannelListEnded();
        return;
    case Irc::RPL_NAMREPLY:
        return HandleNames(m);
    case Irc::RPL_MOTD:
        return Show(nullptr, TKind::Server, m.Rest.mid(3));
    case Irc::ERR_NONICKNAMEGIVEN:
    case Irc::ERR_ERRONEUSNICKNAME:
    case Irc::ERR_NICKNAMEINUSE:
        emit NickInUse();
        return;
    case Irc::ERR_BANNEDFROMCHAN:
        return Show(nullptr, TKind::Alert, QStringLiteral("Unable to join channel (banned)!"));
    default:
        return;
    }
    if (m.Command == QLatin1String("JOIN")) {
        HandleJoin(m);
    } else if (m.Command == QLatin1String("PRIVMSG")) {
        HandlePrivmsg(m);
    } else if (m.Command == QLatin1String("PART")) {
        if (m.Param1.isEmpty())
            m.Param1 = Irc::Trailing(m.Rest);
        Leave(m.Nick, m.Param1);
        Show(nullptr, TKind::Event, m.Nick + QStringLiteral(" part channel ") + WithoutHash(m.Param1));
    } else if (m.Command == QLatin1String("QUIT")) {
        TUser *user = FindUser(m.Nick);
        for (TConversation *conversation : std::as_const(m_conversations)) {
            if (conversation->RemoveUser(m.Nick))
                CountUsers(conversation);
        }
        if (user)
            emit UserQuit(user);
        Show(nullptr, TKind::Alert, m.Nick + QStringLiteral(" quit"));
    } else if (m.Command == QLatin1String("MODE")) {
        HandleMode(m);
    } else if (m.Command == QLatin1String("KICK") && !m.Param1.isEmpty() && !m.Param2.isEmpty()) {
        Leave(m.Param2, m.Param1);
        Show(nullptr, TKind::Event,
             m.Param2 + QStringLiteral(" was kicked from channel ") + WithoutHash(m.Param1) + QStringLiteral(" by ") +
                 m.Nick + QLatin1Char(' ') + m.Rest);
    } else if (m.Command == QLatin1String("NICK")) {
        HandleNick(m);
    }
}

void TIrcSession::HandleWhois(Irc::TMessage &m)
{
    TUser *user = FindUser(m.Param2);
    if (!user)
        return;
    const Irc::TWhois whois = Irc::ParseWhois(m.Rest);
    user->SetHost(whois.Host);
    user->TrackerId = whois.TrackerId;
    user->WhoisName = whois.WhoisName;
    user->DisplayName = whois.RealName.isEmpty() || whois.RealName == user->TrackerId ? user->Nick : whois.RealName;
    emit WhoisReceived(user);
}

TUser *TIrcSession::AddNamedUser(TConversation *conversation, const QString &word)
{
    TUser *user = FindOrAddUser(word);
    if (!user)
        return nullptr;
    conversation->AddUser(user);
    if (word.startsWith(QLatin1Char('@')))
        conversation->AddOp(user->Nick);
    return user;
}

void TIrcSession::HandleNames(Irc::TMessage &m)
{
    // The channel type may be "=", "*" (private) or "@" (secret); the channel follows it.
    if (Irc::IsChannelType(m.Param2))
        m.Param2 = Irc::NextWord(m.Rest);
    TConversation *conversation = FindConversation(m.Param2);
    if (!conversation)
        return;
    QString names = Irc::Trailing(m.Rest);
    while (!names.isEmpty() && !names.startsWith(QLatin1Char(':'))) {
        const QString word = Irc::NextWord(names);
        if (!word.isEmpty())
            AddNamedUser(conversation, word);
    }
    CountUsers(conversation);
    emit UsersChanged(conversation);
}

void TIrcSession::HandleJoin(Irc::TMessage &m)
{
    const QString channel = TrailingOr(m, m.Param1);
    if (channel.isEmpty() || m.Nick.isEmpty())
        return;
    TConversation *conversation = nullptr;
    if (m.Nick == m_nick) {
        conversation = OpenConversation(channel);
        emit ConversationOpened(conversation, true);
    } else {
        conversation = FindConversation(channel);
    }
    if (!conversation)
        return;
    TUser *user = AddNamedUser(conversation, m.Nick);
    CountUsers(conversation);
    Show(nullptr, TKind::Join, m.Nick + QStringLiteral(" join channel ") + conversation->Caption());
    if (user)
        emit UserJoined(conversation, user);
}

void TIrcSession::HandlePrivmsg(Irc::TMessage &m)
{
    if (m.Param1.isEmpty())
        return;
    const QString text = TrailingOr(m, m.Param2);
    if (text.isEmpty() || m.Nick.isEmpty())
        return;
    if (m.Param1.startsWith(QLatin1Char('#')) || m.Param1.startsWith(QLatin1Char('+'))) {
        TConversation *conversation = FindConversation(m.Param1);
        const TUser *sender = conversation ? conversation->FindUser(m.Nick) : nullptr;
        // Ignoring hides a user's channel lines only.
        if (sender && !sender->Ignored())
            ShowMessage(conversation, m.Nick, text);
        return;
    }
    if (m.Param1 != m_nick)
        return;
    if (m_away && m_away().On && m_awayGuard.Allow(m.Nick, text, TickCount()))
        SendAwayReply(m.Nick);
    TConversation *conversation = FindConversation(m.Nick);
    if (!conversation) {
        TUser *sender = FindUser(m.Nick);
        if (!sender)
            return;
        conversation = OpenPrivate(sender);
        emit ConversationOpened(conversation, false);
    }
    ShowMessage(conversation, m.Nick, text);
}

void TIrcSession::ShowMessage(TConversation *conversation, const QString &nick, const QString &text)
{
    TChatLine line;
    line.Nick = nick;
    line.Mention = nick.compare(m_nick, Qt::CaseInsensitive) != 0 && m_mentions.Matches(text);
    if (Irc::IsAction(text)) {
        line.Kind = TKind::Action;
        line.Text = nick + Irc::ActionText(text);
    } else {
        line.Kind = TKind::Message;
        line.NickPart = nick + QStringLiteral(": ");
        line.Text = text;
    }
    emit LineAdded(conversation, line);
}

void TIrcSession::SendAwayReply(const QString &nick)
{
    const TAway away = m_away ? m_away() : TAway();
    SendLine(QStringLiteral("PRIVMSG ") + nick + QStringLiteral(" :") + QLatin1String(ChatCommands::AwayReplyStart) +
             ChatCommands::AwayTimeText((TickCount() - away.Since) / 1000) + QStringLiteral(") ") + away.Text);
}

void TIrcSession::HandleMode(Irc::TMessage &m)
{
    TConversation *conversation = FindConversation(m.Param1);
    if (!conversation)
        return;
    QString letters = m.Param2;
    QString args = m.Rest;
    if (letters.isEmpty()) {
        letters = Irc::Trailing(m.Rest);
        args.clear();
    }
    bool changed = false;
    for (const Irc::TOpChange &change : Irc::ParseOpChanges(letters, args)) {
        const TUser *user = FindUser(change.Nick);
        // A nick the client has never seen ends this line here.
        if (!user)
            break;
        if (change.Adding)
            conversation->AddOp(user->Nick);
        else
            conversation->RemoveOp(user->Nick);
        changed = true;
    }
    if (changed)
        emit OpsChanged(conversation);
}

void TIrcSession::HandleNick(Irc::TMessage &m)
{
    const QString oldNick = m.Nick;
    const QString newNick = Irc::StripAt(TrailingOr(m, m.Param1));
    if (oldNick.isEmpty() || newNick.isEmpty() || oldNick == newNick)
        return;
    if (oldNick == m_nick) {
        SetNick(newNick);
        emit OwnNickChanged();
    }
    TUser *user = FindUser(oldNick);
    TUser *other = FindUser(newNick);
    if (!user)
        return;
    if (!other) {
        m_userIndex.remove(oldNick);
        user->SetNick(newNick);
        m_userIndex.insert(user->Nick, user);
    }
    for (TConversation *conversation : std::as_const(m_conversations)) {
        if (!conversation->FindUser(oldNick))
            continue;
        if (other) {
            // The new nick is already known: that record takes the old one's place.
            const bool wasOp = conversation->IsOp(oldNick);
            conversation->RemoveUser(oldNick);
            conversation->AddUser(other);
            if (wasOp)
                conversation->AddOp(other->Nick);
        } else {
            conversation->Rename(oldNick, newNick);
        }
    }
    if (TConversation *conversation = FindConversation(oldNick); conversation && !FindConversation(newNick)) {
        m_conversationIndex.remove(oldNick);
        conversation->Name = newNick;
        m_conversationIndex.insert(newNick, conversation);
    }
    emit UserRenamed(other ? other : user, oldNick);
    Show(nullptr, TKind::Event, oldNick + QStringLiteral(" is now known as ") + newNick);
}

void TIrcSession::Leave(const QString &nick, const QString &channel)
{
    TConversation *conversation = FindConversation(channel);
    if (!conversation)
        return;
    if (nick == m_nick)
        return CloseConversation(channel);
    if (TUser *user = conversation->RemoveUser(nick)) {
        CountUsers(conversation);
        emit UserLeft(conversation, user);
    }
}
