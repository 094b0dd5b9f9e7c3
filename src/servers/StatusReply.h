#pragma once

#include "servers/Server.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>

// Status reply of a game server, text of the form \key\value\key\value...
// Keys are read trimmed and in lower case:
//   gamever                       the game version
//   brightships, acccollisions,   the first character of the value
//   randpowerup
//   player_N                      the player whose name is the value gets number N
//   frags_N, deaths_N, team_N,    the value, for the player numbered N
//   ping_N
// Any other key is dropped alone. A key that cannot be applied (an empty value where a
// character is needed, no player numbered N) is dropped alone too, and its value is then
// read as the next key.
namespace StatusReply {

// What a status reply changes: the fields of one server.
struct TTarget
{
    QString &GameVersion;
    QChar &BrightShips;
    QChar &AccCollisions;
    QChar &RandPowerup;
    QList<TServerUser *> &PlayerList;
};

// Takes the next field off Text: leading backslashes go, then the text up to the next
// backslash (or the end) is the field.
QStringView NextField(QStringView &text);

TServerUser *FindPlayer(const QList<TServerUser *> &players, qint32 index);

void Apply(QStringView text, const TTarget &target);

} // namespace StatusReply
