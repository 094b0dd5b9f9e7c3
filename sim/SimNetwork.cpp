#include "sim/SimNetwork.h"

#include <QCoreApplication>

namespace {

const char *const RequestKinds[] = {"login",    "stats",   "userAck", "gameList", "gameListAck",
                                    "gameInfo", "players", "level",   "status",   "unknown"};
const char *const ReplyKinds[] = {"loginAccepted", "loginRetry", "stats",  "gameList", "gameInfo",
                                  "players",       "level",      "status", "failed"};
const char *const AckKinds[] = {"login", "stats", "gameList", "unmatched", "wrongKind"};
const char *const IgnoredKinds[] = {"login", "stats", "gameList"};

QJsonObject EndpointJson(const QHostAddress &address, quint16 port)
{
    return QJsonObject{{"address", address.toString()}, {"port", port}};
}

} // namespace

TSimNetwork::TSimNetwork(const TSimOptions &options, QObject *parent) : QObject(parent), m_options(options)
{
    for (const char *kind : RequestKinds) {
        m_counters.Declare("requests", kind);
        if (qstrcmp(kind, "unknown") != 0)
            m_counters.Declare("deviations", kind);
    }
    for (const char *kind : ReplyKinds)
        m_counters.Declare("replies", kind);
    for (const char *kind : AckKinds)
        m_counters.Declare("acks", kind);
    for (const char *kind : IgnoredKinds)
        m_counters.Declare("ignored", kind);
}

TSimNetwork::~TSimNetwork() = default;

bool TSimNetwork::Start(QString *error)
{
    m_userTracker = std::make_unique<TUserTracker>(m_options.userTracker, m_counters);
    connect(m_userTracker.get(), &TUserTracker::Datagram, this, &TSimNetwork::Event);
    if (!m_userTracker->Bind(m_options.userTrackerAddress, m_options.userTrackerPort, error))
        return false;

    m_gameTracker = std::make_unique<TGameTracker>(
        m_options.seed, m_options.listChunk, [this] { return ListedServers(); }, m_counters);
    m_gameTracker->SetSilent(m_options.silentGameTracker);
    connect(m_gameTracker.get(), &TGameTracker::Datagram, this, &TSimNetwork::Event);
    if (!m_gameTracker->Bind(m_options.gameTrackerAddress, m_options.gameTrackerPort, error))
        return false;
    if (m_options.gameAckPort && !m_gameTracker->BindAckPort(*m_options.gameAckPort, error))
        return false;

    for (int i = 0; i < m_options.serverCount; ++i) {
        if (!CreateServer(i, error))
            return false;
    }
    return true;
}

TGameServer *TSimNetwork::CreateServer(int index, QString *error)
{
    const std::optional<QHostAddress> address = NthLoopback(m_options.firstServer, index);
    if (!address || index >= TSimOptions::MaxServers) {
        *error = QStringLiteral("no loopback address left for server %1").arg(index);
        return nullptr;
    }
    TSimServerInfo info = MakeServerInfo(m_options.seed, index);
    if (m_options.full.contains(index)) {
        info.players = MakePlayers(m_options.seed, index, info.info.maxPlayers);
        info.info.players = quint16(info.players.size());
    }
    TServerKnobs knobs;
    knobs.silent = m_options.silent.contains(index);
    knobs.slowMs = m_options.slow.contains(index) ? m_options.slowMs : 0;
    knobs.once = m_options.once.contains(index);
    knobs.noLevel = m_options.noLevel.contains(index);
    const TReplyStyle style{m_options.levelUrl, m_options.levelBlankFirst, m_options.gamespyStatus};
    auto server = std::make_unique<TGameServer>(index, *address, info, knobs, style, m_counters);
    if (!server->Bind(m_options.gamePort, m_options.statusPort, error)) {
        *error = QStringLiteral("server %1: %2").arg(index).arg(*error);
        return nullptr;
    }
    connect(server.get(), &TGameServer::Datagram, this, &TSimNetwork::Event);
    if (size_t(index) >= m_servers.size())
        m_servers.resize(size_t(index) + 1);
    m_servers[size_t(index)] = std::move(server);
    return m_servers[size_t(index)].get();
}

TGameServer *TSimNetwork::Server(int index) const
{
    return index >= 0 && size_t(index) < m_servers.size() ? m_servers[size_t(index)].get() : nullptr;
}

QList<TrackerDatagrams::TListEntry> TSimNetwork::ListedServers() const
{
    QList<TrackerDatagrams::TListEntry> entries;
    for (const auto &server : m_servers) {
        if (server)
            entries.append({server->Address().toIPv4Address(), server->GamePort(), server->Info().info.name});
    }
    return entries;
}

QJsonArray TSimNetwork::ServersJson() const
{
    QJsonArray servers;
    for (const auto &server : m_servers) {
        if (server)
            servers.append(server->Describe());
    }
    return servers;
}

QJsonObject TSimNetwork::ReadyInfo() const
{
    QJsonObject gameTracker = EndpointJson(m_gameTracker->Address(), m_gameTracker->Port());
    if (m_options.gameAckPort)
        gameTracker.insert("ackPort", m_gameTracker->AckPort());
    return QJsonObject{{"event", "ready"},
                       {"pid", QCoreApplication::applicationPid()},
                       {"seed", qint64(m_options.seed)},
                       {"userTracker", EndpointJson(m_userTracker->Address(), m_userTracker->Port())},
                       {"gameTracker", gameTracker},
                       {"servers", ServersJson()}};
}

QJsonObject TSimNetwork::Stats() const
{
    QJsonObject stats = m_counters.ToJson();
    stats.insert("reply", "stats");
    QJsonArray servers;
    for (const auto &server : m_servers) {
        if (!server)
            continue;
        QJsonObject counts = server->CountsJson();
        counts.insert("index", server->Index());
        servers.append(counts);
    }
    stats.insert("servers", servers);
    return stats;
}
