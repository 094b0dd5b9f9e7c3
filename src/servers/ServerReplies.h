#pragma once
// Replies of game servers (numbers little-endian; missing bytes read as zero, and a reply
// counts only up to 4096 bytes):
//   game info    01 1F .. from offset 20: name, level, description, game type as counted
//                texts (L, L-1 characters, one skipped byte; L = 0 reads as 1), u16 level
//                number, players, max players, sequence, 2 x u16 unread, u8 mode, u8 unread,
//                u8 dedicated (1 = yes), u8 difficulty
//   player list  01 73 .. from offset 4: names, each ended by a zero byte; an empty name ends
//   level info   01 61 .. from offset 4: texts, each u8 n and n + 1 bytes whose zero bytes
//                are dropped; the first that is not blank is the level's address
//   status       "\key\value..." up to the first zero byte
// Texts are UTF-8 when valid, else Windows-1252, each decoded on its own.
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace ServerReplies {

constexpr qsizetype MaxReply = 4096;

enum class TKind { None, GameInfo, PlayerList, LevelAddress, Status };
// The kind by the first two bytes (a status reply by its first byte "\").
TKind Classify(QByteArrayView datagram);

struct TGameInfo
{
    QString Name;
    QString Level;
    QString Description;
    QString GameType;
    quint16 LevelNumber = 0;
    quint16 Players = 0;
    quint16 MaxPlayers = 0;
    quint16 Sequence = 0;
    QString Mode; // with " d" when dedicated
    bool Dedicated = false;
    QString Difficulty;
};

TGameInfo DecodeGameInfo(QByteArrayView datagram);
QString ModeName(quint8 value);
QString DifficultyName(quint8 value);
// The names as sent; trimming them and skipping blank ones is the caller's.
QStringList DecodePlayerList(QByteArrayView datagram);
// Each field is decoded on its own, so that player names read as in the player list.
QString DecodeStatus(QByteArrayView datagram);
// The address trimmed, or an empty text when the reply holds none.
QString DecodeLevelAddress(QByteArrayView datagram);

} // namespace ServerReplies
