#include "pxo/UfrmPXO.h"

#include "base/Log.h"
#include "base/Tick.h"
#include "chat/UDPQueue.h"
#include "irc/User.h"
#include "net/HostResolver.h"
#include "pxo/LaunchCommand.h"
#include "pxo/TrackerPackets.h"
#include "pxo/UfrmLocateUsers.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "pxo/UfrmPXOServerInfo.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <exception>

using namespace TrackerPackets;

TfrmPXO::TfrmPXO(QWidget *parent, bool load) : TfrmChat(parent, false)
{
    setObjectName(QStringLiteral("frmPXO"));
    setWindowTitle(QStringLiteral("PXO"));
    connect(TimerLoginRetry, &QTimer::timeout, this, &TfrmPXO::LoginAttempt);
    // The player windows show this lobby's users and forget one before it goes.
    connect(this, &TfrmChat::UserRemoved, this, &TfrmPXOPlayerInfo::UserRemoved);
    CreateServerList();
    CreatePrivateChannelControls();
    CreateQuickFilter();
    if (load)
        Loaded();
}

TfrmPXO::~TfrmPXO()
{
    Closing = true;
    TimerLoginRetry->stop();
    try {
        // The chat form's own save runs after this part is gone and cannot see the list.
        LoadSaveWindowSettings(true);
    } catch (...) {
        // The window size is not worth a failure at close.
    }
    LeaveGameRunning();
    ClearServers();
}

void TfrmPXO::Loaded()
{
    SetPorts();
    TrackerId.clear();
    AutoJoinBusy = false;
    if (const TfrmConfig *config = frmConfig()) {
        ChatHost = config->edtPXOChatServer->text();
        UserTrackerHost = config->edtPXOUserServer->text();
        GameTrackerHost = config->edtPXOGameServer->text();
    }
    TfrmChat::Loaded();
    LoginTries = 0;
    LoginStarted = false;
    ListUpdating = false;
    FirstPingSeen = false;
}

void TfrmPXO::Login(const QString &loginName, const QString &password, const QString &alias)
{
    LoginName = loginName;
    Password = password;
    Alias = alias;
    Session()->SetNick(LaunchCommand::AliasToNick(alias));
    // Every login gets its full count of attempts, also the ones after a game.
    LoginTries = 0;
    LoginAttempt();
}

void TfrmPXO::LoginAttempt()
{
    if (Closing)
        return;
    TimerLoginRetry->start();
    ++LoginTries;
    setWindowTitle(QStringLiteral("Connecting... try: %1").arg(LoginTries));
    if (LoginTries >= MaxLoginTries) {
        TimerLoginRetry->stop();
        ShowLoginFailed();
        return;
    }
    if (TrackerId.isEmpty()) {
        SendToUserTracker(LoginRequest(LoginName.toUtf8(), Password.toUtf8()));
    } else {
        TimerLoginRetry->stop();
        if (ChatIdle())
            OpenConnection(ChatHost, ChatPort);
    }
    LoginStarted = true;
    RequestGameList();
}

void TfrmPXO::ShowLoginFailed()
{
    // Never a box inside a datagram or timer handler: it runs once the handler returned.
    QTimer::singleShot(0, this, [this] {
        if (Closing || Released())
            return;
        MessageBox::Error(this, QStringLiteral("Login failed!"));
        Release();
    });
}

void TfrmPXO::SendToUserTracker(const QByteArray &bytes)
{
    if (UDPQueue)
        UDPQueue->SendDatagram(UserTrackerHost, UserTrackerPort, bytes);
}

void TfrmPXO::RequestGameList()
{
    if (UDPQueue)
        UDPQueue->SendDatagram(GameTrackerHost, GameTrackerPort, GameListRequest());
}

void TfrmPXO::RequestStats(const QString &displayName, const QString &trackerId)
{
    SendToUserTracker(StatsRequest(displayName.toUtf8(), trackerId.toUtf8()));
}

bool TfrmPXO::FromTracker(const QString &trackerHost, quint16 trackerPort, const QString &ip, quint16 port) const
{
    // The tracker as its name resolved for our requests; nobody else may answer for it.
    const QHostAddress tracker = THostResolver::Shared().Known(trackerHost);
    return port == trackerPort && !tracker.isNull() &&
           QHostAddress(ip).isEqual(tracker, QHostAddress::TolerantConversion);
}

