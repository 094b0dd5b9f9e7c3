#pragma once

#include "servers/ServerReplies.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

class TServerList;

// One player of a game server, as the status reply lists them.
class TServerUser
{
public:
    qint32 Index = 0; // the player number used by the status reply's keys
    bool Stale = false;
    QString Name;
    QString Team;
    QString PlayerPing;
    QString Frags;
    QString Deaths;
};

// The filter settings a server list is shown with.
struct TServerFilter
{
    qint64 MaxPing = 2000;
    QStringList GameTypes; // matched ignoring case
    QStringList Modes;
    QStringList Levels;
    bool HideFull = false;
};

// One game server of a server list: what its replies told, and the requests that ask it.
// Requests go out through the list's queue; a server without a list sends nothing.
class TServer
{
public:
    // Sends the first game-info request when the list has a queue.
    TServer(const QString &ip, quint16 port, TServerList *list = nullptr);
    ~TServer();
    TServer(const TServer &) = delete;
    TServer &operator=(const TServer &) = delete;

    void RequestGameInfo();
    void RequestPlayers();
    void RequestStatus();
    void RequestLevelInfo();
    // A game-info reply. Mode, Dedicated and Difficulty are taken from every reply, the rest
    // and Ping (the reply tick less SentTick) only from the answer to the latest request.
    void ApplyGameInfo(const ServerReplies::TGameInfo &info, quint32 replyTick);
    // A player-list reply: players it does not name go, new names join (trimmed, blank ones
    // skipped), and the status queries count from 0 again.
    void ApplyPlayerList(const QStringList &names);
    void ApplyStatusReply(QStringView text);
    void PurgePlayers();
    TServerUser *FindPlayer(qint32 index) const;
    bool IsSilent() const;
    void ApplyFilter(const TServerFilter &filter);
    // Marked for auto-join and a slot is free.
    bool AutoJoinReady() const { return AutoJoin && Players < MaxPlayers; }

    TServerList *const List;
    QString IP;
    quint16 Port = 0;
    quint16 RequestSeq = 0;
    quint16 AnsweredSeq = 0;
    QString Name;
    QString Mode;
    QString Level;
    QString Description;
    QString GameType;
    quint16 LevelNumber = 0;
    quint16 Players = 0;
    quint16 MaxPlayers = 0;
    quint32 Ping = 0;
    quint32 SentTick = 0;
    QString Difficulty;
    QString GameVersion;
    bool LevelPresent = true;
    QChar BrightShips;
    QChar AccCollisions;
    QChar RandPowerup;
    quint8 PingState = 0; // 0 idle, 1 waiting, 2 pinged
    bool Dedicated = false;
    bool Visible = true;
    QList<TServerUser *> PlayerList; // owned
    bool InfoRequested = false;
    // "Download level" was asked for and its reply has not come yet.
    bool LevelRequested = false;
    bool AwaitingReply = true;
    bool AutoJoin = false;
    bool FilteredOut = false;
    qint32 StatusQueries = 0;
};
