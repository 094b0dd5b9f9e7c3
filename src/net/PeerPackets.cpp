#include "net/PeerPackets.h"

#include <QtEndian>

namespace PeerPackets {

QByteArray EncodeProbe()
{
    return QByteArray(1, char(Probe));
}

QByteArray EncodeProbeReply(quint32 build)
{
    QByteArray out(ProbeReplyLength, '\0');
    out[0] = char(ProbeReply);
    qToLittleEndian<quint32>(build, out.data() + 1);
    return out;
}

QByteArray EncodeTalkRequest(quint16 port, const QByteArray &alias)
{
    QByteArray out(TalkRequestLength, '\0');
    out[0] = char(TalkRequest);
    qToLittleEndian<quint16>(port, out.data() + 1);
    const QByteArray cut = alias.left(AliasBytes);
    std::copy(cut.cbegin(), cut.cend(), out.begin() + 3);
    return out;
}

std::optional<TPeerPacket> Decode(QByteArrayView datagram)
{
    datagram = datagram.first(std::min<qsizetype>(datagram.size(), MaxDatagram));
    if (datagram.isEmpty())
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(datagram.data());
    switch (bytes[0]) {
    case Probe:
        return TProbe{};
    case ProbeReply:
        if (datagram.size() < ProbeReplyLength)
            return std::nullopt;
        return TProbeReply{qFromLittleEndian<quint32>(bytes + 1)};
    case TalkRequest: {
        if (datagram.size() < TalkRequestLength)
            return std::nullopt;
        TTalkRequest request;
        request.port = qFromLittleEndian<quint16>(bytes + 1);
        const QByteArrayView field = datagram.sliced(3, AliasBytes);
        const qsizetype zero = field.indexOf('\0');
        request.alias = (zero < 0 ? field : field.first(zero)).toByteArray();
        return request;
    }
    default:
        return std::nullopt;
    }
}

} // namespace PeerPackets
