#include "servers/UDPThread.h"

#include "net/UNxSocket.h"
#include "servers/UDPQueue.h"

#include <QMetaObject>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace {

// How long a full send buffer may hold up one attempt.
constexpr int WritableWaitMs = 10;

bool BufferFull()
{
#ifdef Q_OS_WIN
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAENOBUFS;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS;
#endif
}

void WaitWritable(qintptr handle)
{
#ifdef Q_OS_WIN
    WSAPOLLFD entry{SOCKET(handle), POLLWRNORM, 0};
    WSAPoll(&entry, 1, WritableWaitMs);
#else
    pollfd entry{int(handle), POLLOUT, 0};
    ::poll(&entry, 1, WritableWaitMs);
#endif
}

} // namespace

TUDPThread::TUDPThread(TUDPQueue *queue, TUDPShared &shared)
    : m_queue(queue), m_shared(shared), m_thread([this] { Run(); })
{
}

TUDPThread::~TUDPThread()
{
    {
        std::lock_guard lock(m_shared.Mutex);
        m_shared.Stop.store(true);
    }
    m_shared.Wake.notify_all();
    m_thread.join();
}

void TUDPThread::Run()
{
    std::unique_lock lock(m_shared.Mutex);
    for (;;) {
        m_shared.Wake.wait(lock, [this] { return m_shared.Stop.load() || m_shared.Busy; });
        if (m_shared.Stop.load())
            return;
        const QList<TSendItem> batch = std::exchange(m_shared.Batch, {});
        qsizetype done = 0;
        for (const TSendItem &item : batch) {
            // A pause ends the batch here; what is left is handed over again on resume.
            if (m_shared.Stop.load() || m_shared.Paused.load())
                break;
            ++done;
            if (item.Action == TSendItem::TAction::Skip)
                continue;
            // The handle and the pinger stay valid while Sending is set: whoever
            // closes them waits for Idle first.
            const qintptr handle = m_shared.UdpHandle;
            const int family = m_shared.UdpFamily;
            TNxPing *pinger = m_shared.Pinger;
            m_shared.Sending = true;
            lock.unlock();
            const bool sent = item.Action == TSendItem::TAction::Datagram
                                  ? handle != -1 && SendDatagram(item, handle, family)
                                  : pinger && SendEcho(item, pinger);
            lock.lock();
            m_shared.Sending = false;
            m_shared.Idle.notify_all();
            if (!sent)
                ++m_shared.Failed;
        }
        m_shared.Done = done;
        m_shared.Busy = false;
        if (m_shared.Stop.load())
            return;
        // The next synchronised step runs on the UI thread, where the list lives.
        lock.unlock();
        QMetaObject::invokeMethod(m_queue, &TUDPQueue::Step, Qt::QueuedConnection);
        lock.lock();
    }
}

bool TUDPThread::SendDatagram(const TSendItem &item, qintptr handle, int family)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        // A dual-stack socket reaches IPv4 peers through their mapped address.
        auto *peer = reinterpret_cast<sockaddr_in6 *>(&storage);
        peer->sin6_family = AF_INET6;
        peer->sin6_port = qToBigEndian(item.Port);
        peer->sin6_addr.s6_addr[10] = 0xFF;
        peer->sin6_addr.s6_addr[11] = 0xFF;
        qToBigEndian(item.Address, peer->sin6_addr.s6_addr + 12);
        length = sizeof(sockaddr_in6);
    } else {
        auto *peer = reinterpret_cast<sockaddr_in *>(&storage);
        peer->sin_family = AF_INET;
        peer->sin_port = qToBigEndian(item.Port);
        peer->sin_addr.s_addr = qToBigEndian(item.Address);
        length = sizeof(sockaddr_in);
    }
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        if (attempt > 0 && GiveUp())
            return false;
#ifdef Q_OS_WIN
        const auto sent = ::sendto(SOCKET(handle), item.Data.constData(), int(item.Data.size()), 0,
                                   reinterpret_cast<const sockaddr *>(&storage), int(length));
#else
        const auto sent = ::sendto(int(handle), item.Data.constData(), size_t(item.Data.size()), 0,
                                   reinterpret_cast<const sockaddr *>(&storage), length);
#endif
        if (sent == item.Data.size())
            return true;
        if (BufferFull())
            WaitWritable(handle);
    }
    return false;
}

bool TUDPThread::SendEcho(const TSendItem &item, TNxPing *pinger)
{
    // A peer that cannot be chosen is no reason to send to the previous one.
    if (!pinger->SetRemoteIP(item.AddressText))
        return false;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        if (attempt > 0 && GiveUp())
            return false;
        if (pinger->SendEcho(item.Data))
            return true;
    }
    return false;
}
