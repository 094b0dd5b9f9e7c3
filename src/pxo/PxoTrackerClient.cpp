#include "pxo/PxoTrackerClient.h"

#include "base/Log.h"
#include "net/HostResolver.h"
#include "servers/UDPQueue.h"

#include <QTimer>

using namespace TrackerPackets;

TPxoTrackerClient::TPxoTrackerClient(TUDPQueue *queue, QObject *parent)
    : QObject(parent), TimerLoginRetry(new QTimer(this)), m_queue(queue)
{
    TimerLoginRetry->setObjectName(QStringLiteral("TimerLoginRetry"));
    TimerLoginRetry->setInterval(LoginRetryMs);
    connect(TimerLoginRetry, &QTimer::timeout, this, &TPxoTrackerClient::LoginAttempt);
}

void TPxoTrackerClient::Start(const QString &loginName, const QString &password)
{
    m_loginName = loginName;
    m_password = password;
    m_tries = 0;
    LoginAttempt();
}

void TPxoTrackerClient::Stop()
{
    TimerLoginRetry->stop();
    m_loggingIn = false;
}

void TPxoTrackerClient::LoginAttempt()
{
    m_loggingIn = true;
    TimerLoginRetry->start();
    ++m_tries;
    emit LoginAttempted(m_tries);
    if (m_tries >= MaxLoginTries) {
        Stop();
        emit LoginFailed();
        return;
    }
    if (m_trackerId.isEmpty()) {
        Send(UserTrackerHost, UserTrackerPort, LoginRequest(m_loginName.toUtf8(), m_password.toUtf8()));
    } else {
        Stop();
        emit LoggedIn(m_trackerId);
    }
    m_started = true;
    RequestGameList();
}

void TPxoTrackerClient::RequestGameList()
{
    Send(GameTrackerHost, GameTrackerPort, GameListRequest());
}

void TPxoTrackerClient::RequestStats(const QString &displayName, const QString &trackerId)
{
    Send(UserTrackerHost, UserTrackerPort, StatsRequest(displayName.toUtf8(), trackerId.toUtf8()));
}

void TPxoTrackerClient::Send(const QString &host, quint16 port, const QByteArray &bytes)
{
    if (m_queue)
        m_queue->SendDatagram(host, port, bytes);
}

bool TPxoTrackerClient::FromTracker(bool gameTracker, const QString &ip, quint16 port)
{
    // The tracker as its name resolved for our requests; nobody else may answer for it.
    const QHostAddress tracker = THostResolver::Shared().Known(gameTracker ? GameTrackerHost : UserTrackerHost);
    if (port == (gameTracker ? GameTrackerPort : UserTrackerPort) && !tracker.isNull() &&
        QHostAddress(ip).isEqual(tracker, QHostAddress::TolerantConversion))
        return true;
    ++m_refused;
    Log::Dropped(lcPxo(), ip + QLatin1Char(':') + QString::number(port),
                 gameTracker ? QStringLiteral("game list not from the game tracker")
                             : QStringLiteral("user tracker reply not from the user tracker"));
    return false;
}

bool TPxoTrackerClient::Feed(QByteArrayView datagram, const QString &ip, quint16 port)
{
    switch (DispatchKey(datagram)) {
    case GameListReply:
        if (FromTracker(true, ip, port)) {
            const TGameListReply reply = DecodeGameListReply(datagram);
            emit GameListReceived(reply.entries);
            Send(GameTrackerHost, GameListAckPort, GameListAcknowledgement(reply.ackValue));
        }
        return true;
    case LoginRetryReply:
        if (FromTracker(false, ip, port) && m_loggingIn)
            LoginAttempt();
        return true;
    case LoginAcceptedReply:
        if (FromTracker(false, ip, port))
            LoginAccepted(datagram);
        return true;
    case StatsReply:
        if (FromTracker(false, ip, port)) {
            const TStatsReply reply = DecodeStatsReply(datagram);
            emit StatsReceived(reply);
            Send(UserTrackerHost, UserTrackerPort, Acknowledgement(AckKind::Stats, reply.ackValue));
        }
        return true;
    default:
        return false;
    }
}

void TPxoTrackerClient::LoginAccepted(QByteArrayView datagram)
{
    const TLoginAccepted reply = DecodeLoginAccepted(datagram);
    Send(UserTrackerHost, UserTrackerPort, Acknowledgement(AckKind::Login, reply.ackValue));
    // Once the chat connects (or while no login runs) a late reply changes nothing.
    if (!m_loggingIn)
        return;
    if (!reply.valid) {
        emit InvalidLoginReply();
        return;
    }
    m_trackerId = QString::fromLatin1(reply.trackerId);
    Stop();
    emit LoggedIn(m_trackerId);
}
