#pragma once

// A datagram socket of the test's own on loopback: sends, and waits (bounded, with events
// running so that peers on this thread answer) for the next datagram.
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

class TUdpPeer
{
public:
    explicit TUdpPeer(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0)
    {
        m_bound = m_socket.bind(address, port);
    }
    bool IsBound() const { return m_bound; }
    void Send(const QByteArray &bytes, const QString &address, quint16 port)
    {
        m_socket.writeDatagram(bytes, QHostAddress(address), port);
    }
    // The next datagram, or an invalid one after timeoutMs.
    QNetworkDatagram Receive(int timeoutMs = 5000)
    {
        if (!QTest::qWaitFor([this] { return m_socket.hasPendingDatagrams(); }, timeoutMs))
            return {};
        return m_socket.receiveDatagram();
    }
    QByteArray Ask(const QByteArray &bytes, const QString &address, quint16 port, int timeoutMs = 5000)
    {
        Send(bytes, address, port);
        return Receive(timeoutMs).data();
    }
    bool HasPending() { return m_socket.hasPendingDatagrams(); }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
};
