#pragma once

#include "net/PeerPackets.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

// The peer datagram socket on UDP 28045: answers probes (at most once a second per
// sender), reports probe replies and talk requests, and sends probes and talk requests.
class TPeerSocket : public QObject
{
    Q_OBJECT
public:
    explicit TPeerSocket(QObject *parent = nullptr);

    // False when the port is taken (a second copy of Orlo); ErrorString says why.
    bool Bind(const QHostAddress &address, quint16 port = PeerPackets::Port);
    bool IsBound() const { return m_socket.state() == QAbstractSocket::BoundState; }
    QString ErrorString() const { return m_socket.errorString(); }

    // Nothing is sent when the trimmed host is empty or the socket is not bound.
    void SendTo(const QString &host, const QByteArray &datagram);
    quint16 RemotePort() const { return m_remotePort; }
    void SetRemotePort(quint16 port) { m_remotePort = port; }

signals:
    void ProbeReplyReceived(const QString &host, quint32 build);
    void TalkRequestReceived(const QString &host, quint16 port, const QByteArray &alias);

private:
    void UDPDataReceived();
    bool ProbeReplyAllowed(const QString &host);

    QUdpSocket m_socket;
    quint16 m_remotePort = PeerPackets::Port;
    QElapsedTimer m_clock;
    QHash<QString, qint64> m_lastReply; // sender → time of our last probe reply
};
