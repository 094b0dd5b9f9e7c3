#include "pxo/TrackerPackets.h"

#include "base/Bytes.h"

namespace TrackerPackets {

quint16 DispatchKey(QByteArrayView datagram)
{
    return TByteReader(datagram).U16BEAt(0);
}

QByteArray LoginRequest(const QByteArray &loginName, const QByteArray &password)
{
    TByteWriter out(78);
    out.U32BEAt(0, 0x040D4D00);
    out.U16BEAt(14, 0xBB09);
    out.FieldAt(18, loginName, 33);
    out.FieldAt(51, password, 27);
    return out.Data();
}

QByteArray StatsRequest(const QByteArray &displayName, const QByteArray &trackerId)
{
    TByteWriter out(48);
    out.U32BEAt(0, 0x04072F00);
    out.U8At(4, 0x0B);
    out.FieldAt(18, displayName, 20);
    out.FieldAt(38, trackerId, 10);
    return out.Data();
}

QByteArray Acknowledgement(AckKind kind, quint32 ackValue)
{
    TByteWriter out(18);
    out.U32BEAt(0, 0x04001100);
    out.U8At(4, 0x05);
    out.U32LEAt(10, ackValue);
    out.U8At(17, kind == AckKind::Login ? 0x98 : 0x00);
    return out.Data();
}

QByteArray GameListRequest()
{
    TByteWriter out(42);
    out.U16BEAt(0, 0x0329);
    out.U8At(5, 0x02);
    out.U8At(22, 0x07);
    out.FieldAt(30, "#autoselect", 11);
    return out.Data();
}

QByteArray GameListAcknowledgement(quint32 ackValue)
{
    TByteWriter out(30);
    out.U16BEAt(0, 0x031D);
    out.U8At(5, 0x02);
    out.U8At(22, 0x01);
    out.U32LEAt(26, ackValue);
    return out.Data();
}

TLoginAccepted DecodeLoginAccepted(QByteArrayView datagram)
{
    const TByteReader r(datagram);
    TLoginAccepted reply;
    reply.ackValue = r.U32LEAt(10);
    // A shorter id is padded with zero bytes: it ends at the first one.
    reply.trackerId = r.ZeroEndedAt(18, 10).toByteArray();
    reply.valid = !reply.trackerId.isEmpty() && !reply.trackerId.contains('\r') && !reply.trackerId.contains('\n');
    return reply;
}

TStatsReply DecodeStatsReply(QByteArrayView datagram)
{
    const TByteReader r(datagram);
    TStatsReply reply;
    reply.ackValue = r.U32LEAt(10);
    if (datagram.size() > 28)
        reply.displayName = r.ZeroEndedAt(28, datagram.size() - 28).toByteArray();
    reply.rating = r.U16LEAt(50);
    reply.kills = r.U32LEAt(52);
    reply.deaths = r.U32LEAt(56);
    reply.suicides = r.U32LEAt(60);
    reply.seconds = r.U32LEAt(64);
    return reply;
}

TGameListReply DecodeGameListReply(QByteArrayView datagram)
{
    datagram = datagram.first(std::min<qsizetype>(datagram.size(), MaxDatagram));
    const TByteReader r(datagram);
    TGameListReply reply;
    reply.ackValue = r.U32LEAt(26);
    const qsizetype n = datagram.size() > 31 ? (datagram.size() - 31) / 38 : 0;
    for (qsizetype i = 0; i < n; ++i) {
        const quint32 ip = r.U32BEAt(31 + 32 * n + 4 * i);
        TGameListEntry entry;
        entry.ip = QStringLiteral("%1.%2.%3.%4").arg(ip >> 24).arg(ip >> 16 & 0xFF).arg(ip >> 8 & 0xFF).arg(ip & 0xFF);
        entry.port = r.U16BEAt(31 + 36 * n + 2 * i);
        reply.entries << entry;
    }
    return reply;
}

} // namespace TrackerPackets
