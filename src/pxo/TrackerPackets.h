#pragma once

// PXO tracker datagrams (little-endian numbers; the dispatch key is bytes 0-1 big-endian).
//
// User tracker                                         Game tracker
//   login request   78 B: 04 0D 4D 00, 0xBB09 @14,       game-list request 42 B: 03 29 00 .. 02 @5,
//                   name[33] @18, password[27] @51                         07 @22, "#autoselect\0" @30
//   login accepted  04 0F: ack u32 @10, tracker id[10] @18 game-list reply 03 17: ack u32 @26, N entries
//   stats request   48 B: 04 07 2F 00 0B, name[20] @18,                    (IP[4] @31+32N+4i,
//                   tracker id[10] @38                                      port u16 BE @31+36N+2i)
//   stats reply     04 08: ack @10, name @28 (to zero),  game-list ack     30 B: 03 1D 00 .. 02 @5,
//                   rating u16 @50, kills, deaths,                         01 00 00 00 @22, ack @26
//                   suicides, seconds u32 @52..@64
//   acknowledgement 18 B: 04 00 11 00 05, ack @10, last byte 0x98 (login) or 0x00 (stats)

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace TrackerPackets {
constexpr int MaxDatagram = 4096;

enum Key : quint16 {
    GameListReply = 0x0317,
    StatsReply = 0x0408,
    LoginRetryReply = 0x040E,
    LoginAcceptedReply = 0x040F,
};

// Bytes 0-1 read big-endian; missing bytes count as zero.
quint16 DispatchKey(QByteArrayView datagram);

QByteArray LoginRequest(const QByteArray &loginName, const QByteArray &password);
QByteArray StatsRequest(const QByteArray &displayName, const QByteArray &trackerId);
enum class AckKind { Login, Stats };
QByteArray Acknowledgement(AckKind kind, quint32 ackValue);
QByteArray GameListRequest();
QByteArray GameListAcknowledgement(quint32 ackValue);

struct TLoginAccepted
{
    quint32 ackValue = 0;
    QByteArray trackerId; // up to 10 bytes, to the first zero byte
    // An empty id, or one with CR or LF (which would inject text into the chat registration),
    // is refused.
    bool valid = false;
};
TLoginAccepted DecodeLoginAccepted(QByteArrayView datagram);

struct TStatsReply
{
    quint32 ackValue = 0;
    QByteArray displayName;
    quint16 rating = 0;
    quint32 kills = 0;
    quint32 deaths = 0;
    quint32 suicides = 0;
    quint32 seconds = 0;
};
TStatsReply DecodeStatsReply(QByteArrayView datagram);

struct TGameListEntry
{
    QString ip; // dotted decimal
    quint16 port = 0;
};
struct TGameListReply
{
    quint32 ackValue = 0;
    QList<TGameListEntry> entries;
};
TGameListReply DecodeGameListReply(QByteArrayView datagram);
} // namespace TrackerPackets
