#include "sim/UserTracker.h"

#include "sim/SimSocket.h"
#include "sim/SimWorld.h"

#include <QNetworkDatagram>

using namespace TrackerDatagrams;

namespace {
const QString Me = QStringLiteral("user-tracker");
}

TUserTracker::TUserTracker(const TUserTrackerConfig &config, TSimCounters &counters, QObject *parent)
    : QObject(parent), m_config(config), m_counters(counters), m_acks(config.seed * 7919u + 1000u)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &TUserTracker::ReadPending);
}

bool TUserTracker::Bind(const QHostAddress &address, quint16 port, QString *error)
{
    return BindLoopbackUdp(m_socket, address, port, error);
}

void TUserTracker::ReadPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QByteArray data = datagram.data().left(SimMaxDatagram);
        const QHostAddress from = datagram.senderAddress();
        const quint16 port = quint16(datagram.senderPort());
        switch (Classify(data)) {
        case TKind::LoginRequest:
            HandleLogin(data, from, port);
            break;
        case TKind::StatsRequest:
            HandleStats(data, from, port);
            break;
        case TKind::UserAck:
            HandleAck(data, from, port);
            break;
        default:
            m_counters.Add("requests", "unknown");
            emit Datagram(DatagramEvent(Me, "unknown", from, port, {}));
        }
    }
}

void TUserTracker::HandleLogin(const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const TLoginRequest request = DecodeLoginRequest(data);
    m_counters.Add("requests", "login");
    if (!request.deviations.isEmpty())
        m_counters.Add("deviations", "login");
    QJsonObject event = DatagramEvent(Me, "login", from, port, request.deviations);
    event.insert("name", QString::fromLatin1(request.name));
    event.insert("password", QString::fromLatin1(request.password));
    if (m_config.silent) {
        event.insert("answer", "none (silent)");
        m_counters.Add("ignored", "login");
    } else if (m_config.ignoreLogins > 0) {
        --m_config.ignoreLogins;
        event.insert("answer", "none (ignored)");
        m_counters.Add("ignored", "login");
    } else if (const std::optional<QByteArray> id = TrackerIdFor(request.name, request.password)) {
        const quint32 ack = m_acks.Allocate(LoginAck);
        Send(EncodeLoginAccepted(ack, *id), from, port, "loginAccepted");
        event.insert("answer", "accepted");
        event.insert("ack", qint64(ack));
        event.insert("trackerId", QString::fromLatin1(id->toPercentEncoding()));
    } else {
        Send(EncodeLoginRetry(), from, port, "loginRetry");
        event.insert("answer", "retry");
    }
    emit Datagram(event);
}

void TUserTracker::HandleStats(const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const TStatsRequest request = DecodeStatsRequest(data);
    m_counters.Add("requests", "stats");
    if (!request.deviations.isEmpty())
        m_counters.Add("deviations", "stats");
    QJsonObject event = DatagramEvent(Me, "stats", from, port, request.deviations);
    event.insert("displayName", QString::fromLatin1(request.displayName));
    event.insert("trackerId", QString::fromLatin1(request.trackerId));
    if (m_config.silent) {
        event.insert("answer", "none (silent)");
        m_counters.Add("ignored", "stats");
    } else {
        TUserStats stats = m_stats.contains(request.displayName) ? m_stats.value(request.displayName)
                                                                 : MakeUserStats(m_config.seed, request.displayName);
        stats.displayName = request.displayName;
        const quint32 ack = m_acks.Allocate(StatsAck);
        Send(EncodeStatsReply(ack, stats), from, port, "stats");
        event.insert("answer", "stats");
        event.insert("ack", qint64(ack));
    }
    emit Datagram(event);
}

void TUserTracker::HandleAck(const QByteArray &data, const QHostAddress &from, quint16 port)
{
    const TUserAck ack = DecodeUserAck(data);
    m_counters.Add("requests", "userAck");
    if (!ack.deviations.isEmpty())
        m_counters.Add("deviations", "userAck");
    const int kind = ack.forReply == TUserAck::TFor::Login   ? LoginAck
                     : ack.forReply == TUserAck::TFor::Stats ? StatsAck
                                                             : -1;
    QJsonObject event = DatagramEvent(Me, "ack", from, port, ack.deviations);
    event.insert("ack", qint64(ack.value));
    switch (m_acks.Take(ack.value, kind)) {
    case TAckLedger::TResult::Matched:
        m_counters.Add("acks", kind == LoginAck ? "login" : "stats");
        event.insert("result", kind == LoginAck ? "login" : "stats");
        break;
    case TAckLedger::TResult::WrongKind:
        m_counters.Add("acks", "wrongKind");
        event.insert("result", "wrongKind");
        break;
    case TAckLedger::TResult::Unknown:
        m_counters.Add("acks", "unmatched");
        event.insert("result", "unmatched");
        break;
    }
    emit Datagram(event);
}

std::optional<QByteArray> TUserTracker::TrackerIdFor(const QByteArray &name, const QByteArray &password) const
{
    if (m_config.accounts.isEmpty())
        return MakeTrackerId(m_config.seed, name);
    // The request carries at most 33 bytes of a name and 27 of a password; compare what fits.
    for (const TSimAccount &account : m_config.accounts) {
        if (account.name.left(NameBytes) == name && account.password.left(PasswordBytes) == password)
            return account.trackerId.value_or(MakeTrackerId(m_config.seed, name));
    }
    return std::nullopt;
}

void TUserTracker::Send(const QByteArray &bytes, const QHostAddress &to, quint16 port, const QString &kind)
{
    if (m_socket.writeDatagram(bytes, to, port) == bytes.size())
        m_counters.Add("replies", kind);
    else
        m_counters.Add("replies", "failed");
}