void TfrmPXO::RefuseReply(const QLoggingCategory &category, const QString &ip, quint16 port, const char *what)
{
    ++m_refusedReplies;
    Log::Dropped(category, ip + QLatin1Char(':') + QString::number(port), QLatin1String(what));
}

void TfrmPXO::UDPDataReceived(const QByteArray &received, const QString &ip, quint16 port)
{
    if (Closing)
        return;
    ReplyTick = TickCount();
    const QByteArrayView datagram = QByteArrayView(received).first(qMin(received.size(), qsizetype(MaxDatagram)));
    try {
        if (IsStatusReply(datagram)) {
            HandleServerReply(datagram, ip, port);
            return;
        }
        const quint16 key = DispatchKey(datagram);
        switch (key) {
        case GameInfoReply:
        case LevelAddressReply:
        case PlayerListReply:
            HandleServerReply(datagram, ip, port);
            break;
        case GameListReply:
            if (FromTracker(GameTrackerHost, GameTrackerPort, ip, port))
                HandleGameList(datagram);
            else
                RefuseReply(lcPxo(), ip, port, "game list not from the game tracker");
            break;
        case StatsReply:
        case LoginRetryReply:
        case LoginAcceptedReply:
            if (!FromTracker(UserTrackerHost, UserTrackerPort, ip, port))
                RefuseReply(lcPxo(), ip, port, "user tracker reply not from the user tracker");
            else if (key == StatsReply)
                HandleStatsReply(datagram);
            else if (key == LoginRetryReply)
                LoginAttempt();
            else
                HandleLoginAccepted(datagram);
            break;
        case UserReply:
            HandleUserReply(datagram);
            break;
        default:
            Log::Dropped(lcPxo(), ip + QLatin1Char(':') + QString::number(port),
                         QStringLiteral("unknown datagram %1").arg(key, 4, 16, QLatin1Char('0')));
            break;
        }
    } catch (const std::exception &e) {
        if (OnStatus)
            OnStatus(QString::fromLocal8Bit(e.what()));
    }
}

void TfrmPXO::HandleLoginAccepted(QByteArrayView datagram)
{
    const TLoginAccepted reply = DecodeLoginAccepted(datagram);
    SendToUserTracker(Acknowledgement(AckKind::Login, reply.ackValue));
    if (!ChatIdle())
        return;
    if (!reply.valid) {
        // The next attempt asks again.
        if (OnStatus)
            OnStatus(QStringLiteral("The user tracker sent an invalid login reply."));
        return;
    }
    TrackerId = QString::fromLatin1(reply.trackerId);
    TimerLoginRetry->stop();
    OpenConnection(ChatHost, ChatPort);
}

void TfrmPXO::HandleStatsReply(QByteArrayView datagram)
{
    const TStatsReply reply = DecodeStatsReply(datagram);
    if (TUser *user = FindUserByDisplayName(QString::fromUtf8(reply.displayName))) {
        user->Rating = reply.rating;
        user->Kills = reply.kills;
        user->Deaths = reply.deaths;
        user->Suicides = reply.suicides;
        user->MinutesInGame = reply.seconds / 60;
        MergeUser(*user);
        UserInfoChanged(user);
    }
    SendToUserTracker(Acknowledgement(AckKind::Stats, reply.ackValue));
}

void TfrmPXO::HandleGameList(QByteArrayView datagram)
{
    ListUpdating = true;
    try {
        const TGameListReply reply = DecodeGameListReply(datagram);
        for (const TGameListEntry &entry : reply.entries)
            AddServer(entry.ip, entry.port);
        // Port 3445 for both game variants, although Freespace asks its tracker on 3440.
        if (UDPQueue)
            UDPQueue->SendDatagram(GameTrackerHost, GameListAckPort, GameListAcknowledgement(reply.ackValue));
    } catch (...) {
        ListUpdating = false;
        RefreshServerList();
        throw;
    }
    ListUpdating = false;
    RefreshServerList();
}

