#include "chat/EchoReply.h"

#include <QtEndian>

namespace EchoReply {
namespace {

constexpr quint8 IcmpEchoReply = 0;
constexpr quint8 IpProtocolIcmp = 1;
constexpr int MinIpHeaderSize = 20;
constexpr int UserReplyNickSize = 28;

QString NickFrom(QByteArrayView bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.first(zero));
}

} // namespace

QByteArray BuildPayload(quint32 tick, const QString &nick)
{
    QByteArray payload(PayloadSize, '\0');
    qToLittleEndian(tick, payload.data());
    qToLittleEndian(Marker, payload.data() + 4);
    QByteArray name = nick.toUtf8();
    if (name.size() > NickSize) {
        qsizetype cut = NickSize;
        while (cut > 0 && (quint8(name[cut]) & 0xC0) == 0x80)
            --cut; // never inside a UTF-8 sequence
        name.truncate(cut);
    }
    std::copy(name.cbegin(), name.cend(), payload.begin() + 8);
    return payload;
}

std::optional<TEchoReply> Parse(QByteArrayView bytes, TFormat format)
{
    qsizetype offset = 0;
    if (format == TFormat::WithIpHeader) {
        if (bytes.size() < MinIpHeaderSize)
            return std::nullopt;
        const auto first = quint8(bytes[0]);
        offset = (first & 0x0F) * 4;
        if (first >> 4 != 4 || offset < MinIpHeaderSize || quint8(bytes[9]) != IpProtocolIcmp)
            return std::nullopt;
    }
    if (bytes.size() < offset + IcmpHeaderSize + 8)
        return std::nullopt;
    if (quint8(bytes[offset]) != IcmpEchoReply || bytes[offset + 1] != 0)
        return std::nullopt;
    const QByteArrayView payload = bytes.sliced(offset + IcmpHeaderSize);
    if (qFromLittleEndian<quint32>(payload.data() + 4) != Marker)
        return std::nullopt;
    TEchoReply reply;
    reply.SentTick = qFromLittleEndian<quint32>(payload.data());
    reply.Nick = NickFrom(payload.sliced(8, qMin<qsizetype>(NickSize, payload.size() - 8)));
    return reply;
}

std::optional<TUserReply> ParseUserReply(QByteArrayView datagram)
{
    if (datagram.size() < 2 || quint8(datagram[0]) != 0x05 || quint8(datagram[1]) != 0x01)
        return std::nullopt;
    TUserReply reply;
    const auto byteAt = [&](qsizetype i) { return i < datagram.size() ? quint8(datagram[i]) : quint8(0); };
    reply.Value = quint16(byteAt(2) | byteAt(3) << 8);
    if (datagram.size() > 4)
        reply.Nick = NickFrom(datagram.sliced(4, qMin<qsizetype>(UserReplyNickSize, datagram.size() - 4)));
    return reply;
}

} // namespace EchoReply
