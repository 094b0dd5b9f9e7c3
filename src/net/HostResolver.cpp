#include "net/HostResolver.h"

#include "base/Log.h"

#include <QAbstractSocket>
#include <QMetaObject>
#include <QTimer>

#include <mutex>
#include <thread>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace {
// The system's resolver, called directly: Qt's blocking lookup also writes Qt's own cache,
// which a thread left behind must not touch while the program ends.
class TSystemLookup : public THostLookup
{
public:
    QList<QHostAddress> Lookup(const QString &host) override
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo *found = nullptr;
        QList<QHostAddress> addresses;
        if (::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0)
            return addresses;
        for (const addrinfo *a = found; a && addresses.size() < 16; a = a->ai_next) {
            const QHostAddress address(a->ai_addr);
            if (!address.isNull() && !addresses.contains(address))
                addresses.append(address);
        }
        ::freeaddrinfo(found);
        return addresses;
    }
};

// The first IPv4 address (what datagrams and the trackers use), else the first of any kind.
QHostAddress Preferred(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}
} // namespace

// What the lookup threads share with the resolver: they outlive it when the system holds them.
struct THostResolver::TShared
{
    std::mutex Mutex;
    THostResolver *Owner = nullptr;
    int Threads = 0;
};

THostResolver::THostResolver(std::shared_ptr<THostLookup> lookup, QObject *parent)
    : QObject(parent), m_lookup(lookup ? std::move(lookup) : std::make_shared<TSystemLookup>()),
      m_shared(std::make_shared<TShared>())
{
    m_shared->Owner = this;
    m_clock.start();
}

THostResolver::~THostResolver()
{
    // Threads still in the system's resolver answer to nobody from now on; nothing waits.
    std::lock_guard lock(m_shared->Mutex);
    m_shared->Owner = nullptr;
}

THostResolver &THostResolver::Shared()
{
    // Never destroyed: it may be used until the very end, and it holds nothing that must go.
    static auto *shared = new THostResolver;
    return *shared;
}

void THostResolver::SetLookup(std::shared_ptr<THostLookup> lookup)
{
    m_lookup = lookup ? std::move(lookup) : std::make_shared<TSystemLookup>();
}

void THostResolver::Clear()
{
    m_known.clear();
    m_last.clear();
}

THostResolver::TStatus THostResolver::Resolve(const QString &host, QHostAddress &address)
{
    const QString name = host.trimmed();
    const QHostAddress numeric(name);
    if (!numeric.isNull()) {
        address = numeric;
        return TStatus::Ok;
    }
    if (name.isEmpty())
        return TStatus::Failed;
    const auto found = m_known.constFind(name);
    if (found != m_known.cend() && found->Expires > m_clock.elapsed()) {
        address = found->Address;
        return address.isNull() ? TStatus::Failed : TStatus::Ok;
    }
    if (m_pending.contains(name))
        return TStatus::Pending;
    if (m_waiting.size() >= MaxWaiting) {
        Log::Dropped(lcNet(), name, QStringLiteral("too many names waiting to be looked up"));
        return TStatus::Failed;
    }
    m_pending.insert(name);
    m_waiting.append(name);
    StartWaiting();
    return TStatus::Pending;
}

void THostResolver::Lookup(const QString &host, const QObject *context, std::function<void(const QHostAddress &)> done)
{
    QHostAddress address;
    const TStatus status = Resolve(host, address);
    if (status == TStatus::Pending) {
        m_waiters[host.trimmed()].append({context, std::move(done)});
        return;
    }
    QMetaObject::invokeMethod(
        const_cast<QObject *>(context), [done = std::move(done), address] { done(address); }, Qt::QueuedConnection);
}

QHostAddress THostResolver::Known(const QString &host) const
{
    const QString name = host.trimmed();
    const QHostAddress numeric(name);
    return numeric.isNull() ? m_last.value(name) : numeric;
}

void THostResolver::StartWaiting()
{
    while (!m_waiting.isEmpty() && m_running.size() < MaxRunning) {
        {
            std::lock_guard lock(m_shared->Mutex);
            if (m_shared->Threads >= MaxThreads)
                return; // a thread that lets go starts the next
        }
        Start(m_waiting.takeFirst());
    }
}

void THostResolver::Start(const QString &host)
{
    const quint64 id = m_nextId++;
    m_running.insert(id, host);
    ++m_started;
    {
        std::lock_guard lock(m_shared->Mutex);
        ++m_shared->Threads;
    }
    QTimer::singleShot(m_timeoutMs, this, [this, id] { TimeOut(id); });
    std::thread([shared = m_shared, lookup = m_lookup, host, id] {
        const QList<QHostAddress> addresses = lookup->Lookup(host);
        std::lock_guard lock(shared->Mutex);
        --shared->Threads;
        if (THostResolver *owner = shared->Owner) {
            QMetaObject::invokeMethod(
                owner, [owner, id, host, addresses] { owner->Answer(id, host, addresses); }, Qt::QueuedConnection);
        }
    }).detach();
}

void THostResolver::Answer(quint64 id, const QString &host, const QList<QHostAddress> &addresses)
{
    const bool timedOut = !m_running.remove(id);
    const QHostAddress address = Preferred(addresses);
    // A late answer that found the host is still worth keeping.
    if (!timedOut || !address.isNull())
        Complete(host, address);
    StartWaiting();
}

void THostResolver::TimeOut(quint64 id)
{
    const auto it = m_running.find(id);
    if (it == m_running.end())
        return;
    const QString host = *it;
    m_running.erase(it);
    Log::Dropped(lcNet(), host, QStringLiteral("host lookup timed out"));
    Complete(host, QHostAddress());
    StartWaiting();
}

void THostResolver::Complete(const QString &host, const QHostAddress &address)
{
    if (m_known.size() >= MaxKept)
        m_known.clear();
    if (m_last.size() >= MaxKept)
        m_last.clear();
    m_known.insert(host, {address, m_clock.elapsed() + (address.isNull() ? FailedLifetimeMs : ResolvedLifetimeMs)});
    if (!address.isNull())
        m_last.insert(host, address);
    const bool wasPending = m_pending.remove(host);
    const QList<TWaiter> waiters = m_waiters.take(host);
    for (const TWaiter &waiter : waiters) {
        if (waiter.Context)
            waiter.Done(address);
    }
    if (wasPending)
        emit Finished(host, !address.isNull());
}

void ConnectResolved(QAbstractSocket &socket, const QString &host, quint16 port, std::function<bool()> wanted,
                     std::function<void()> notFound)
{
    const QHostAddress numeric(host.trimmed());
    if (!numeric.isNull()) {
        socket.connectToHost(numeric, port);
        return;
    }
    THostResolver::Shared().Lookup(
        host, &socket,
        [&socket, port, wanted = std::move(wanted), notFound = std::move(notFound)](const QHostAddress &address) {
            if (!wanted())
                return;
            if (address.isNull())
                notFound();
            else
                socket.connectToHost(address, port);
        });
}
