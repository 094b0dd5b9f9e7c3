#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QUdpSocket;
class TNxPing;
class TUDPQueue;

// The datagram side of a chat window: one socket for game servers, trackers and user replies
// (bound to a free port, given up while a game runs), the ICMP pinger for user pings, and the
// queue that sends for both.
//
// The socket is read only from its readyRead, a bounded number of datagrams per turn. A user
// reply (05 01) or one of our echoes coming back gives a user's ping; every other datagram is
// handed on as it came.
class TDatagramEndpoint : public QObject
{
    Q_OBJECT
public:
    // What is read of one datagram.
    static constexpr qint64 MaxDatagram = 4096;

    explicit TDatagramEndpoint(QObject *parent = nullptr);
    // Stops the queue's worker first: it sends on the socket and the pinger.
    ~TDatagramEndpoint() override;

    QUdpSocket *Socket() const { return m_socket; }
    TNxPing *Pinger() const { return m_pinger; }
    TUDPQueue *Queue() const { return m_queue; }

    // The bound port, 0 while released.
    quint16 LocalPort() const;
    // Binds again (0: any free port); false when that failed.
    bool Bind(quint16 port);
    // Frees the port for a game: nothing is sent until Rebind.
    void Release();
    // Takes the port back, or any free one when it is taken meanwhile, and sends again; false
    // when no port could be bound (ErrorString says why).
    bool Rebind();
    bool IsReleased() const { return m_released; }
    QString ErrorString() const;

    // Handles Datagram as if it had arrived from Ip:Port just now.
    void Feed(const QByteArray &datagram, const QString &ip, quint16 port);
    // The tick count at which the datagram being handled arrived.
    quint32 ReplyTick() const { return m_replyTick; }

    // Queues an echo to Host that brings Nick back; false when none was queued (no host, no
    // ICMP on this system, the queue full).
    bool PingUser(const QString &nick, const QString &host);

signals:
    void DatagramReceived(const QByteArray &datagram, const QString &ip, quint16 port);
    // A user's ping: SentTick and ReplyTick give the time taken. From is the sender of a user
    // reply, empty for an echo.
    void UserPinged(const QString &nick, quint32 sentTick, quint32 replyTick, const QString &from);

private:
    void ReadSocket();
    void ReadPinger();

    QUdpSocket *m_socket;
    TNxPing *m_pinger;
    TUDPQueue *m_queue;
    quint16 m_port = 0; // the port to take back after a game
    bool m_released = false;
    quint32 m_replyTick = 0;
};
