#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// A datagram receiver on 127.0.0.1 on its own thread, reading with plain system calls into a
// deep buffer, so that it keeps up with a fast sender while the test's thread runs the event
// loop and never loses a datagram to its own scheduling.
class TLoopbackReceiver
{
public:
    struct TDatagram
    {
        QByteArray Data;
        quint16 SenderPort = 0;
    };

    TLoopbackReceiver()
    {
        int size = 16 * 1024 * 1024;
        if (::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof local;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&local), length) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&local), &length) == 0)
            m_port = ntohs(local.sin_port);
        m_thread = std::thread([this] {
            char buffer[65536];
            for (pollfd entry{m_socket, POLLIN, 0}; !m_stop.load();) {
                sockaddr_in sender{};
                socklen_t size = sizeof sender;
                const ssize_t got = ::poll(&entry, 1, 20) <= 0
                                        ? -1
                                        : ::recvfrom(m_socket, buffer, sizeof buffer, MSG_DONTWAIT,
                                                     reinterpret_cast<sockaddr *>(&sender), &size);
                QMutexLocker lock(&m_mutex);
                if (got >= 0)
                    m_received.append({QByteArray(buffer, got), ntohs(sender.sin_port)});
            }
        });
    }
    ~TLoopbackReceiver()
    {
        m_stop.store(true);
        m_thread.join();
        ::close(m_socket);
    }
    TLoopbackReceiver(const TLoopbackReceiver &) = delete;
    TLoopbackReceiver &operator=(const TLoopbackReceiver &) = delete;

    quint16 Port() const { return m_port; }
    qsizetype Count() const
    {
        QMutexLocker lock(&m_mutex);
        return m_received.size();
    }
    QList<TDatagram> Received() const
    {
        QMutexLocker lock(&m_mutex);
        return m_received;
    }

private:
    int m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable QMutex m_mutex;
    QList<TDatagram> m_received;
    std::thread m_thread;
};
