#pragma once

// What the simulated network serves: servers, their players and the users' statistics, all
// generated from one seed so that a run can be repeated. A server's values depend only on the
// seed and its index, so adding servers later leaves the earlier ones as they were.

#include "sim/ServerDatagrams.h"
#include "sim/TrackerDatagrams.h"

#include <QByteArray>
#include <QList>

constexpr int MaxSimPlayers = 64;

struct TSimPlayer
{
    QByteArray name;
    int frags = 0;
    int deaths = 0;
    int team = 0;
    int ping = 0;
};

struct TSimServerInfo
{
    ServerDatagrams::TGameInfo info; // info.players follows players.size()
    QByteArray gameVersion;
    char brightShips = '0';
    char accCollisions = '0';
    char randPowerup = '0';
    QList<TSimPlayer> players;
};

TSimServerInfo MakeServerInfo(quint32 seed, int index);
// count players with names unique on the server, each name at most 19 bytes.
QList<TSimPlayer> MakePlayers(quint32 seed, int index, int count);
TrackerDatagrams::TUserStats MakeUserStats(quint32 seed, const QByteArray &displayName);
// Ten decimal digits.
QByteArray MakeTrackerId(quint32 seed, const QByteArray &loginName);

ServerDatagrams::TStatus StatusOf(const TSimServerInfo &server);
QList<QByteArray> PlayerNamesOf(const TSimServerInfo &server);
