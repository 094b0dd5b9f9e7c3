#pragma once

#include <QString>
#include <QtGlobal>

// The server list's order and colours, as pure functions of what a row shows.
namespace ServerListRules {

enum Column { ColName, ColMode, ColGameType, ColLevel, ColDescription, ColNumber, ColPlayers, ColPing, ColumnCount };

// What the rules need of one row.
struct TRow
{
    QString Cells[ColumnCount]; // as shown; Cells[ColName] is the caption
    bool Preferred = false;
    bool Dedicated = false;
};

// True when A goes before B with the list sorted by Column: preferred servers first,
// then the column's rule (dedicated first, numbers ascending, players descending, text
// ignoring case), the caption for column 0.
bool LessThan(const TRow &a, const TRow &b, int column);

// A decimal number, or 0 for anything else.
qint64 NumberOf(const QString &text);

enum class TColour { Black, Green, Blue, Purple, Red, Grey };

TColour CaptionColour(bool autoJoin, bool preferred);
TColour ModeColour(bool dedicated);
TColour LevelColour(bool levelPresent);
TColour PlayersColour(quint16 players, quint16 maxPlayers);
// Thresholds as set (signed; a negative one never matches).
TColour PingColour(quint32 ping, qint32 limit1, qint32 limit2, qint32 limit3, qint32 limit4);

// How many servers a serialized ping starts at once: max(3, servers div 5).
int SerialPingStarts(int servers);

} // namespace ServerListRules
