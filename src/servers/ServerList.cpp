#include "servers/ServerList.h"

#include "base/Log.h"
#include "servers/GameQueries.h"
#include "servers/ServerReplies.h"
#include "servers/UDPQueue.h"

TServerList::TServerList(TUDPQueue *queue, QObject *parent) : QObject(parent), m_queue(queue) {}

TServerList::~TServerList()
{
    m_byIp.clear();
    qDeleteAll(std::exchange(m_servers, {}));
}

quint32 TServerList::VersionCode() const
{
    return GameQueries::CurrentVersionCode(VersionText ? VersionText() : QString());
}

TServer *TServerList::FindServer(const QString &ip, quint16 port) const
{
    const auto it = m_byIp.constFind(ip);
    if (it == m_byIp.cend())
        return nullptr;
    for (TServer *server : *it) {
        if (port == 0 || server->Port == port)
            return server;
    }
    return nullptr;
}

TServer *TServerList::AddServer(const QString &ip, quint16 port)
{
    if (ip == QLatin1String("0.0.0.0") || FindServer(ip, port))
        return nullptr;
    if (m_servers.size() >= MaxServers) {
        if (!std::exchange(m_fullReported, true))
            emit ListFull(MaxServers);
        return nullptr;
    }
    auto *server = new TServer(ip, port, this);
    m_servers.append(server);
    m_byIp[ip].append(server);
    server->RequestPlayers();
    emit ServerAdded(server);
    return server;
}

void TServerList::RemoveServer(TServer *server)
{
    const qsizetype index = m_servers.indexOf(server);
    if (index < 0)
        return;
    emit ServerRemoved(server);
    m_servers.removeAt(index);
    if (index < m_pingCursor)
        --m_pingCursor;
    auto it = m_byIp.find(server->IP);
    if (it != m_byIp.end()) {
        it->removeOne(server);
        if (it->isEmpty())
            m_byIp.erase(it);
    }
    delete server;
}

void TServerList::ClearServers()
{
    while (!m_servers.isEmpty())
        RemoveServer(m_servers.last());
}

void TServerList::RemoveSilentServers()
{
    for (qsizetype i = m_servers.size() - 1; i >= 0; --i) {
        if (i < m_servers.size() && m_servers.at(i)->IsSilent())
            RemoveServer(m_servers.at(i));
    }
}

void TServerList::QueryAllServers()
{
    RemoveSilentServers();
    for (TServer *server : std::as_const(m_servers))
        server->RequestGameInfo();
}

void TServerList::PingAllServers()
{
    RemoveSilentServers();
    const int limit = qMax(3, int(m_servers.size()) / 5);
    int started = 0;
    m_pingCursor = 0;
    for (TServer *server : std::as_const(m_servers)) {
        if (server->FilteredOut)
            continue;
        if (started < limit) {
            ++started;
            server->RequestGameInfo();
            server->PingState = 2;
        } else {
            server->PingState = 1;
        }
    }
}

void TServerList::ContinueSerialPing(TServer *server)
{
    if (server->PingState != 2)
        return;
    server->PingState = 0;
    // Only a new pass marks servers as waiting, so the search goes on where the last one
    // stopped and a whole pass walks the list once.
    for (; m_pingCursor < m_servers.size(); ++m_pingCursor) {
        TServer *next = m_servers.at(m_pingCursor);
        if (next->PingState == 1) {
            ++m_pingCursor;
            next->PingState = 2;
            next->RequestGameInfo();
            return;
        }
    }
}

void TServerList::ShowInfo(TServer *server)
{
    if (!server)
        return;
    InfoPort = server->Port;
    server->InfoRequested = true;
    server->RequestPlayers();
    server->RequestStatus();
    emit InfoChanged(server);
}

void TServerList::RequestLevel(TServer *server)
{
    if (!server)
        return;
    server->LevelRequested = true;
    server->RequestLevelInfo();
}

void TServerList::Refuse(const QString &ip, quint16 port, const char *what)
{
    ++m_refused;
    Log::Dropped(lcServers(), ip + QLatin1Char(':') + QString::number(port), QLatin1String(what));
}

bool TServerList::Feed(QByteArrayView datagram, const QString &ip, quint16 port, quint32 replyTick)
{
    using ServerReplies::TKind;
    const TKind kind = ServerReplies::Classify(datagram);
    if (kind == TKind::None)
        return false;
    if (kind == TKind::Status) {
        // From the query port: matched by the server whose information was asked for.
        TServer *server = port == GameQueries::StatusPort && InfoPort != 0 ? FindServer(ip, InfoPort) : nullptr;
        if (!server) {
            Refuse(ip, port, "status reply not from a listed server's status port");
            return true;
        }
        server->ApplyStatusReply(ServerReplies::DecodeStatus(datagram));
        emit InfoChanged(server);
        return true;
    }
    TServer *server = port != 0 ? FindServer(ip, port) : nullptr;
    if (!server) {
        Refuse(ip, port, "game-server reply not from a listed server");
        return true;
    }
    switch (kind) {
    case TKind::GameInfo:
        server->ApplyGameInfo(ServerReplies::DecodeGameInfo(datagram), replyTick);
        ContinueSerialPing(server);
        emit ServerChanged(server);
        break;
    case TKind::PlayerList:
        server->ApplyPlayerList(ServerReplies::DecodePlayerList(datagram));
        emit InfoChanged(server);
        break;
    case TKind::LevelAddress:
        // Only an answer to the user's own request opens a download, and only one.
        if (std::exchange(server->LevelRequested, false))
            emit LevelAddressReceived(server, ServerReplies::DecodeLevelAddress(datagram));
        break;
    default:
        break;
    }
    return true;
}
