#pragma once

// Game server datagrams as a simulated server reads and writes them (little-endian):
//   game-info request    01 29 0B 00  u16 seq  u32 version  zero[8]                         18 bytes
//   player-list request  01 72 03 00                                                          4 bytes
//   level request        01 60 03 00                                                          4 bytes
//   status request       "\status\" 00 (to the query port, UDP 20142)                          9 bytes
//   game-info reply      01 1F  u16 length-1  zero[16], then name, level file, description and
//                        game type as counted texts (u8 L = characters + 1, the characters, 00),
//                        u16 level number  u16 players  u16 max players  u16 seq  u16 0  u16 0
//                        u8 mode  u8 0  u8 dedicated (1 = yes)  u8 difficulty
//   player-list reply    01 73  u16 length-1, then each name ended by 00, then one more 00
//   level reply          01 61  u16 length-1, then texts: u8 n, n characters, 00
//   status reply         \key\value\key\value... with no terminating zero

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QStringList>

namespace ServerDatagrams {

constexpr int GameInfoRequestSize = 18;
constexpr int ShortRequestSize = 4;
constexpr int StatusRequestSize = 9;
constexpr int GameInfoTextsOffset = 20;
constexpr int ListOffset = 4;      // first name of a player list, first text of a level reply
constexpr int MaxTextLength = 254; // a counted text's length byte also counts the zero
constexpr int MaxLevelText = 255;
constexpr int MaxDatagram = 4096;
constexpr char StatusText[] = "\\status\\";

enum class TKind { Unknown, GameInfo, PlayerList, Level, Status };

TKind Classify(QByteArrayView datagram);

// Decoders read what they can and list each place where the datagram differs from its layout.
struct TGameInfoRequest
{
    quint16 sequence = 0;
    quint32 version = 0;
    QStringList deviations;
};
TGameInfoRequest DecodeGameInfoRequest(QByteArrayView datagram);
// Player-list, level and status requests carry no field: only their deviations are of interest.
QStringList CheckShortRequest(QByteArrayView datagram, TKind kind);

struct TGameInfo
{
    QByteArray name;
    QByteArray level;
    QByteArray description;
    QByteArray gameType;
    quint16 levelNumber = 0;
    quint16 players = 0;
    quint16 maxPlayers = 0;
    quint8 mode = 0;
    bool dedicated = false;
    quint8 difficulty = 0;
};

// Texts longer than 254 bytes are cut.
QByteArray EncodeGameInfoReply(const TGameInfo &info, quint16 sequence);
// Empty names would end the list early, so they are left out; the datagram is cut to 4096 bytes.
QByteArray EncodePlayerListReply(const QList<QByteArray> &names);
// Each text cut to 255 bytes; an empty list gives one empty text ("no address").
QByteArray EncodeLevelReply(const QList<QByteArray> &texts);

struct TStatusPlayer
{
    QByteArray name;
    int frags = 0;
    int deaths = 0;
    int team = 0;
    int ping = 0;
};

struct TStatus
{
    QByteArray gameVersion;
    char brightShips = '0';
    char accCollisions = '0';
    char randPowerup = '0';
    QList<TStatusPlayer> players;               // numbered 0, 1, ... in the reply
    QList<QPair<QByteArray, QByteArray>> extra; // further keys, written first
    QByteArray trailer;                         // written last as it stands
};
// Backslashes and zero bytes inside values would break the format: they become '_'.
QByteArray EncodeStatusReply(const TStatus &status);

} // namespace ServerDatagrams
