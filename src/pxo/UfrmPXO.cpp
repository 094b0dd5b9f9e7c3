#include "pxo/UfrmPXO.h"

#include "base/Log.h"
#include "irc/User.h"
#include "pxo/LaunchCommand.h"
#include "pxo/PxoTrackerClient.h"
#include "pxo/UfrmDownloadLevel.h"
#include "pxo/UfrmLocateUsers.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "pxo/UfrmPXOServerInfo.h"
#include "servers/ServerList.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>

#include <exception>

TfrmPXO::TfrmPXO(QWidget *parent, bool load)
    : TfrmChat(parent, false), Tracker(new TPxoTrackerClient(UDPQueue(), this)),
      ServerList(new TServerList(UDPQueue(), this))
{
    setObjectName(QStringLiteral("frmPXO"));
    setWindowTitle(QStringLiteral("PXO"));
    // The player windows show this lobby's users and forget one before it goes.
    connect(this, &TfrmChat::UserRemoved, this, &TfrmPXOPlayerInfo::UserRemoved);
    CreateServerList();
    CreatePrivateChannelControls();
    CreateQuickFilter();
    WireEngines();
    if (load)
        Loaded();
}

TfrmPXO::~TfrmPXO()
{
    Closing = true;
    Tracker->Stop();
    try {
        // The chat form's own save runs after this part is gone and cannot see the list.
        LoadSaveWindowSettings(true);
    } catch (...) {
        // The window size is not worth a failure at close.
    }
    LeaveGameRunning();
    // Windows that show a server forget it while this window can still tell them.
    ServerList->ClearServers();
}

void TfrmPXO::WireEngines()
{
    connect(Tracker, &TPxoTrackerClient::LoginAttempted, this,
            [this](int attempt) { setWindowTitle(QStringLiteral("Connecting... try: %1").arg(attempt)); });
    connect(Tracker, &TPxoTrackerClient::LoginFailed, this, &TfrmPXO::ShowLoginFailed);
    connect(Tracker, &TPxoTrackerClient::LoggedIn, this, [this] {
        if (ChatIdle())
            OpenConnection(ChatHost, ChatPort);
    });
    connect(Tracker, &TPxoTrackerClient::InvalidLoginReply, this, [this] {
        if (OnStatus)
            OnStatus(QStringLiteral("The user tracker sent an invalid login reply."));
    });
    connect(Tracker, &TPxoTrackerClient::StatsReceived, this, &TfrmPXO::ApplyStats);
    connect(Tracker, &TPxoTrackerClient::GameListReceived, this,
            [this](const QList<TrackerPackets::TGameListEntry> &entries) {
                for (const TrackerPackets::TGameListEntry &entry : entries)
                    ServerList->AddServer(entry.ip, entry.port);
                RefreshServerList();
            });

    ServerList->VersionText = [] {
        const TfrmConfig *config = frmConfig();
        return config ? config->cmbServersVersion->Text() : QString();
    };
    connect(ServerList, &TServerList::ServerChanged, this, [this](TServer *server) {
        CheckLevel(server);
        RefreshServer(server);
    });
    connect(ServerList, &TServerList::InfoChanged, this, &TfrmPXOServerInfo::UpdateServerInfo);
    connect(ServerList, &TServerList::ServerRemoved, this, &TfrmPXO::ServerGoes);
    connect(ServerList, &TServerList::LevelAddressReceived, this, [this](TServer *server, const QString &address) {
        TfrmDownloadLevel::OpenFor(server->Name, address, this, [this](const QString &) { LevelArrived(); });
    });
    connect(ServerList, &TServerList::ListFull, this, [this](int maxServers) {
        if (OnStatus)
            OnStatus(QStringLiteral("The server list is full (%1 servers); further servers are not listed.")
                         .arg(maxServers));
    });
}

void TfrmPXO::Loaded()
{
    SetPorts();
    Tracker->SetTrackerId({});
    AutoJoinBusy = false;
    if (const TfrmConfig *config = frmConfig()) {
        ChatHost = config->edtPXOChatServer->text();
        Tracker->UserTrackerHost = config->edtPXOUserServer->text();
        Tracker->GameTrackerHost = config->edtPXOGameServer->text();
    }
    TfrmChat::Loaded();
    ServerList->InfoPort = 0;
    FirstPingSeen = false;
}

void TfrmPXO::Login(const QString &loginName, const QString &password, const QString &alias)
{
    LoginName = loginName;
    Password = password;
    Alias = alias;
    Session()->SetNick(LaunchCommand::AliasToNick(alias));
    if (!Closing)
        Tracker->Start(loginName, password);
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

void TfrmPXO::RequestStats(const QString &displayName, const QString &trackerId)
{
    Tracker->RequestStats(displayName, trackerId);
}

const QList<TServer *> &TfrmPXO::Servers() const
{
    return ServerList->Servers();
}

quint32 TfrmPXO::RefusedReplies() const
{
    return Tracker->RefusedReplies() + ServerList->RefusedReplies();
}

void TfrmPXO::UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port)
{
    if (Closing)
        return;
    try {
        if (!ServerList->Feed(datagram, ip, port, ReplyTick()) && !Tracker->Feed(datagram, ip, port))
            Log::Dropped(lcPxo(), ip + QLatin1Char(':') + QString::number(port),
                         QStringLiteral("unknown datagram %1")
                             .arg(TrackerPackets::DispatchKey(datagram), 4, 16, QLatin1Char('0')));
    } catch (const std::exception &e) {
        if (OnStatus)
            OnStatus(QString::fromLocal8Bit(e.what()));
    }
}

void TfrmPXO::ApplyStats(const TrackerPackets::TStatsReply &stats)
{
    TUser *user = FindUserByDisplayName(QString::fromUtf8(stats.displayName));
    if (!user)
        return;
    user->Rating = stats.rating;
    user->Kills = stats.kills;
    user->Deaths = stats.deaths;
    user->Suicides = stats.suicides;
    user->MinutesInGame = stats.seconds / 60;
    MergeUser(*user);
    UserInfoChanged(user);
}

void TfrmPXO::ServerGoes(TServer *server)
{
    if (QTreeWidgetItem *row = m_rows.take(server)) {
        KeepOffline(server);
        delete row;
        lvwServers->headerItem()->setText(0, QStringLiteral("Name (%1)").arg(m_rows.size()));
    }
    TfrmPXOServerInfo::ServerRemoved(server);
    TfrmLocateUsers::ServerRemoved(server);
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
    SendLine(QStringLiteral("USER user user user :") + Tracker->TrackerId() + QLatin1Char(' ') + LoginName);
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
    Tracker->UserTrackerPort = 2092;
    Tracker->GameTrackerPort = 3445;
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
    Tracker->UserTrackerPort = 3493;
    Tracker->GameTrackerPort = 3440;
}
