// What each server line does to the model and the tabs.
#include "base/Tick.h"
#include "chat/Beep.h"
#include "chat/ChatSettings.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "chat/UfrmChat.h"

#include <QLineEdit>
#include <QTabWidget>

namespace {
const QColor Green(0, 128, 0);
const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);
const QColor Black(0, 0, 0);

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

void TfrmChat::HandleLine(const QString &line)
{
    switch (Irc::Classify(line)) {
    case Irc::LineKind::Message:
        Dispatch(line);
        break;
    case Irc::LineKind::Ping:
        HandlePing(line);
        break;
    case Irc::LineKind::Notice:
        break;
    case Irc::LineKind::Other:
        AddChatLine(ActiveChat(), QString(), Red, line);
        break;
    }
}

void TfrmChat::HandlePing(const QString &line)
{
    // An answer the server waits for: it never queues behind pasted text.
    SendLine(Irc::PongFor(line), true);
}

void TfrmChat::Dispatch(const QString &line)
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
    case 1:
        return Registered();
    case 311:
        return HandleWhois(m);
    case 322:
        return HandleChannelEntry(m);
    case 323:
        m_listPending = false;
        return;
    case 353:
        return HandleNames(m);
    case 372:
        AddChatLine(Misc(), QString(), Black, m.Rest.mid(3));
        return;
    case 431: // no nick given
    case 432: // nick refused by the server
    case 433:
        return NickInUse();
    case 474:
        AddChatLine(Misc(), QString(), Red, QStringLiteral("Unable to join channel (banned)!"));
        return;
    default:
        return;
    }
    if (m.Command == QLatin1String("JOIN"))
        HandleJoin(m);
    else if (m.Command == QLatin1String("PRIVMSG"))
        HandlePrivmsg(m);
    else if (m.Command == QLatin1String("PART"))
        HandlePart(m);
    else if (m.Command == QLatin1String("QUIT"))
        HandleQuit(m);
    else if (m.Command == QLatin1String("MODE"))
        HandleMode(m);
    else if (m.Command == QLatin1String("KICK"))
        HandleKick(m);
    else if (m.Command == QLatin1String("NICK"))
        HandleNick(m);
}

void TfrmChat::HandleWhois(Irc::TMessage &m)
{
    TUser *user = FindUser(m.Param2);
    if (!user)
        return;
    const Irc::TWhois whois = Irc::ParseWhois(m.Rest);
    user->SetHost(whois.Host);
    user->TrackerId = whois.TrackerId;
    user->WhoisName = whois.WhoisName;
    RefreshActiveUserList();
    user->DisplayName = whois.RealName.isEmpty() || whois.RealName == user->TrackerId ? user->Nick : whois.RealName;
    RequestStats(user->DisplayName, user->TrackerId);
}

void TfrmChat::HandleChannelEntry(Irc::TMessage &m)
{
    if (m.Param2.isEmpty())
        return;
    const QString count = Irc::NextWord(m.Rest);
    AddOrUpdateChannel(m.Param2, qint32(count.toInt()), QString());
}

void TfrmChat::AddNamedUser(TChat *chat, const QString &word)
{
    TUser *user = FindOrAddUser(word);
    if (!chat || !user)
        return;
    chat->AddUser(user);
    if (word.startsWith(QLatin1Char('@')))
        chat->AddOp(user);
}

void TfrmChat::HandleNames(Irc::TMessage &m)
{
    // The channel type may be "=", "*" (private) or "@" (secret); the channel follows it.
    if (Irc::IsChannelType(m.Param2))
        m.Param2 = Irc::NextWord(m.Rest);
    TChat *chat = FindChat(m.Param2);
    if (!chat)
        return;
    QString names = Irc::Trailing(m.Rest);
    while (!names.isEmpty() && !names.startsWith(QLatin1Char(':'))) {
        const QString word = Irc::NextWord(names);
        if (!word.isEmpty())
            AddNamedUser(chat, word);
    }
}

void TfrmChat::HandleJoin(Irc::TMessage &m)
{
    const QString channel = TrailingOr(m, m.Param1);
    if (channel.isEmpty() || m.Nick.isEmpty())
        return;
    TChat *chat = nullptr;
    if (m.Nick == Nick) {
        chat = GetChat(channel, true);
        PageControl->setCurrentWidget(chat);
        PageControlChange();
    } else {
        chat = FindChat(channel);
    }
    if (!chat)
        return;
    AddNamedUser(chat, m.Nick);
    AddChatLine(Misc(), QString(), Green, m.Nick + QStringLiteral(" join channel ") + chat->Caption());
    const TUser *user = FindUser(m.Nick);
    if (user && user->IsFriend()) {
        if (ChatSettings::JoinFriendSound())
            Sound::Beep();
        if (ChatSettings::NotifyFriendJoin())
            emit NotificationWanted(QStringLiteral("Friend online"), m.Nick + QStringLiteral(" joined ") + chat->Name);
    }
}

