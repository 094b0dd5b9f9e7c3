#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QtGlobal>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// A datagram receiver on its own thread, reading with plain system calls so that it
// keeps up with a fast sender while the test's own thread runs the event loop.
class TLoopbackReceiver
{
public:
    struct TDatagram
    {
        QByteArray Data;
        quint16 SenderPort = 0;
    };

    explicit TLoopbackReceiver(const char *address = "127.0.0.1", quint16 port = 0)
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        // A deep buffer, so that the receiver's scheduling never loses a datagram.
        int size = 16 * 1024 * 1024;
        if (::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &local.sin_addr);
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0) {
            socklen_t length = sizeof local;
            ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&local), &length);
            m_port = ntohs(local.sin_port);
        }
        m_thread = std::thread([this] { Run(); });
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
    void Run()
    {
        char buffer[65536];
        while (!m_stop.load()) {
            pollfd entry{m_socket, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0)
                continue;
            sockaddr_in sender{};
            socklen_t length = sizeof sender;
            const ssize_t size = ::recvfrom(m_socket, buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr *>(&sender), &length);
            if (size < 0)
                continue;
            QMutexLocker lock(&m_mutex);
            m_received.append({QByteArray(buffer, size), ntohs(sender.sin_port)});
        }
    }

    int m_socket = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable QMutex m_mutex;
    QList<TDatagram> m_received;
    std::thread m_thread;
};
