#pragma once

// PXO tracker datagrams as the simulated trackers read and write them. Numbers are
// little-endian except the game ports of the list reply; offsets from byte 0.
//
// User tracker (key = bytes 0-1 read big-endian):
//   login request    04 0D 4D 00  zero[10]  BB 09  zero[2]  name[33]  password[27]      78 bytes
//   stats request    04 07 2F 00  0B  zero[13]  display name[20]  tracker id[10]        48 bytes
//   acknowledgement  04 00 11 00  05  zero[5]  u32 ack  zero[3]  98 (login) | 00 (stats) 18 bytes
//   login accepted   04 0F 1B 00  zero[6]  u32 ack  zero[4]  tracker id[10]             28 bytes
//   login retry      04 0E 11 00  zero[14]                                              18 bytes
//   stats reply      04 08 43 00  zero[6]  u32 ack  zero[14]  name[22] (zero-ended)
//                    u16 rating  u32 kills  u32 deaths  u32 self destructs  u32 seconds  68 bytes
// Game tracker:
//   list request     03 29 00  zero[2]  02  zero[16]  07  zero[7]  "#autoselect" 00     42 bytes
//   list reply       03 17  zero[24]  u32 ack  00, then for N entries: N × name[32],
//                    N × IPv4 (first byte first), N × u16 port big-endian              31 + 38N bytes
//   list ack         03 1D 00  zero[2]  02  zero[16]  01 00 00 00  u32 ack                30 bytes

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

namespace TrackerDatagrams {

constexpr int LoginRequestSize = 78;
constexpr int StatsRequestSize = 48;
constexpr int UserAckSize = 18;
constexpr int LoginAcceptedSize = 28;
constexpr int LoginRetrySize = 18;
constexpr int StatsReplySize = 68;
constexpr int ListRequestSize = 42;
constexpr int ListAckSize = 30;
constexpr int ListHeaderSize = 31;
constexpr int ListEntrySize = 38;
constexpr int MaxDatagram = 4096; // what a client reads of one datagram
constexpr int MaxListEntries = (MaxDatagram - ListHeaderSize) / ListEntrySize;

constexpr int NameBytes = 33;        // login name
constexpr int PasswordBytes = 27;    // password
constexpr int DisplayNameBytes = 20; // stats request
constexpr int TrackerIdBytes = 10;
constexpr int ReplyNameBytes = 22; // stats reply, offsets 28 to 49
constexpr int ListNameBytes = 32;

constexpr quint8 LoginAckMark = 0x98;
constexpr quint8 StatsAckMark = 0x00;
constexpr char AutoselectChannel[] = "#autoselect";

enum class TKind { Unknown, LoginRequest, StatsRequest, UserAck, ListRequest, ListAck };

TKind Classify(QByteArrayView datagram);

// Every decoder reads what it can (missing bytes are zero) and lists in deviations each place
// where the datagram differs from its layout, so the caller can answer and still report it.
struct TLoginRequest
{
    QByteArray name;
    QByteArray password;
    QStringList deviations;
};
TLoginRequest DecodeLoginRequest(QByteArrayView datagram);

struct TStatsRequest
{
    QByteArray displayName;
    QByteArray trackerId;
    QStringList deviations;
};
TStatsRequest DecodeStatsRequest(QByteArrayView datagram);

struct TUserAck
{
    enum class TFor { Login, Stats, Unknown } forReply = TFor::Unknown;
    quint32 value = 0;
    QStringList deviations;
};
TUserAck DecodeUserAck(QByteArrayView datagram);

struct TListRequest
{
    QByteArray channel;
    QStringList deviations;
};
TListRequest DecodeListRequest(QByteArrayView datagram);

struct TListAck
{
    quint32 value = 0;
    QStringList deviations;
};
TListAck DecodeListAck(QByteArrayView datagram);

struct TUserStats
{
    QByteArray displayName;
    quint16 rating = 0;
    quint32 kills = 0;
    quint32 deaths = 0;
    quint32 suicides = 0;
    quint32 seconds = 0;
};

struct TListEntry
{
    quint32 ipv4 = 0; // host order: 127.0.0.1 is 0x7F000001
    quint16 port = 0;
    QByteArray name; // written into the field the client does not read
};

// The tracker id goes out as exactly 10 bytes: cut, or padded with zero bytes.
QByteArray EncodeLoginAccepted(quint32 ack, QByteArrayView trackerId);
QByteArray EncodeLoginRetry();
QByteArray EncodeStatsReply(quint32 ack, const TUserStats &stats);
// At most MaxListEntries entries; the caller splits longer lists.
QByteArray EncodeListReply(quint32 ack, const QList<TListEntry> &entries);

} // namespace TrackerDatagrams
