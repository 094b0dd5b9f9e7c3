#pragma once

// Peer datagrams between copies of Orlo (UDP 28045 at both ends, little-endian):
//   probe        u8 1
//   probe reply  u8 2   u32 build
//   talk request u8 3   u16 talk port   char[28] alias, zero padded (no zero when 28 long)

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <variant>

namespace PeerPackets {
constexpr quint16 Port = 28045;
constexpr quint32 Build = 38;
constexpr int MaxDatagram = 4096; // bytes read of one datagram
constexpr int AliasBytes = 28;

enum Type : quint8 { Probe = 1, ProbeReply = 2, TalkRequest = 3 };
constexpr int ProbeLength = 1;
constexpr int ProbeReplyLength = 5;
constexpr int TalkRequestLength = 31;

struct TProbe
{
};
struct TProbeReply
{
    quint32 build = 0;
};
struct TTalkRequest
{
    quint16 port = 0;
    QByteArray alias; // at most 28 bytes, up to the first zero byte
};
using TPeerPacket = std::variant<TProbe, TProbeReply, TTalkRequest>;

QByteArray EncodeProbe();
QByteArray EncodeProbeReply(quint32 build = Build);
// The alias's bytes cut to 28, the rest of the field zero.
QByteArray EncodeTalkRequest(quint16 port, const QByteArray &alias);
// Nothing for unknown types and for datagrams shorter than their type's length.
std::optional<TPeerPacket> Decode(QByteArrayView datagram);
} // namespace PeerPackets
