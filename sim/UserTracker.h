#pragma once

// The simulated PXO user tracker: answers login requests with login-accepted or login-retry,
// stats requests with a stats reply, and checks each acknowledgement against the reply it
// belongs to.

#include "sim/SimCounters.h"
#include "sim/TrackerDatagrams.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <optional>

struct TSimAccount
{
    QByteArray name;
    QByteArray password;
    std::optional<QByteArray> trackerId; // generated from the seed when not given
};

struct TUserTrackerConfig
{
    quint32 seed = 1;
    QList<TSimAccount> accounts; // without any, every login is accepted
    int ignoreLogins = 0;        // login requests left unanswered before the first answer
    bool silent = false;
};

class TUserTracker : public QObject
{
    Q_OBJECT
public:
    TUserTracker(const TUserTrackerConfig &config, TSimCounters &counters, QObject *parent = nullptr);

    bool Bind(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress Address() const { return m_socket.localAddress(); }
    quint16 Port() const { return m_socket.localPort(); }

    void SetSilent(bool silent) { m_config.silent = silent; }
    void IgnoreLogins(int count) { m_config.ignoreLogins = std::max(0, count); }
    void SetStats(const TrackerDatagrams::TUserStats &stats) { m_stats.insert(stats.displayName, stats); }
    int OpenAcks() const { return m_acks.OpenCount(); }

signals:
    void Datagram(const QJsonObject &event);

private:
    enum AckKind { LoginAck = 0, StatsAck = 1 };

    void ReadPending();
    void HandleLogin(const QByteArray &data, const QHostAddress &from, quint16 port);
    void HandleStats(const QByteArray &data, const QHostAddress &from, quint16 port);
    void HandleAck(const QByteArray &data, const QHostAddress &from, quint16 port);
    // Nothing when the login is refused.
    std::optional<QByteArray> TrackerIdFor(const QByteArray &name, const QByteArray &password) const;
    void Send(const QByteArray &bytes, const QHostAddress &to, quint16 port, const QString &kind);

    TUserTrackerConfig m_config;
    TSimCounters &m_counters;
    TAckLedger m_acks;
    QHash<QByteArray, TrackerDatagrams::TUserStats> m_stats;
    QUdpSocket m_socket;
};