TServer *TfrmPXO::FindServer(const QString &ip, quint16 port) const
{
    for (TServer *server : m_serversByIp.value(ip)) {
        if (port == 0 || server->Port == port)
            return server;
    }
    return nullptr;
}

bool TfrmPXO::AddServer(const QString &ip, quint16 port)
{
    if (ip == QLatin1String("0.0.0.0") || FindServer(ip, port))
        return false;
    if (Servers.size() >= MaxServers) {
        if (!m_capReported && OnStatus)
            OnStatus(QStringLiteral("The server list is full (%1 servers); further servers are not listed.")
                         .arg(MaxServers));
        m_capReported = true;
        return false;
    }
    auto *server = new TServer(this, port, ip, UDPQueue, this);
    Servers.append(server);
    m_serversByIp[ip].append(server);
    server->RequestPlayers();
    RefreshServerList();
    return true;
}

void TfrmPXO::RemoveServer(TServer *server)
{
    const qsizetype index = Servers.indexOf(server);
    if (index < 0)
        return;
    Servers.removeAt(index);
    if (m_rows.contains(server))
        KeepOffline(server);
    delete m_rows.take(server);
    auto it = m_serversByIp.find(server->IP);
    if (it != m_serversByIp.end()) {
        it->removeOne(server);
        if (it->isEmpty())
            m_serversByIp.erase(it);
    }
    // Windows that show the server forget it before it is freed.
    TfrmPXOServerInfo::ServerRemoved(server);
    TfrmLocateUsers::ServerRemoved(server);
    delete server;
    RefreshServerList();
}

void TfrmPXO::ClearServers()
{
    m_clearingServers = true;
    while (!Servers.isEmpty())
        RemoveServer(Servers.last());
    m_clearingServers = false;
}

QString TfrmPXO::ServersVersionText() const
{
    const TfrmConfig *config = frmConfig();
    return config ? config->cmbServersVersion->Text() : QString();
}

bool TfrmPXO::IsPreferedServer(const QString &name) const
{
    const TfrmConfig *config = frmConfig();
    return config && config->IsPreferedServer(name);
}

bool TfrmPXO::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lvwServers && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (text.size() == 1 && text.at(0).isPrint() && RunAccelerator(text.at(0)))
            return true;
    }
    return TfrmChat::eventFilter(watched, event);
}

void TfrmPXO::TCPConnect()
{
    SendLine(QStringLiteral("USER user user user :") + TrackerId + QLatin1Char(' ') + LoginName);
    SendLine(QStringLiteral("NICK ") + Session()->Nick());
    setWindowTitle(QStringLiteral("Chat (") + Session()->Nick() + QLatin1Char(')'));
}

void TfrmPXO::HandlePing(const QString &line)
{
    TfrmChat::HandlePing(line);
    if (FirstPingSeen)
        return;
    FirstPingSeen = true;
    SendLine(QStringLiteral("LIST"));
    const TfrmConfig *config = frmConfig();
    if (config && config->cbxPXOAutoJoin->isChecked())
        SendLine(QStringLiteral("JOIN #autoselect"));
}

void TfrmPXO::NickInUse()
{
    TfrmChat::NickInUse();
    QTimer::singleShot(0, this, [this] {
        if (Closing || Released())
            return;
        MessageBox::Error(this, QStringLiteral("Someone else is using your alias, you need to change it!"));
    });
}

TfrmDescent::TfrmDescent(QWidget *parent) : TfrmPXO(parent, false)
{
    setObjectName(QStringLiteral("frmDescent"));
    setWindowTitle(QStringLiteral("PXO (Descent)"));
    Loaded();
}

void TfrmDescent::SetPorts()
{
    ChatPort = 7170;
    UserTrackerPort = 2092;
    GameTrackerPort = 3445;
}

TfrmFreespace::TfrmFreespace(QWidget *parent) : TfrmPXO(parent, false)
{
    setObjectName(QStringLiteral("frmFreespace"));
    setWindowTitle(QStringLiteral("PXO (Freespace)"));
    Loaded();
}

void TfrmFreespace::SetPorts()
{
    ChatPort = 7000;
    UserTrackerPort = 3493;
    GameTrackerPort = 3440;
}
