#pragma once
// Replies of game servers (numbers little-endian; missing bytes read as zero):
//   game info    01 1F .. from offset 20: name, level, description, game type as counted
//                texts (L, L-1 characters, one skipped byte), u16 level number, players,
//                max players, sequence, 2 x u16 unread, u8 mode, u8 unread, u8 dedicated
//                (1 = yes), u8 difficulty
//   player list  01 73 .. from offset 4: names, each ended by a zero byte; an empty name ends
//   status       "\key\value..." up to the first zero byte
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace ServerReplies {

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
QStringList DecodePlayerList(QByteArrayView datagram);
QString DecodeStatus(QByteArrayView datagram);

} // namespace ServerReplies
