#include "net/PeerPackets.h"

#include "base/Bytes.h"

namespace PeerPackets {

QByteArray EncodeProbe()
{
    return QByteArray(1, char(Probe));
}

QByteArray EncodeProbeReply(quint32 build)
{
    TByteWriter out(ProbeReplyLength);
    out.U8At(0, ProbeReply);
    out.U32LEAt(1, build);
    return out.Data();
}

QByteArray EncodeTalkRequest(quint16 port, const QByteArray &alias)
{
    TByteWriter out(TalkRequestLength);
    out.U8At(0, TalkRequest);
    out.U16LEAt(1, port);
    out.FieldAt(3, alias, AliasBytes);
    return out.Data();
}

std::optional<TPeerPacket> Decode(QByteArrayView datagram)
{
    datagram = datagram.first(std::min<qsizetype>(datagram.size(), MaxDatagram));
    if (datagram.isEmpty())
        return std::nullopt;
    const TByteReader r(datagram);
    switch (r.U8At(0)) {
    case Probe:
        return TProbe{};
    case ProbeReply:
        if (datagram.size() < ProbeReplyLength)
            return std::nullopt;
        return TProbeReply{r.U32LEAt(1)};
    case TalkRequest: {
        if (datagram.size() < TalkRequestLength)
            return std::nullopt;
        TTalkRequest request;
        request.port = r.U16LEAt(1);
        request.alias = r.ZeroEndedAt(3, AliasBytes).toByteArray();
        return request;
    }
    default:
        return std::nullopt;
    }
}

} // namespace PeerPackets
