#include "sim/GameServer.h"

#include "sim/SimSocket.h"

#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTimer>

using namespace ServerDatagrams;

namespace {

QString KindName(TKind kind)
{
    switch (kind) {
    case TKind::GameInfo:
        return QStringLiteral("gameInfo");
    case TKind::PlayerList:
        return QStringLiteral("players");
    case TKind::Level:
        return QStringLiteral("level");
    case TKind::Status:
        return QStringLiteral("status");
    default:
        return QStringLiteral("unknown");
    }
}

} // namespace

TGameServer::TGameServer(int index, const QHostAddress &address, const TSimServerInfo &info, const TServerKnobs &knobs,
                         const TReplyStyle &style, TSimCounters &counters, QObject *parent)
    : QObject(parent), m_index(index), m_address(address), m_info(info), m_knobs(knobs), m_style(style),
      m_total(counters)
{
    for (const char *kind : {"gameInfo", "players", "level", "status", "unknown"}) {
        m_counts.Declare("requests", kind);
        m_counts.Declare("replies", kind);
    }
    connect(&m_game, &QUdpSocket::readyRead, this, [this] { ReadPending(m_game, false); });
    connect(&m_status, &QUdpSocket::readyRead, this, [this] { ReadPending(m_status, true); });
}

bool TGameServer::Bind(quint16 gamePort, quint16 statusPort, QString *error)
{
    return BindLoopbackUdp(m_game, m_address, gamePort, error) &&
           BindLoopbackUdp(m_status, m_address, statusPort, error);
}

QByteArray TGameServer::LevelUrl() const
{
    if (m_style.levelBaseUrl.isEmpty() || m_knobs.noLevel)
        return QByteArray();
    const QByteArray separator = m_style.levelBaseUrl.endsWith('/') ? QByteArray() : QByteArray("/");
    return m_style.levelBaseUrl + separator + m_info.info.level;
}

QJsonObject TGameServer::Describe() const
{
    QJsonArray players;
    for (const TSimPlayer &p : m_info.players)
        players.append(QString::fromLatin1(p.name));
    const TGameInfo &g = m_info.info;
    return QJsonObject{{"index", m_index},
                       {"address", m_address.toString()},
                       {"gamePort", m_game.localPort()},
                       {"statusPort", m_status.localPort()},
                       {"name", QString::fromLatin1(g.name)},
                       {"level", QString::fromLatin1(g.level)},
                       {"description", QString::fromLatin1(g.description)},
                       {"gameType", QString::fromLatin1(g.gameType)},
                       {"levelNumber", g.levelNumber},
                       {"players", int(m_info.players.size())},
                       {"maxPlayers", g.maxPlayers},
                       {"mode", g.mode},
                       {"dedicated", g.dedicated},
                       {"difficulty", g.difficulty},
                       {"gameVersion", QString::fromLatin1(m_info.gameVersion)},
                       {"playerNames", players},
                       {"levelUrl", QString::fromLatin1(LevelUrl())},
                       {"silent", m_knobs.silent},
                       {"slowMs", m_knobs.slowMs},
                       {"once", m_knobs.once}};
}

void TGameServer::ReadPending(QUdpSocket &socket, bool statusPort)
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        Handle(socket, statusPort, datagram.data().left(SimMaxDatagram), datagram.senderAddress(),
               quint16(datagram.senderPort()));
    }
}

void TGameServer::Handle(QUdpSocket &socket, bool statusPort, const QByteArray &data, const QHostAddress &from,
                         quint16 port)
{
    TKind kind = Classify(data);
    // Each port answers its own kinds only, as a real server's two sockets do.
    if ((kind == TKind::Status) != statusPort)
        kind = TKind::Unknown;
    const QString name = KindName(kind);
    QStringList deviations;
    if (kind == TKind::GameInfo)
        deviations = DecodeGameInfoRequest(data).deviations;
    else if (kind != TKind::Unknown)
        deviations = CheckShortRequest(data, kind);
    m_counts.Add("requests", name);
    m_total.Add("requests", name);
    if (!deviations.isEmpty())
        m_total.Add("deviations", name);
    QJsonObject event = DatagramEvent(QStringLiteral("server %1").arg(m_index), name, from, port, deviations);
    event.insert("server", m_index);
    if (kind != TKind::Unknown && Answers(name, event))
        Reply(socket, ReplyFor(kind, data, event), from, port, name);
    emit Datagram(event);
}

QByteArray TGameServer::ReplyFor(TKind kind, const QByteArray &data, QJsonObject &event) const
{
    switch (kind) {
    case TKind::GameInfo: {
        const TGameInfoRequest request = DecodeGameInfoRequest(data);
        event.insert("sequence", request.sequence);
        event.insert("version", qint64(request.version));
        TGameInfo info = m_info.info;
        info.players = quint16(m_info.players.size());
        return EncodeGameInfoReply(info, request.sequence);
    }
    case TKind::PlayerList:
        return EncodePlayerListReply(PlayerNamesOf(m_info));
    case TKind::Level: {
        const QByteArray url = LevelUrl();
        QList<QByteArray> texts;
        if (!url.isEmpty() && m_style.levelBlankFirst)
            texts << QByteArray("   ");
        if (!url.isEmpty())
            texts << url;
        return EncodeLevelReply(texts);
    }
    case TKind::Status: {
        TStatus status = StatusOf(m_info);
        if (m_style.gamespyStatus) {
            const TGameInfo &g = m_info.info;
            status.extra = {{"hostname", g.name},
                            {"mapname", g.level},
                            {"gametype", g.gameType},
                            {"numplayers", QByteArray::number(m_info.players.size())},
                            {"maxplayers", QByteArray::number(g.maxPlayers)}};
            status.trailer = "\\final\\";
        }
        return EncodeStatusReply(status);
    }
    default:
        return QByteArray();
    }
}

bool TGameServer::Answers(const QString &kind, QJsonObject &event)
{
    if (m_knobs.silent) {
        event.insert("answer", "none (silent)");
        return false;
    }
    if (m_knobs.once) {
        if (m_answeredOnce.contains(kind)) {
            event.insert("answer", "none (answered once)");
            return false;
        }
        m_answeredOnce.insert(kind);
    }
    if (m_knobs.slowMs > 0 && m_delayed >= MaxDelayedReplies) {
        event.insert("answer", "none (too many delayed replies)");
        return false;
    }
    event.insert("answer", kind);
    return true;
}

void TGameServer::Reply(QUdpSocket &socket, const QByteArray &bytes, const QHostAddress &to, quint16 port,
                        const QString &kind)
{
    auto send = [this, &socket, bytes, to, port, kind] {
        if (socket.writeDatagram(bytes, to, port) != bytes.size()) {
            m_total.Add("replies", "failed");
            return;
        }
        m_counts.Add("replies", kind);
        m_total.Add("replies", kind);
    };
    if (m_knobs.slowMs <= 0) {
        send();
        return;
    }
    ++m_delayed;
    // The sockets are members, so the server's own lifetime guards them.
    QTimer::singleShot(m_knobs.slowMs, this, [this, send] {
        --m_delayed;
        send();
    });
}
