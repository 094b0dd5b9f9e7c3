#include "chat/UserPing.h"

#include "chat/UDPQueue.h"
#include "net/UNxSocket.h"

bool PingUser(TUDPQueue &queue, const QString &nick, const QString &host, quint32 tick)
{
    if (host.trimmed().isEmpty() || !queue.CanPing())
        return false;
    return queue.Enqueue(TUDPQueue::KindEcho, nullptr, EchoReply::BuildPayload(tick, nick), 0, host);
}

std::optional<EchoReply::TEchoReply> TakeEchoReply(TNxPing &pinger)
{
    char buffer[EchoReply::MaxReplySize];
    const int size = pinger.ReceiveBuffer(buffer, int(sizeof buffer));
    if (size <= 0)
        return std::nullopt;
    return EchoReply::Parse(QByteArrayView(buffer, size), pinger.RepliesHaveIpHeader()
                                                              ? EchoReply::TFormat::WithIpHeader
                                                              : EchoReply::TFormat::IcmpOnly);
}
