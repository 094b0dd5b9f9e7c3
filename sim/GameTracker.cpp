#include "sim/GameTracker.h"

#include "sim/SimSocket.h"

#include <QNetworkDatagram>

using namespace TrackerDatagrams;

namespace {
const QString Me = QStringLiteral("game-tracker");
constexpr int ListAckKind = 0;
} // namespace

TGameTracker::TGameTracker(quint32 seed, int chunk, TEntrySource entries, TSimCounters &counters, QObject *parent)
    : QObject(parent), m_chunk(std::clamp(chunk, 1, MaxListEntries)), m_entries(std::move(entries)),
      m_counters(counters), m_acks(seed * 104729u + 500000u)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, [this] { ReadPending(m_socket); });
    connect(&m_ackSocket, &QUdpSocket::readyRead, this, [this] { ReadPending(m_ackSocket); });
}

bool TGameTracker::Bind(const QHostAddress &address, quint16 port, QString *error)
{
    return BindLoopbackUdp(m_socket, address, port, error);
}

bool TGameTracker::BindAckPort(quint16 port, QString *error)
{
    return BindLoopbackUdp(m_ackSocket, m_socket.localAddress(), port, error);
}

void TGameTracker::ReadPending(QUdpSocket &socket)
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        const QByteArray data = datagram.data().left(SimMaxDatagram);
        const QHostAddress from = datagram.senderAddress();
        const quint16 port = quint16(datagram.senderPort());
        switch (Classify(data)) {
        case TKind::ListRequest:
            HandleRequest(socket, data, from, port);
            break;
        case TKind::ListAck:
            HandleAck(data, from, port);
            break;
        default:
            m_counters.Add("requests", "unknown");
            emit Datagram(DatagramEvent(Me, "unknown", from, port, {}));
        }
    }
}

void TGameTracker::HandleRequest(QUdpSocket &socket, const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const TListRequest request = DecodeListRequest(data);
    m_counters.Add("requests", "gameList");
    if (!request.deviations.isEmpty())
        m_counters.Add("deviations", "gameList");
    QJsonObject event = DatagramEvent(Me, "gameList", from, port, request.deviations);
    event.insert("channel", QString::fromLatin1(request.channel));
    if (m_silent) {
        m_counters.Add("ignored", "gameList");
        event.insert("answer", "none (silent)");
        emit Datagram(event);
        return;
    }
    const QList<TListEntry> entries = m_entries();
    int replies = 0;
    // An empty list still gets one reply, so the client has something to acknowledge.
    for (qsizetype first = 0; first < entries.size() || replies == 0; first += m_chunk) {
        const quint32 ack = m_acks.Allocate(ListAckKind);
        const QByteArray bytes = EncodeListReply(ack, entries.mid(first, m_chunk));
        if (socket.writeDatagram(bytes, from, port) == bytes.size())
            m_counters.Add("replies", "gameList");
        else
            m_counters.Add("replies", "failed");
        ++replies;
    }
    event.insert("answer", "gameList");
    event.insert("entries", int(entries.size()));
    event.insert("replies", replies);
    emit Datagram(event);
}

void TGameTracker::HandleAck(const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const TListAck ack = DecodeListAck(data);
    m_counters.Add("requests", "gameListAck");
    if (!ack.deviations.isEmpty())
        m_counters.Add("deviations", "gameListAck");
    QJsonObject event = DatagramEvent(Me, "ack", from, port, ack.deviations);
    event.insert("ack", qint64(ack.value));
    if (m_acks.Take(ack.value, ListAckKind) == TAckLedger::TResult::Matched) {
        m_counters.Add("acks", "gameList");
        event.insert("result", "gameList");
    } else {
        m_counters.Add("acks", "unmatched");
        event.insert("result", "unmatched");
    }
    emit Datagram(event);
}
