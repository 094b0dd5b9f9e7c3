#pragma once

#include <QString>
#include <QtGlobal>

// Texts of the player statistics window, from the values the user tracker and the peers give.
namespace PlayerStats {
struct TRank
{
    quint32 from;
    quint32 to;
    const char *name;
};
// Searched from the first row; both ends of a range belong to it.
constexpr TRank RankTable[] = {
    {0, 599, "Cadet"},         {600, 899, "Ensign"},     {900, 1199, "Lieutenant"}, {1200, 1499, "Lt. Commander"},
    {1500, 1799, "Commander"}, {1800, 2099, "Captain"},  {2100, 2399, "Commodore"}, {2400, 2599, "Rear Admiral"},
    {2600, 2999, "Admiral"},   {3000, 99999, "Demigod"}, {100000, 1000000, "God"},
};

// "750 Ensign, Lieutenant at 900": the rating, its rank, the next rank and where it starts.
QString RankText(quint16 rating);
// Kills in percent of kills, deaths and self destructs, or "Unknown" when all are 0.
QString EfficiencyText(quint32 kills, quint32 deaths, quint32 suicides);
// Milliseconds, or "Unknown" when no ping was measured.
QString PingText(quint32 pingTime);
// "Orlo (build: 38)", or "Unknown" when the peer never answered a probe.
QString ClientText(quint32 clientBuild);
} // namespace PlayerStats
