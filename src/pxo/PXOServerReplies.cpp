// Replies of game servers and the windows they feed: server and player information, the
// level download, and the lobby's ways into them.
#include "base/Log.h"
#include "chat/Chat.h"
#include "chat/GameQueries.h"
#include "irc/User.h"
#include "pxo/ServerReplies.h"
#include "pxo/TrackerPackets.h"
#include "pxo/UfrmDownloadLevel.h"
#include "pxo/UfrmJoinPrivateChannel.h"
#include "pxo/UfrmPXO.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "pxo/UfrmPXOServerInfo.h"
#include "settings/UfrmConfig.h"

#include <QAction>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

using namespace TrackerPackets;

void TfrmPXO::HandleServerReply(QByteArrayView datagram, const QString &ip, quint16 port)
{
    if (IsStatusReply(datagram)) {
        // From the query port: matched by the server whose information was asked for.
        TServer *server = port == GameQueries::StatusPort && InfoPort != 0 ? FindServer(ip, InfoPort) : nullptr;
        if (!server)
            return RefuseReply(lcServers(), ip, port, "status reply not from a listed server's status port");
        server->ApplyStatusReply(ServerReplies::DecodeStatus(datagram));
        UpdateServerInfo(server);
        return;
    }
    // Every game-server reply comes from the address and port of a listed server.
    TServer *server = port != 0 ? FindServer(ip, port) : nullptr;
    if (!server)
        return RefuseReply(lcServers(), ip, port, "game-server reply not from a listed server");
    switch (DispatchKey(datagram)) {
    case GameInfoReply: {
        const ServerReplies::TGameInfo info = ServerReplies::DecodeGameInfo(datagram);
        server->Mode = info.Mode;
        server->Dedicated = info.Dedicated;
        server->Difficulty = info.Difficulty;
        server->ApplyGameInfo(info.Sequence, ReplyTick, info.Name, info.Level, info.Description, info.GameType,
                              info.LevelNumber, info.Players, info.MaxPlayers);
        ContinueSerialPing(server);
        CheckLevel(server);
        RefreshServer(server);
        break;
    }
    case PlayerListReply: {
        server->StatusQueries = 0;
        for (TServerUser *player : std::as_const(server->PlayerList))
            player->Stale = true;
        const QStringList names = ServerReplies::DecodePlayerList(datagram);
        for (const QString &raw : names) {
            const QString name = raw.trimmed();
            if (name.isEmpty())
                continue;
            auto it = std::find_if(server->PlayerList.begin(), server->PlayerList.end(),
                                   [&name](const TServerUser *p) { return p->Name == name; });
            if (it != server->PlayerList.end()) {
                (*it)->Stale = false;
            } else {
                auto *player = new TServerUser;
                player->Name = name;
                server->PlayerList.append(player);
            }
        }
        server->PurgePlayers();
        server->Players = quint16(qMin<qsizetype>(server->PlayerList.size(), 0xFFFF));
        UpdateServerInfo(server);
        break;
    }
    case LevelAddressReply:
        // Only an answer to the user's own request opens a download, and only one.
        if (!server->LevelRequested)
            break;
        server->LevelRequested = false;
        TfrmDownloadLevel::OpenFor(server->Name, ServerReplies::DecodeLevelAddress(datagram), this,
                                   [this](const QString &) { LevelArrived(); });
        break;
    default:
        break;
    }
}

void TfrmPXO::CheckLevel(TServer *server)
{
    const TfrmConfig *config = frmConfig();
    if (!server || !config)
        return;
    // The level must be a file inside the missions folder, never a path of its own.
    const QString level = server->Level;
    if (level.isEmpty() || level.contains(QLatin1Char('/')) || level.contains(QLatin1Char('\\')) ||
        level == QLatin1String("..")) {
        server->LevelPresent = false;
        return;
    }
    QString folder = config->edtDescentPath->text();
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    server->LevelPresent = QFileInfo::exists(folder + QStringLiteral("/missions/") + level);
}

void TfrmPXO::UpdateServerInfo(TServer *server)
{
    TfrmPXOServerInfo::UpdateServerInfo(server);
}

void TfrmPXO::UserInfoChanged(TUser *user)
{
    TfrmPXOPlayerInfo::UpdatePlayerInfo(user, true);
}

void TfrmPXO::sgrUsersDblClick(TChat *chat)
{
    TfrmChat::sgrUsersDblClick(chat);
    if (!chat || !chat->SelectedUser())
        return;
    // "Who is?" on the double-clicked user: the player window opens, the stats follow.
    SetPopupChat(chat);
    mnuWhoIsClick();
}

void TfrmPXO::DownloadLevelClick()
{
    TServer *server = SelectedServer();
    if (!server)
        return;
    server->LevelRequested = true;
    server->RequestLevelInfo();
}

void TfrmPXO::LevelArrived()
{
    if (Closing)
        return;
    for (TServer *server : std::as_const(Servers))
        CheckLevel(server);
    RefreshServerList();
}

void TfrmPXO::CreatePrivateChannelControls()
{
    btnJoinPrivateChannel = new QPushButton(QStringLiteral("Join &Private channel"));
    btnJoinPrivateChannel->setObjectName(QStringLiteral("btnJoinPrivateChannel"));
    if (QLayout *panel = pnlChannels->layout())
        panel->addWidget(btnJoinPrivateChannel);
    JoinPrivatechannel1 = pumChannels->addAction(QStringLiteral("Join &Private channel"));
    JoinPrivatechannel1->setObjectName(QStringLiteral("JoinPrivatechannel1"));
    // Queued: the dialog never runs inside the click or the menu's own handling.
    connect(btnJoinPrivateChannel, &QPushButton::clicked, this, &TfrmPXO::JoinPrivateChannel, Qt::QueuedConnection);
    connect(JoinPrivatechannel1, &QAction::triggered, this, &TfrmPXO::JoinPrivateChannel, Qt::QueuedConnection);
}

void TfrmPXO::JoinPrivateChannel()
{
    if (Closing || InGame)
        return;
    QPointer<TfrmJoinPrivateChannel> dialog = new TfrmJoinPrivateChannel(this);
    const int result = dialog->exec();
    const QString name = dialog ? dialog->Channel() : QString();
    delete dialog.data();
    if (result != QDialog::Accepted || name.isEmpty() || Closing)
        return;
    JoinPrivateChannelNamed(name);
}

void TfrmPXO::JoinPrivateChannelNamed(const QString &channel)
{
    if (TChat *chat = FindChat(channel))
        ActivateChat(chat);
    else
        SendLine(QStringLiteral("JOIN ") + channel);
}
