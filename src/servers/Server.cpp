#include "servers/Server.h"

#include "base/Tick.h"
#include "servers/GameQueries.h"
#include "servers/ServerList.h"
#include "servers/StatusReply.h"
#include "servers/UDPQueue.h"

#include <algorithm>

namespace {
TUDPQueue *QueueOf(const TServerList *list)
{
    return list ? list->Queue() : nullptr;
}
} // namespace

TServer::TServer(const QString &ip, quint16 port, TServerList *list) : List(list), IP(ip), Port(port)
{
    if (QueueOf(list))
        RequestGameInfo();
}

TServer::~TServer()
{
    // A request still waiting (a level request, a second game-info request) must not
    // name a freed server when it leaves the queue.
    if (TUDPQueue *queue = QueueOf(List))
        queue->Forget(this);
    qDeleteAll(PlayerList);
}

void TServer::RequestGameInfo()
{
    if (FilteredOut)
        return;
    AwaitingReply = false;
    ++RequestSeq;
    if (TUDPQueue *queue = QueueOf(List))
        queue->Enqueue(TUDPQueue::KindDatagram, this, GameQueries::GameInfoRequest(RequestSeq, List->VersionCode()),
                       Port, IP, true);
    SentTick = TickCount();
}

void TServer::RequestPlayers()
{
    ++StatusQueries;
    if (TUDPQueue *queue = QueueOf(List))
        queue->Enqueue(TUDPQueue::KindDatagram, nullptr, GameQueries::PlayerListRequest(), Port, IP);
}

void TServer::RequestStatus()
{
    ++StatusQueries;
    if (TUDPQueue *queue = QueueOf(List))
        queue->Enqueue(TUDPQueue::KindDatagram, nullptr, GameQueries::StatusRequest(), GameQueries::StatusPort, IP,
                       true);
}

void TServer::RequestLevelInfo()
{
    if (TUDPQueue *queue = QueueOf(List))
        queue->Enqueue(TUDPQueue::KindDatagram, this, GameQueries::LevelInfoRequest(), Port, IP);
}

void TServer::ApplyGameInfo(const ServerReplies::TGameInfo &info, quint32 replyTick)
{
    Mode = info.Mode;
    Dedicated = info.Dedicated;
    Difficulty = info.Difficulty;
    if (info.Sequence != RequestSeq)
        return; // a late answer: Ping must belong to the latest request
    AnsweredSeq = info.Sequence;
    Ping = replyTick - SentTick;
    Name = info.Name;
    Level = info.Level;
    Description = info.Description;
    GameType = info.GameType;
    LevelNumber = info.LevelNumber;
    Players = info.Players;
    MaxPlayers = info.MaxPlayers;
}

void TServer::ApplyPlayerList(const QStringList &names)
{
    StatusQueries = 0;
    for (TServerUser *player : std::as_const(PlayerList))
        player->Stale = true;
    for (const QString &raw : names) {
        const QString name = raw.trimmed();
        if (name.isEmpty())
            continue;
        const auto it = std::find_if(PlayerList.cbegin(), PlayerList.cend(),
                                     [&name](const TServerUser *p) { return p->Name == name; });
        if (it != PlayerList.cend()) {
            (*it)->Stale = false;
        } else {
            auto *player = new TServerUser;
            player->Name = name;
            PlayerList.append(player);
        }
    }
    PurgePlayers();
    Players = quint16(qMin<qsizetype>(PlayerList.size(), 0xFFFF));
}

void TServer::ApplyStatusReply(QStringView text)
{
    StatusReply::Apply(text, {GameVersion, BrightShips, AccCollisions, RandPowerup, PlayerList});
}

void TServer::PurgePlayers()
{
    for (qsizetype i = PlayerList.size() - 1; i >= 0; --i) {
        if (PlayerList[i]->Stale)
            delete PlayerList.takeAt(i);
    }
}

TServerUser *TServer::FindPlayer(qint32 index) const
{
    return StatusReply::FindPlayer(PlayerList, index);
}

bool TServer::IsSilent() const
{
    // In 16 bits, so that a server stays silent after the sequence number wraps.
    return quint16(RequestSeq - AnsweredSeq) > 3 || StatusQueries >= 4;
}

void TServer::ApplyFilter(const TServerFilter &filter)
{
    Visible = true;
    FilteredOut = false;
    if (Name.trimmed().isEmpty())
        Visible = false;
    if (filter.MaxPing < qint64(Ping))
        Visible = false;
    if (filter.GameTypes.contains(GameType, Qt::CaseInsensitive) || filter.Modes.contains(Mode, Qt::CaseInsensitive) ||
        filter.Levels.contains(Level, Qt::CaseInsensitive))
        FilteredOut = true;
    if (filter.HideFull && Players == MaxPlayers)
        Visible = false;
    if (FilteredOut)
        Visible = false;
}
