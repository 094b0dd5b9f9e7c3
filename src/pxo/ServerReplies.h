#pragma once

// Game server replies (little-endian numbers; bytes past the end of a datagram read as zero,
// and a datagram counts only up to 4096 bytes):
//   game info    01 1F ..  from @20: name, level file, description, game type as counted texts
//                (u8 L, L-1 characters, one skipped byte; L = 0 reads like L = 1), then
//                u16 level number, u16 players, u16 max players, u16 sequence, u16 x2 (unused),
//                u8 mode, u8 (unused), u8 dedicated (1 = yes), u8 difficulty
//   player list  01 73 ..  from @4: names, each ended by 00; an empty name or the end ends the list
//   level info   01 61 ..  from @4: texts, each u8 n and n + 1 bytes whose zero bytes are dropped
//   status       "\key\value\key\value..." up to the first zero byte

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace ServerReplies {
constexpr int MaxDatagram = 4096;
constexpr int GameInfoTextsAt = 20;
constexpr int ListAt = 4; // first player name, first level text

struct TGameInfo
{
    QString name;
    QString level;
    QString description;
    QString gameType;
    quint16 levelNumber = 0;
    quint16 players = 0;
    quint16 maxPlayers = 0;
    quint16 sequence = 0;
    quint8 modeValue = 0;
    bool dedicated = false;
    quint8 difficultyValue = 0;
    QString mode;       // the mode's name, with " d" for a dedicated server
    QString difficulty; // the difficulty's name
};

TGameInfo DecodeGameInfo(QByteArrayView datagram);
// "c/s pm" ... "p2p ml", or the value in decimal; " d" appended when dedicated.
QString ModeText(quint8 mode, bool dedicated);
// "Trainee" ... "Insane", or the value in decimal.
QString DifficultyText(quint8 difficulty);

// The names in reply order, trimmed of blanks; names of blanks alone are left out.
QStringList DecodePlayerList(QByteArrayView datagram);

// The status text, each field decoded on its own so that player names read the same as in
// the player list.
QString DecodeStatusText(QByteArrayView datagram);

// The first text that is not blank, trimmed; empty when the reply has none.
QString DecodeLevelAddress(QByteArrayView datagram);

// Server texts: UTF-8 when they are valid UTF-8, else Windows-1252.
QString DecodeText(QByteArrayView bytes);
} // namespace ServerReplies
