#include "chat/UfrmIRC.h"

#include "chat/Chat.h"
#include "chat/ChatSettings.h"
#include "chat/UserMenu.h"
#include "irc/User.h"

#include <QHostInfo>
#include <QMenu>

namespace {
const QColor Red(255, 0, 0);
const QColor Gray(128, 128, 128);
} // namespace

void SplitServerAddress(const QString &text, quint16 fallback, QString &host, quint16 &port)
{
    host = text.trimmed();
    port = fallback;
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    // One colon only: an IPv6 address has several and no port here.
    if (colon <= 0 || host.indexOf(QLatin1Char(':')) != colon)
        return;
    bool ok = false;
    const uint value = host.mid(colon + 1).toUInt(&ok, 10);
    if (!ok || value == 0 || value > 65535)
        return;
    port = quint16(value);
    host.truncate(colon);
}

TfrmIRC::TfrmIRC(QWidget *parent) : TfrmChat(parent, false)
{
    setObjectName(QStringLiteral("frmIRC"));
    setWindowTitle(QStringLiteral("IRC"));
    pumUser->addSeparator();
    const auto item = [this](const char *caption, const char *name) {
        QAction *action = pumUser->addAction(QLatin1String(caption));
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuOp = item("Toggle &Op", "mnuOp");
    mnuBan = item("&Ban", "mnuBan");
    mnuKick = item("&Kick", "mnuKick");
    mnuKickBan = item("Kick &x Ban", "mnuKickBan");
    connect(mnuOp, &QAction::triggered, this, &TfrmIRC::mnuOpClick);
    connect(mnuBan, &QAction::triggered, this, &TfrmIRC::mnuBanClick);
    connect(mnuKick, &QAction::triggered, this, &TfrmIRC::mnuKickClick);
    connect(mnuKickBan, &QAction::triggered, this, &TfrmIRC::mnuKickBanClick);
    Loaded();
}

void TfrmIRC::Loaded()
{
    TfrmChat::Loaded();
    RawCommands = true;
}

void TfrmIRC::Connect(const QString &nick)
{
    QString host;
    quint16 port = DefaultPort;
    SplitServerAddress(ChatSettings::IrcServer(), DefaultPort, host, port);
    ConnectTo(host, port, nick);
}

void TfrmIRC::ConnectTo(const QString &host, quint16 port, const QString &nick)
{
    Session()->SetNick(nick.trimmed());
    m_server = host;
    if (host.isEmpty()) {
        AddChatLine(Misc(), QString(), Red, QStringLiteral("No IRC server is configured (File, Configure..., Irc)."));
        return;
    }
    if (Session()->Nick().isEmpty()) {
        AddChatLine(Misc(), QString(), Red, QStringLiteral("No IRC nick is configured (File, Configure..., Irc)."));
        return;
    }
    AddChatLine(Misc(), QString(), Gray, QStringLiteral("Connecting to %1:%2 ...").arg(host).arg(port));
    OpenConnection(host, port);
}

void TfrmIRC::TCPConnect()
{
    const QString &nick = Session()->Nick();
    const QString fullName = ChatSettings::IrcFullName().trimmed();
    // A server refuses USER without a user name or real name: the nick stands in.
    QString user = fullName.section(QLatin1Char(' '), 0, 0);
    if (user.isEmpty())
        user = nick;
    const QString realName = fullName.isEmpty() ? nick : fullName;
    QString localHost = QHostInfo::localHostName();
    if (localHost.isEmpty())
        localHost = QStringLiteral("localhost");
    SendLine(QStringLiteral("USER ") + user + QLatin1Char(' ') + localHost + QLatin1Char(' ') + m_server +
             QStringLiteral(" :") + realName);
    SendLine(QStringLiteral("NICK ") + nick);
    OwnNickChanged();
}

void TfrmIRC::OwnNickChanged()
{
    setWindowTitle(QStringLiteral("Chat (") + Session()->Nick() + QLatin1Char(')'));
}

void TfrmIRC::NickInUse()
{
    TfrmChat::NickInUse();
    AddChatLine(Misc(), QString(), Red,
                QStringLiteral("The nick ") + Session()->Nick() +
                    QStringLiteral(" is in use: choose another one in the configuration and connect again."));
}

void TfrmIRC::sgrUsersDblClick(TChat *chat)
{
    TfrmChat::sgrUsersDblClick(chat);
    if (chat)
        CreatePrivateChat(chat->SelectedUser(), true);
}

bool TfrmIRC::OperatorTarget(TChat *&chat, TUser *&user) const
{
    chat = PopupChat();
    user = chat ? chat->SelectedUser() : nullptr;
    return chat && user;
}

void TfrmIRC::mnuOpClick()
{
    TChat *chat = nullptr;
    TUser *user = nullptr;
    if (!OperatorTarget(chat, user))
        return;
    const QLatin1String sign(chat->IsOp(user->Nick) ? "-" : "+");
    SendLine(QStringLiteral("MODE ") + chat->Name + QLatin1Char(' ') + sign + QStringLiteral("o ") + user->Nick);
}

void TfrmIRC::mnuKickClick()
{
    TChat *chat = nullptr;
    TUser *user = nullptr;
    if (OperatorTarget(chat, user))
        SendLine(QStringLiteral("KICK ") + chat->Name + QLatin1Char(' ') + user->Nick);
}

void TfrmIRC::mnuBanClick()
{
    TChat *chat = nullptr;
    TUser *user = nullptr;
    if (!OperatorTarget(chat, user))
        return;
    // Without a known host "*!*@" would be widened by some servers to everyone: ban the nick.
    const QString mask =
        user->Host.isEmpty() ? user->Nick + QStringLiteral("!*@*") : QStringLiteral("*!*@") + user->Host;
    SendLine(QStringLiteral("MODE ") + chat->Name + QStringLiteral(" +b ") + mask);
}

void TfrmIRC::mnuKickBanClick()
{
    mnuKickClick();
    mnuBanClick();
}
