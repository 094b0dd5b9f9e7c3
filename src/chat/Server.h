#pragma once

#include "chat/UDPQueue.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <memory>

class TfrmChat;
class TServer;

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

// What a game server needs from the form that lists it.
class TServerListForm
{
public:
    virtual ~TServerListForm() = default;
    // The text the game-version setting shows ("1.4", "1.3", ...).
    virtual QString ServersVersionText() const = 0;
    virtual bool IsPreferedServer(const QString &name) const = 0;
    virtual void SetInfoPort(quint16 port) = 0;
    // Shows the server's information window, or refreshes it.
    virtual void UpdateServerInfo(TServer *server) = 0;
};

// One game server of the server list.
class TServer
{
public:
    // Sends the first game-info request when a queue is given. ListForm may be null (no
    // version setting, no information window).
    TServer(TfrmChat *form, quint16 port, const QString &ip, TUDPQueue *queue, TServerListForm *listForm = nullptr);
    ~TServer();
    TServer(const TServer &) = delete;
    TServer &operator=(const TServer &) = delete;

    void RequestGameInfo();
    void RequestPlayers();
    void RequestStatus();
    void RequestLevelInfo();
    void ShowInfo();
    // Stores a game-info reply when it answers the latest request (Sequence = RequestSeq).
    void ApplyGameInfo(quint16 sequence, quint32 replyTick, const QString &name, const QString &level,
                       const QString &description, const QString &gameType, quint16 levelNumber, quint16 players,
                       quint16 maxPlayers);
    void ApplyStatusReply(QStringView text);
    void PurgePlayers();
    TServerUser *FindPlayer(qint32 index) const;
    bool IsSilent() const;
    void ApplyFilter(const TServerFilter &filter);
    bool IsPreferred() const;

    QString IP;
    quint16 Port = 0;
    QPointer<TUDPQueue> Queue;
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
    TfrmChat *Form = nullptr;
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
    TServerListForm *ListForm = nullptr;
};
