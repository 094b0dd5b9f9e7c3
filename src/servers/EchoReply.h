#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// User pings. The echo payload we send (40 bytes, little-endian):
//   u32 tick when queued   u32 marker   32 bytes nick, cut and padded with zero bytes
// An echo reply as the ICMP socket gives it:
//   [IP header, IHL x 4 bytes: raw socket only]  ICMP header (type 0, code 0, ...) 8 bytes  payload
// The user-reply datagram from another client:
//   05 01   u16 value   28 bytes nick up to the first zero byte
namespace EchoReply {

constexpr quint32 Marker = 0x4F4C524F; // "ORLO" as it lies in the payload
constexpr int PayloadSize = 40;
constexpr int NickSize = 32;
constexpr int IcmpHeaderSize = 8;
// One reply with the largest IP header (60 bytes) still fits.
constexpr int MaxReplySize = 60 + IcmpHeaderSize + PayloadSize;

enum class TFormat { WithIpHeader, IcmpOnly };

struct TEchoReply
{
    quint32 SentTick = 0;
    QString Nick;
};

struct TUserReply
{
    quint16 Value = 0;
    QString Nick;
};

// The nick is sent as UTF-8, cut to 32 bytes at a character boundary.
QByteArray BuildPayload(quint32 tick, const QString &nick);

// Our echo replies only: an echo reply (type 0) whose payload carries our marker.
// Anything shorter than its headers and the marker is no reply; a nick without its
// zero byte ends where the bytes end.
std::optional<TEchoReply> Parse(QByteArrayView bytes, TFormat format);

// True for the two type bytes 05 01 of a user reply.
bool IsUserReply(QByteArrayView datagram);
// A user-reply datagram of at least the two type bytes 05 01; bytes missing after them
// count as zero.
std::optional<TUserReply> ParseUserReply(QByteArrayView datagram);

// The user-reply value is the low 16 bits of the sender's tick, so the time taken is
// (reply tick - value) mod 65536.
inline quint32 UserReplyPing(quint32 replyTick, quint16 value)
{
    return (replyTick - value) & 0xFFFFu;
}
// The sent tick that gives that ping against the reply tick (for SetPingResult).
inline quint32 UserReplySentTick(quint32 replyTick, quint16 value)
{
    return replyTick - UserReplyPing(replyTick, value);
}

} // namespace EchoReply
