// The input line: messages, the client's own commands, away, ignore, friends, who-is.
#include "base/Text.h"
#include "base/Tick.h"
#include "irc/ChatCommands.h"
#include "chat/ChatSettings.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "chat/UfrmChat.h"
#include "settings/UfrmConfig.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>

namespace {
const QColor Gray(128, 128, 128);
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);
constexpr char DefaultAwayText[] = "I'm away...";

QString PrivmsgPrefix(const QString &target)
{
    return QStringLiteral("PRIVMSG ") + target + QStringLiteral(" :");
}
} // namespace

void TfrmChat::edtChatKeyPress()
{
    const QString text = edtChat->text();
    edtChat->clear();
    // A block pasted through the menu arrives here whole: its lines go one by one.
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
        SubmitLines(lines);
        return;
    }
    SubmitInput(text);
}

void TfrmChat::SubmitInput(const QString &text, TChat *target)
{
    m_inputChat = target;
    m_echo = {};
    if (TChat *chat = ActiveChat())
        chat->History.Add(text);
    const QString line = ProcessInput(text);
    const QString sent = SendLine(line);
    // Only what went out is shown as sent, and exactly as it went.
    if (m_echo.Chat && !sent.isEmpty() && sent.startsWith(m_echo.Prefix))
        AddChatLine(m_echo.Chat, QString(), ChatSettings::OwnColor(), sent.mid(m_echo.Prefix.size()));
    m_echo = {};
    m_inputChat = nullptr;
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
        m_echo = {chat, PrivmsgPrefix(chat->Name)};
        return m_echo.Prefix + text;
    }
    const QString command = ChatCommands::ExpandAlias(text.mid(1), ChatSettings::Aliases());
    const ChatCommands::TCommand parsed = ChatCommands::Parse(command);
    QString serverLine;
    switch (parsed.Kind) {
    case ChatCommands::TKind::Msg: {
        const qsizetype blank = parsed.Argument.indexOf(QLatin1Char(' '));
        if (blank > 0)
            SendPrivate(parsed.Argument.left(blank), parsed.Argument.mid(blank + 1));
        break;
    }
    case ChatCommands::TKind::Me:
        if (!refuseInMisc())
            SendAction(parsed.Argument);
        break;
    case ChatCommands::TKind::Ignore:
        ToggleIgnore(parsed.Argument);
        break;
    case ChatCommands::TKind::Away:
        AwayCommand(parsed.Argument);
        break;
    case ChatCommands::TKind::Back:
        SetAwayFlag(false);
        ApplyInputColor();
        break;
    case ChatCommands::TKind::Raw:
        serverLine = command;
        break;
    }
    return RawCommands ? serverLine : QString();
}

void TfrmChat::SendPrivate(const QString &nick, const QString &text)
{
    const QString prefix = PrivmsgPrefix(nick);
    const QString sent = SendLine(prefix + text);
    if (sent.size() > prefix.size())
        AddChatLine(ActiveChat(), QString(), Green,
                    QStringLiteral("Msg to ") + nick + QStringLiteral(": ") + sent.mid(prefix.size()));
}

void TfrmChat::SendAction(const QString &text)
{
    TChat *chat = ActiveChat();
    if (!chat)
        return;
    const QString prefix = PrivmsgPrefix(chat->Name) + QStringLiteral("\x01"
                                                                      "ACTION ");
    // The closing byte 1 must fit in the line, so the text is cut one byte earlier.
    const QString line = Text::CutToBytes(prefix + text, Irc::MaxSendText - 1) + QChar(1);
    const QString sent = SendLine(line);
    if (sent.size() <= prefix.size())
        return;
    QString action = sent.mid(prefix.size());
    action.remove(QChar(1));
    AddChatLine(chat, QString(), Red, Nick + QLatin1Char(' ') + action);
}

void TfrmChat::SetAwayFlag(bool away)
{
    TfrmConfig *config = frmConfig();
    if (!config || config->cbxChatAway->isChecked() == away)
        return;
    config->cbxChatAway->setChecked(away);
    config->AwaySince = TickCount();
}

