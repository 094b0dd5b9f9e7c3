#include "pxo/TrackerPackets.h"

#include <QtEndian>

namespace TrackerPackets {

namespace {
// Reads past the end of a datagram give zero, as the receive buffer is zero beyond it.
struct TReader
{
    QByteArrayView data;
    quint8 Byte(qsizetype at) const { return at >= 0 && at < data.size() ? quint8(data[at]) : 0; }
    quint16 U16(qsizetype at) const { return quint16(Byte(at) | Byte(at + 1) << 8); }
    quint32 U32(qsizetype at) const { return quint32(U16(at)) | quint32(U16(at + 2)) << 16; }
};

void Put(QByteArray &buffer, qsizetype at, const QByteArray &field, qsizetype size)
{
    const QByteArray cut = field.left(size);
    std::copy(cut.cbegin(), cut.cend(), buffer.begin() + at);
}

void PutU32(QByteArray &buffer, qsizetype at, quint32 value)
{
    qToLittleEndian<quint32>(value, buffer.data() + at);
}
} // namespace

quint16 DispatchKey(QByteArrayView datagram)
{
    const TReader r{datagram};
    return quint16(r.Byte(0) << 8 | r.Byte(1));
}

bool IsStatusReply(QByteArrayView datagram)
{
    return !datagram.isEmpty() && datagram[0] == '\\';
}

QByteArray LoginRequest(const QByteArray &loginName, const QByteArray &password)
{
    QByteArray out(78, '\0');
    out[0] = 0x04;
    out[1] = 0x0D;
    out[2] = 0x4D;
    out[14] = char(0xBB);
    out[15] = 0x09;
    Put(out, 18, loginName, 33);
    Put(out, 51, password, 27);
    return out;
}

QByteArray StatsRequest(const QByteArray &displayName, const QByteArray &trackerId)
{
    QByteArray out(48, '\0');
    out[0] = 0x04;
    out[1] = 0x07;
    out[2] = 0x2F;
    out[4] = 0x0B;
    Put(out, 18, displayName, 20);
    Put(out, 38, trackerId, 10);
    return out;
}

QByteArray Acknowledgement(AckKind kind, quint32 ackValue)
{
    QByteArray out(18, '\0');
    out[0] = 0x04;
    out[2] = 0x11;
    out[4] = 0x05;
    PutU32(out, 10, ackValue);
    out[17] = kind == AckKind::Login ? char(0x98) : char(0x00);
    return out;
}

QByteArray GameListRequest()
{
    QByteArray out(42, '\0');
    out[0] = 0x03;
    out[1] = 0x29;
    out[5] = 0x02;
    out[22] = 0x07;
    Put(out, 30, QByteArrayLiteral("#autoselect"), 11);
    return out;
}

QByteArray GameListAcknowledgement(quint32 ackValue)
{
    QByteArray out(30, '\0');
    out[0] = 0x03;
    out[1] = 0x1D;
    out[5] = 0x02;
    out[22] = 0x01;
    PutU32(out, 26, ackValue);
    return out;
}

TLoginAccepted DecodeLoginAccepted(QByteArrayView datagram)
{
    const TReader r{datagram};
    TLoginAccepted reply;
    reply.ackValue = r.U32(10);
    // A shorter id is padded with zero bytes: it ends at the first one.
    for (int i = 0; i < 10 && r.Byte(18 + i) != 0; ++i)
        reply.trackerId.append(char(r.Byte(18 + i)));
    reply.valid = !reply.trackerId.isEmpty() && !reply.trackerId.contains('\r') && !reply.trackerId.contains('\n');
    return reply;
}

TStatsReply DecodeStatsReply(QByteArrayView datagram)
{
    const TReader r{datagram};
    TStatsReply reply;
    reply.ackValue = r.U32(10);
    if (datagram.size() > 28) {
        const QByteArrayView rest = datagram.sliced(28);
        const qsizetype zero = rest.indexOf('\0');
        reply.displayName = (zero < 0 ? rest : rest.first(zero)).toByteArray();
    }
    reply.rating = r.U16(50);
    reply.kills = r.U32(52);
    reply.deaths = r.U32(56);
    reply.suicides = r.U32(60);
    reply.seconds = r.U32(64);
    return reply;
}

TGameListReply DecodeGameListReply(QByteArrayView datagram)
{
    datagram = datagram.first(std::min<qsizetype>(datagram.size(), MaxDatagram));
    const TReader r{datagram};
    TGameListReply reply;
    reply.ackValue = r.U32(26);
    const qsizetype n = datagram.size() > 31 ? (datagram.size() - 31) / 38 : 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype ip = 31 + 32 * n + 4 * i;
        const qsizetype port = 31 + 36 * n + 2 * i;
        TGameListEntry entry;
        entry.ip =
            QStringLiteral("%1.%2.%3.%4").arg(r.Byte(ip)).arg(r.Byte(ip + 1)).arg(r.Byte(ip + 2)).arg(r.Byte(ip + 3));
        entry.port = quint16(r.Byte(port) << 8 | r.Byte(port + 1));
        reply.entries << entry;
    }
    return reply;
}

} // namespace TrackerPackets
