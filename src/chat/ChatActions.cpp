// What the user does in a chat form: typed text and the client's own commands, the user
// menu, the tabs and the channel list, and the form's timers.
#include "chat/ChannelList.h"
#include "chat/ChatFindBar.h"
#include "chat/UfrmChat.h"
#include "chat/UfrmChatWindow.h"
#include "irc/Channel.h"
#include "irc/ChatCommands.h"
#include "irc/User.h"
#include "ui/ChildWindow.h"

#include <QLineEdit>
#include <QTimer>

namespace {
const QColor Gray(128, 128, 128), Green(0, 128, 0), Red(255, 0, 0);
} // namespace

void TfrmChat::SubmitInput(const QString &text, TChat *target)
{
    m_inputChat = target;
    m_echoChat = nullptr;
    if (TChat *chat = ActiveChat())
        chat->History.Add(text);
    const QString sent = SendLine(ProcessInput(text));
    // Only what went out is shown as sent, and exactly as it went.
    if (m_echoChat && !sent.isEmpty() && sent.startsWith(m_echoPrefix))
        AddChatLine(m_echoChat, QString(), ChatSettings::OwnColor(), sent.mid(m_echoPrefix.size()));
    m_echoChat = m_inputChat = nullptr;
}

QString TfrmChat::ProcessInput(const QString &text)
{
    if (text.isEmpty())
        return {};
    TChat *chat = ActiveChat();
    const auto refuseInMisc = [&] {
        if (chat && !chat->IsMisc())
            return false;
        AddChatLine(chat ? chat : Misc(), QString(), Gray, QStringLiteral("Unable to send to Misc: ") + text);
        return true;
    };
    if (!text.startsWith(QLatin1Char('/'))) {
        if (refuseInMisc())
            return {};
        m_echoChat = chat;
        m_echoPrefix = QStringLiteral("PRIVMSG ") + chat->Name + QStringLiteral(" :");
        return m_echoPrefix + text;
    }
    const QString command = ChatCommands::ExpandAlias(text.mid(1), ChatSettings::Aliases());
    const ChatCommands::TCommand parsed = ChatCommands::Parse(command);
    switch (parsed.Kind) {
    case ChatCommands::TKind::Msg:
        if (const qsizetype blank = parsed.Argument.indexOf(QLatin1Char(' ')); blank > 0)
            SendPrivate(parsed.Argument.left(blank), parsed.Argument.mid(blank + 1));
        return {};
    case ChatCommands::TKind::Me:
        if (!refuseInMisc())
            SendAction(parsed.Argument);
        return {};
    case ChatCommands::TKind::Ignore:
        ToggleIgnore(parsed.Argument);
        return {};
    case ChatCommands::TKind::Away:
        ChatSettings::SetAway(parsed.Argument.isEmpty() ? !ChatSettings::Away() : true, parsed.Argument);
        ApplyInputColor();
        return {};
    case ChatCommands::TKind::Back:
        ChatSettings::SetAway(false);
        ApplyInputColor();
        return {};
    case ChatCommands::TKind::Raw:
        break;
    }
    // A command the client does not know goes to a plain IRC server as typed, nowhere else.
    return RawCommands ? command : QString();
}

void TfrmChat::SendPrivate(const QString &nick, const QString &text)
{
    if (const QString sent = m_session->SendPrivate(nick, text); !sent.isEmpty())
        AddChatLine(ActiveChat(), QString(), Green, QStringLiteral("Msg to ") + nick + QStringLiteral(": ") + sent);
}

void TfrmChat::SendAction(const QString &text)
{
    TChat *chat = ActiveChat();
    if (const QString sent = chat ? m_session->SendAction(chat->Name, text) : QString(); !sent.isEmpty())
        AddChatLine(chat, QString(), Red, m_session->Nick() + QLatin1Char(' ') + sent);
}

void TfrmChat::ToggleIgnore(const QString &nick)
{
    const TUser *user = FindUser(nick);
    if (!user)
        return;
    TUser temporary(nullptr, user->Nick);
    temporary.IgnoreState = user->IgnoreState != 1 ? 1 : -1;
    MergeUser(temporary);
}

void TfrmChat::mnuMessageClick()
{
    if (TUser *user = PopupUser())
        CreatePrivateChat(user, true);
}

void TfrmChat::mnuWhoIsClick()
{
    if (!WhoisAllowed) {
        if (!TimerWhoisDelay->isActive())
            TimerWhoisDelay->start();
        return;
    }
    if (TUser *user = PopupUser()) {
        user->RequestInfo(true);
        PingUser(user);
        SendLine(QStringLiteral("WHOIS ") + user->Nick);
    }
    WhoisAllowed = false;
    TimerWhoisDelay->start();
}

void TfrmChat::mnuIgnoreClick()
{
    if (const TUser *user = PopupUser())
        ToggleIgnore(user->Nick);
}

void TfrmChat::ToggleFriendClick()
{
    if (const TUser *user = PopupUser()) {
        ChatSettings::ToggleFriend(user->Nick);
        RefreshActiveUserList();
    }
}

void TfrmChat::mnuUserTalkClick()
{
    if (const TUser *user = PopupUser())
        emit TalkWanted(user->Host, ChatSettings::TalkAlias(m_session->Nick()));
}

void TfrmChat::PageControlChange()
{
    TChat *chat = PageControl->CurrentChat();
    if (pnlFind->isVisible() && chat)
        pnlFind->SetView(chat->TextView);
    PlaceCloseButton();
}

void TfrmChat::Window1Click()
{
    TChat *chat = PageControl->CurrentChat();
    if (!chat || TfrmChatWindow::Of(chat))
        return;
    ChildWindow::Show(new TfrmChatWindow(this, chat));
    PageControlChange();
}

void TfrmChat::LeaveOrClose(TChat *chat)
{
    if (!chat)
        return;
    if (chat->IsChannel()) {
        SendLine(QStringLiteral("PART ") + chat->Name);
        return;
    }
    CloseChat(chat);
    edtChat->setFocus();
}

void TfrmChat::sgrChannelsDblClick()
{
    const TChannel *channel = pnlChannels->Selected();
    if (!channel)
        return;
    if (TChat *chat = FindChat(channel->Name))
        ActivateChat(chat);
    else
        SendLine(QStringLiteral("JOIN ") + channel->Name);
}

void TfrmChat::mnuRefreshChannelsClick()
{
    ClearChannels();
    m_session->RequestList();
}

void TfrmChat::TimerChannelsTimer()
{
    if (!m_session->ListPending())
        m_session->RequestList();
}

void TfrmChat::TimerConfigTimer()
{
    const int interval = ChatSettings::ChannelListInterval();
    if (TimersEnabled) {
        const bool on = ChatSettings::ChannelListRefresh();
        if (on && !TimerChannels->isActive())
            TimerChannels->start(interval);
        else if (!on && TimerChannels->isActive())
            TimerChannels->stop();
    }
    if (TimerChannels->interval() != interval)
        TimerChannels->setInterval(interval);
    ApplyInputColor();
    ApplyOptions();
    for (TChat *chat : std::as_const(Chats))
        chat->ApplyLinesKept();
}

void TfrmChat::TimerWhoisDelayTimer()
{
    WhoisAllowed = true;
    TimerWhoisDelay->stop();
}

void TfrmChat::SetTimersEnabled(bool enabled)
{
    TimersEnabled = enabled;
    if (enabled) {
        TimerConfig->start();
        TimerConfigTimer();
    } else {
        TimerConfig->stop();
        TimerChannels->stop();
    }
}
