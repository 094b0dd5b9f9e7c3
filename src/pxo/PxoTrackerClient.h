#pragma once

#include "pxo/TrackerPackets.h"
#include "servers/UDPQueue.h"

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;

// The PXO trackers of one lobby. Start logs in: an attempt every 7 s until the user tracker
// accepts, and the tenth gives up; every attempt also asks the game tracker for its list. Feed takes the trackers'
// replies, acknowledges them and says in signals what they brought. A reply counts only when it comes from the
// tracker's address (as its name resolved for our requests) and port.
//
//   user tracker:  login request → login retry: the next attempt at once
//                                → login accepted → acknowledgement (last byte 98)
//                  stats request → stats reply → acknowledgement (last byte 00)
//   game tracker:  game-list request → game-list reply → game-list acknowledgement, to the
//                  tracker's GameListAckPort
// The byte layouts are in TrackerPackets.h. Everything goes out through the queue.
class TPxoTrackerClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxLoginTries = 10;
    static constexpr int LoginRetryMs = 7000;

    explicit TPxoTrackerClient(TUDPQueue *queue, QObject *parent = nullptr);

    QString UserTrackerHost;
    quint16 UserTrackerPort = 0;
    QString GameTrackerHost;
    quint16 GameTrackerPort = 0;
    // Game-list acknowledgements go to this port in both game variants, although Freespace
    // asks its game tracker on 3440.
    quint16 GameListAckPort = 3445;
    QTimer *const TimerLoginRetry;

    // Logs in with the attempts counted from 1 again. When the tracker id is known (from an
    // earlier login) the first attempt gives it at once.
    void Start(const QString &loginName, const QString &password);
    // No further attempt; a login-accepted reply is still acknowledged but logs nobody in.
    void Stop();
    void LoginAttempt();
    void RequestGameList();
    void RequestStats(const QString &displayName, const QString &trackerId);
    // A datagram from Ip:Port; false when it is no tracker reply.
    bool Feed(QByteArrayView datagram, const QString &ip, quint16 port);

    // Empty until a login-accepted reply brings it.
    QString TrackerId() const { return m_trackerId; }
    void SetTrackerId(const QString &trackerId) { m_trackerId = trackerId; }
    int LoginTries() const { return m_tries; }
    // An attempt was made (the lobby's serialized pings wait for it).
    bool LoginStarted() const { return m_started; }
    bool LoggingIn() const { return m_loggingIn; }
    // Replies dropped because they came from the wrong sender.
    quint32 RefusedReplies() const { return m_refused; }

signals:
    void LoginAttempted(int attempt);
    // The tracker id is known: the chat may connect.
    void LoggedIn(const QString &trackerId);
    // The last attempt went unanswered.
    void LoginFailed();
    // A login-accepted reply with an empty tracker id or a line break in it; the next attempt
    // asks again.
    void InvalidLoginReply();
    void StatsReceived(const TrackerPackets::TStatsReply &stats);
    void GameListReceived(const QList<TrackerPackets::TGameListEntry> &entries);

private:
    bool FromTracker(bool gameTracker, const QString &ip, quint16 port);
    void Send(const QString &host, quint16 port, const QByteArray &bytes);
    void LoginAccepted(QByteArrayView datagram);

    QPointer<TUDPQueue> m_queue;
    QString m_loginName;
    QString m_password;
    QString m_trackerId;
    int m_tries = 0;
    bool m_started = false;
    bool m_loggingIn = false;
    quint32 m_refused = 0;
};