void TfrmChat::AwayCommand(const QString &text)
{
    TfrmConfig *config = frmConfig();
    if (!config)
        return;
    SetAwayFlag(text.isEmpty() ? !config->cbxChatAway->isChecked() : true);
    bool number = false;
    const uint selected = text.toUInt(&number, 10);
    if (text == QLatin1String("0") || (number && selected != 0)) {
        config->speChatAway->SetValue(selected);
        const QStringList lines = MemoLines(config->memChatAway);
        const qint64 index = config->speChatAway->Value();
        config->lblChatAway->setText(index >= 0 && index < lines.size() ? lines.at(index)
                                                                        : QLatin1String(DefaultAwayText));
    } else if (!text.isEmpty()) {
        config->lblChatAway->setText(text);
    }
    if (config->lblChatAway->text().isEmpty())
        config->speChatAway->SetValue(0);
    ApplyInputColor();
}

void TfrmChat::SendAwayReply(const QString &nick)
{
    const TfrmConfig *config = frmConfig();
    const quint32 since = config ? config->AwaySince : 0;
    const quint32 elapsed = (TickCount() - since) / 1000;
    SendLine(PrivmsgPrefix(nick) + QLatin1String(ChatCommands::AwayReplyStart) + ChatCommands::AwayTimeText(elapsed) +
             QStringLiteral(") ") + ChatSettings::AwayText());
}

void TfrmChat::ToggleIgnore(const QString &nick)
{
    const TUser *user = FindUser(nick);
    if (!user)
        return;
    TUser temporary(nullptr, user->Nick);
    temporary.IgnoreState = user->IgnoreState != 1 ? 1 : -1;
    MergeUser(temporary);
    RefreshActiveUserList();
}

void TfrmChat::SetPopupChat(TChat *chat)
{
    m_popupUserChat = chat;
}

TChat *TfrmChat::PopupChat() const
{
    return m_popupUserChat ? m_popupUserChat.data() : ActiveChat();
}

TUser *TfrmChat::PopupUser() const
{
    TChat *chat = PopupChat();
    return chat ? chat->SelectedUser() : nullptr;
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
    TfrmConfig *config = frmConfig();
    const TUser *user = PopupUser();
    if (!config || !user)
        return;
    QStringList lines = MemoLines(config->memChatFriends);
    if (user->IsFriend()) {
        const QString wanted = user->Nick.trimmed();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).trimmed().compare(wanted, Qt::CaseInsensitive) == 0) {
                lines.removeAt(i);
                break;
            }
        }
    } else {
        lines.append(user->Nick);
    }
    SetMemoLines(config->memChatFriends, lines);
    config->ApplyFriendsList();
    RefreshActiveUserList();
}

void TfrmChat::mnuUserTalkClick()
{
    const TUser *user = PopupUser();
    const TfrmConfig *config = frmConfig();
    if (!user || !config)
        return;
    // The window and the invitation carry the talk alias when so configured, else the nick.
    const QString alias = config->cbxTalkAlias->isChecked() ? config->edtTalkAlias->text() : Nick;
    emit TalkWanted(user->Host, alias);
}

void TfrmChat::CreateUserMenu()
{
    const auto item = [this](const char *caption, const char *name) {
        QAction *action = pumUser->addAction(QLatin1String(caption));
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuMessage = item("&Message...", "mnuMessage");
    mnuWhoIs = item("&Who is?", "mnuWhoIs");
    mnuIgnore = item("&Ignore", "mnuIgnore");
    mnuIgnore->setCheckable(true);
    mnuUserTalk = item("&Talk", "mnuUserTalk");
    AddtoFriendslist1 = item("Toggle &Friend", "AddtoFriendslist1");
    connect(mnuMessage, &QAction::triggered, this, &TfrmChat::mnuMessageClick);
    connect(mnuWhoIs, &QAction::triggered, this, &TfrmChat::mnuWhoIsClick);
    connect(mnuIgnore, &QAction::triggered, this, &TfrmChat::mnuIgnoreClick);
    connect(AddtoFriendslist1, &QAction::triggered, this, &TfrmChat::ToggleFriendClick);
    connect(mnuUserTalk, &QAction::triggered, this, &TfrmChat::mnuUserTalkClick);
    connect(pumUser, &QMenu::aboutToShow, this, [this] {
        const TUser *user = PopupUser();
        mnuIgnore->setChecked(user && user->Ignored());
    });
}
