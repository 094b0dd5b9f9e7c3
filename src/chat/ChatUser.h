#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QtGlobal>

#include <optional>

class TfrmChat;
class TUDPQueue;
class TNxPing;

// One user of the chat network, shared by every tab that lists the user. Owned by the
// form's KnownUsers, which says when one goes (UserRemoved).
class TUser
{
public:
    TUser(TfrmChat *form, const QString &nick, TUDPQueue *queue = nullptr, TNxPing *pinger = nullptr);
    ~TUser();
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
    TfrmChat *Form = nullptr;
    QString DisplayName;
    bool PingPending = false;
    bool InfoRequested = false;
    quint32 ClientBuild = 0;

    void SetNick(const QString &nick);
    // Stores the host and, while the first ping is still due, has the form ping the user.
    void SetHost(const QString &host);
    void RequestInfo(bool open);
    bool IsFriend() const;
    void SetPingResult(quint32 sentTick, quint32 now);
    bool Ignored() const { return IgnoreState == 1; }
};

// One row of the channel list.
class TChannel
{
public:
    TChannel(const QString &name, qint32 users, const QString &topic);

    QString Name;
    qint32 Users = 0;
    QString Topic;

    // The collation key of Name, made once: the list is kept in locale order.
    const QCollatorSortKey &SortKey() const;

private:
    mutable std::optional<QCollatorSortKey> m_sortKey;
};

// The locale's case-sensitive order of names, used for users and channels alike.
int CompareNames(const QString &a, const QString &b);