void TfrmChat::HandlePrivmsg(Irc::TMessage &m)
{
    if (m.Param1.isEmpty())
        return;
    const QString text = TrailingOr(m, m.Param2);
    if (text.isEmpty() || m.Nick.isEmpty())
        return;
    if (m.Param1.startsWith(QLatin1Char('#')) || m.Param1.startsWith(QLatin1Char('+'))) {
        TChat *chat = FindChat(m.Param1);
        const TUser *sender = chat ? chat->FindUser(m.Nick) : nullptr;
        if (sender && !sender->Ignored())
            ShowMessage(chat, m.Nick, text);
        return;
    }
    if (m.Param1 != Nick)
        return;
    if (ChatSettings::Away() && m_awayGuard.Allow(m.Nick, text, TickCount()))
        SendAwayReply(m.Nick);
    TChat *chat = FindChat(m.Nick);
    if (!chat)
        chat = CreatePrivateChat(FindUser(m.Nick), false);
    if (!chat)
        return;
    ShowMessage(chat, m.Nick, text);
    if (ChatSettings::NotifyMessage())
        emit NotificationWanted(QStringLiteral("Message from ") + m.Nick,
                                Irc::IsAction(text) ? m.Nick + Irc::ActionText(text) : text);
}

void TfrmChat::ShowMessage(TChat *chat, const QString &nick, const QString &text)
{
    if (!chat)
        return;
    chat->NoteSpeaker(nick);
    const bool mention = IsMention(nick, text);
    if (Irc::IsAction(text))
        AddChatLine(chat, QString(), ChatSettings::ActionColor(), nick + Irc::ActionText(text), mention);
    else
        AddChatLine(chat, nick + QStringLiteral(": "), ChatSettings::TextColor(), text, mention);
    if (mention)
        NotifyMention(chat, nick, text);
}

void TfrmChat::HandlePart(Irc::TMessage &m)
{
    if (m.Param1.isEmpty())
        m.Param1 = Irc::Trailing(m.Rest);
    Leave(m.Nick, m.Param1);
    AddChatLine(Misc(), QString(), Blue, m.Nick + QStringLiteral(" part channel ") + WithoutHash(m.Param1));
}

void TfrmChat::HandleQuit(Irc::TMessage &m)
{
    for (TChat *chat : Chats)
        chat->RemoveUser(m.Nick);
    AddChatLine(Misc(), QString(), Red, m.Nick + QStringLiteral(" quit"));
}

void TfrmChat::HandleMode(Irc::TMessage &m)
{
    TChat *chat = FindChat(m.Param1);
    if (!chat)
        return;
    QString letters = m.Param2;
    QString args = m.Rest;
    if (letters.isEmpty()) {
        letters = Irc::Trailing(m.Rest);
        args.clear();
    }
    for (const Irc::TOpChange &change : Irc::ParseOpChanges(letters, args)) {
        const TUser *user = FindUser(change.Nick);
        // A nick the client has never seen ends this line here.
        if (!user)
            return;
        if (change.Adding)
            chat->AddOp(user);
        else
            chat->RemoveOp(user);
    }
}

void TfrmChat::HandleKick(Irc::TMessage &m)
{
    if (m.Param1.isEmpty() || m.Param2.isEmpty())
        return;
    Leave(m.Param2, m.Param1);
    AddChatLine(Misc(), QString(), Blue,
                m.Param2 + QStringLiteral(" was kicked from channel ") + WithoutHash(m.Param1) +
                    QStringLiteral(" by ") + m.Nick + QLatin1Char(' ') + m.Rest);
}

void TfrmChat::HandleNick(Irc::TMessage &m)
{
    const QString oldNick = m.Nick;
    const QString newNick = Irc::StripAt(TrailingOr(m, m.Param1));
    if (oldNick.isEmpty() || newNick.isEmpty() || oldNick == newNick)
        return;
    if (oldNick == Nick) {
        Nick = newNick;
        OwnNickChanged();
    }
    TUser *user = FindUser(oldNick);
    TUser *other = FindUser(newNick);
    if (!user)
        return;
    QList<TChat *> present;
    for (TChat *chat : Chats) {
        if (chat->Users.contains(user))
            present << chat;
    }
    if (!other) {
        m_userIndex.remove(oldNick);
        user->SetNick(newNick);
        m_userIndex.insert(user->Nick, user);
    }
    for (TChat *chat : present) {
        if (other) {
            // The new nick is already known: that record takes the old one's place.
            const bool wasOp = chat->IsOp(oldNick);
            chat->RemoveUser(oldNick);
            chat->AddUser(other);
            if (wasOp)
                chat->AddOp(other);
        } else {
            chat->RenameUser(oldNick, newNick);
        }
    }
    if (TChat *conversation = FindChat(oldNick); conversation && !FindChat(newNick)) {
        conversation->Name = newNick;
        if (QTabWidget *tabs = conversation->PageControl()) {
            QString caption = conversation->Caption();
            tabs->setTabText(tabs->indexOf(conversation), caption.replace(QLatin1Char('&'), QLatin1String("&&")));
        }
    }
    AddChatLine(Misc(), QString(), Blue, oldNick + QStringLiteral(" is now known as ") + newNick);
}

void TfrmChat::Leave(const QString &nick, const QString &channel)
{
    TChat *chat = FindChat(channel);
    if (!chat)
        return;
    if (nick == Nick) {
        CloseChat(chat);
        edtChat->setFocus();
    } else {
        chat->RemoveUser(nick);
    }
}
