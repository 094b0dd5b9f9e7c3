#pragma once

#include <QString>
#include <QtGlobal>

class TIrcSession;
class TNxPing;
class TUDPQueue;

// One user of the chat network, shared by every conversation that lists the user. Owned by
// the session's KnownUsers, which says when one goes (UserRemoved).
class TUser
{
public:
    TUser(TIrcSession *form, const QString &nick, TUDPQueue *queue = nullptr, TNxPing *pinger = nullptr);
    TUser(const TUser &) = delete;
    TUser &operator=(const TUser &) = delete;

    QString Nick;
    QString WhoisName;
    QString Host;
    QString TrackerId;
    quint16 Rating = 0;
    quint32 Kills = 0;
    quint32 Deaths = 0;
    quint32 Suicides = 0;
    quint32 MinutesInGame = 0;
    qint32 IgnoreState = 0; // 1 ignored, -1 explicitly not, 0 never set
    TUDPQueue *Queue = nullptr;
    TNxPing *Pinger = nullptr;
    quint32 PingTime = 0;
    TIrcSession *Form = nullptr; // the session that owns the user
    QString DisplayName;
    bool PingPending = false;
    bool InfoRequested = false;
    quint32 ClientBuild = 0;

    void SetNick(const QString &nick);
    // Stores the host; while the first ping is still due the session says the host is known.
    void SetHost(const QString &host);
    // Marks the user's information as asked for; the session tells its windows.
    void RequestInfo(bool open);
    bool IsFriend() const;
    void SetPingResult(quint32 sentTick, quint32 now);
    bool Ignored() const { return IgnoreState == 1; }
};
