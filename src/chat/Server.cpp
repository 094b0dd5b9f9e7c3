#include "chat/Server.h"

#include "base/Tick.h"
#include "chat/GameQueries.h"
#include "chat/StatusReply.h"
#include "chat/UDPQueue.h"

TServer::TServer(TfrmChat *form, quint16 port, const QString &ip, TUDPQueue *queue, TServerListForm *listForm)
    : IP(ip), Port(port), Queue(queue), Form(form), ListForm(listForm)
{
    if (queue)
        RequestGameInfo();
}

TServer::~TServer()
{
    // A request still waiting (a level request, a second game-info request) must not
    // name a freed server when it leaves the queue.
    if (Queue)
        Queue->Forget(this);
    qDeleteAll(PlayerList);
}

void TServer::RequestGameInfo()
{
    if (FilteredOut)
        return;
    AwaitingReply = false;
    ++RequestSeq;
    const quint32 version = GameQueries::CurrentVersionCode(ListForm ? ListForm->ServersVersionText() : QString());
    if (Queue)
        Queue->Enqueue(TUDPQueue::KindDatagram, this, GameQueries::GameInfoRequest(RequestSeq, version), Port, IP,
                       true);
    SentTick = TickCount();
}

void TServer::RequestPlayers()
{
    ++StatusQueries;
    if (Queue)
        Queue->Enqueue(TUDPQueue::KindDatagram, nullptr, GameQueries::PlayerListRequest(), Port, IP);
}

void TServer::RequestStatus()
{
    ++StatusQueries;
    if (Queue)
        Queue->Enqueue(TUDPQueue::KindDatagram, nullptr, GameQueries::StatusRequest(), GameQueries::StatusPort, IP,
                       true);
}

void TServer::RequestLevelInfo()
{
    if (Queue)
        Queue->Enqueue(TUDPQueue::KindDatagram, this, GameQueries::LevelInfoRequest(), Port, IP);
}

void TServer::ShowInfo()
{
    if (ListForm)
        ListForm->SetInfoPort(Port);
    InfoRequested = true;
    RequestPlayers();
    RequestStatus();
    if (ListForm)
        ListForm->UpdateServerInfo(this);
}

void TServer::ApplyGameInfo(quint16 sequence, quint32 replyTick, const QString &name, const QString &level,
                            const QString &description, const QString &gameType, quint16 levelNumber, quint16 players,
                            quint16 maxPlayers)
{
    if (sequence != RequestSeq)
        return; // a late answer: Ping must belong to the latest request
    AnsweredSeq = sequence;
    Ping = replyTick - SentTick;
    Name = name;
    Level = level;
    Description = description;
    GameType = gameType;
    LevelNumber = levelNumber;
    Players = players;
    MaxPlayers = maxPlayers;
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

bool TServer::IsPreferred() const
{
    return ListForm && ListForm->IsPreferedServer(Name);
}
