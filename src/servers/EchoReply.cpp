#include "servers/EchoReply.h"

#include "base/Bytes.h"
#include "base/Text.h"

namespace EchoReply {
namespace {

constexpr quint8 IcmpEchoReply = 0;
constexpr quint8 IpProtocolIcmp = 1;
constexpr int MinIpHeaderSize = 20;
constexpr int UserReplyNickSize = 28;

} // namespace

QByteArray BuildPayload(quint32 tick, const QString &nick)
{
    TByteWriter out(PayloadSize);
    out.U32LEAt(0, tick);
    out.U32LEAt(4, Marker);
    out.FieldAt(8, Text::CutUtf8(nick.toUtf8(), NickSize), NickSize);
    return out.Data();
}

std::optional<TEchoReply> Parse(QByteArrayView bytes, TFormat format)
{
    const TByteReader r(bytes);
    qsizetype offset = 0;
    if (format == TFormat::WithIpHeader) {
        const quint8 first = r.U8At(0);
        offset = (first & 0x0F) * 4;
        if (bytes.size() < MinIpHeaderSize || first >> 4 != 4 || offset < MinIpHeaderSize ||
            r.U8At(9) != IpProtocolIcmp)
            return std::nullopt;
    }
    const qsizetype payload = offset + IcmpHeaderSize;
    if (bytes.size() < payload + 8 || r.U8At(offset) != IcmpEchoReply || r.U8At(offset + 1) != 0 ||
        r.U32LEAt(payload + 4) != Marker)
        return std::nullopt;
    TEchoReply reply;
    reply.SentTick = r.U32LEAt(payload);
    reply.Nick = QString::fromUtf8(r.ZeroEndedAt(payload + 8, NickSize));
    return reply;
}

bool IsUserReply(QByteArrayView datagram)
{
    return TByteReader(datagram).U16BEAt(0) == 0x0501;
}

std::optional<TUserReply> ParseUserReply(QByteArrayView datagram)
{
    if (!IsUserReply(datagram))
        return std::nullopt;
    const TByteReader r(datagram);
    TUserReply reply;
    reply.Value = r.U16LEAt(2);
    reply.Nick = QString::fromUtf8(r.ZeroEndedAt(4, UserReplyNickSize));
    return reply;
}

} // namespace EchoReply
