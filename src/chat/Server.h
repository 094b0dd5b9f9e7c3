#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

class TfrmChat;
class TUDPQueue;

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

// One game server of the server list.
class TServer
{
public:
    TServer(TfrmChat *form, quint16 port, const QString &ip, TUDPQueue *queue);
    ~TServer();
    TServer(const TServer &) = delete;
    TServer &operator=(const TServer &) = delete;

    QString IP;
    quint16 Port = 0;
    TUDPQueue *Queue = nullptr;
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
    bool AwaitingReply = true;
    bool AutoJoin = false;
    bool FilteredOut = false;
    qint32 StatusQueries = 0;
};
