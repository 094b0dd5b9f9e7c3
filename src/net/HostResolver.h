#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// The blocking lookup of one host name, run on a thread of its own. It may take as long as
// the system's resolver likes, or never return.
class THostLookup
{
public:
    virtual ~THostLookup() = default;
    // The host's addresses; empty when it does not resolve.
    virtual QList<QHostAddress> Lookup(const QString &host) = 0;
};

// Looks host names up without ever holding up the window or the end of the program.
//
// Qt's own lookups run in a thread pool that the application waits for when it goes, so a
// name server that never answers would keep a quitting Orlo alive for the resolver's whole
// time-out. Here every lookup runs on a detached thread of its own: a thread still in the
// system's resolver is simply left behind, and its late answer reaches nobody.
//
// Bounds: at most MaxRunning lookups at once, the rest wait in order (at most MaxWaiting);
// a lookup that takes longer than the time-out (DefaultTimeoutMs) counts as failed, but its thread keeps one of
// MaxThreads until the system lets it go. A name that failed is not looked up again for
// FailedLifetimeMs; one that resolved is kept for ResolvedLifetimeMs.
class THostResolver : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRunning = 4;
    static constexpr int MaxThreads = 16;
    static constexpr int MaxWaiting = 4096;
    static constexpr int DefaultTimeoutMs = 5000;
    static constexpr qint64 ResolvedLifetimeMs = 5 * 60 * 1000;
    static constexpr qint64 FailedLifetimeMs = 5 * 60 * 1000;
    static constexpr int MaxKept = 4096;

    explicit THostResolver(std::shared_ptr<THostLookup> lookup = nullptr, QObject *parent = nullptr);
    ~THostResolver() override;

    // The resolver the program shares, made on the first call (on the window's thread).
    static THostResolver &Shared();
    // The lookup Shared() uses; tests put a stand-in here. Null: the system's.
    void SetLookup(std::shared_ptr<THostLookup> lookup);
    // Forgets every name (not the lookups still running).
    void Clear();
    void SetTimeoutMs(int ms) { m_timeoutMs = ms; }

    enum class TStatus { Ok, Failed, Pending };
    // A dotted IPv4 address as it is; a name from what is known, else its lookup is started
    // (or joined) and Pending returned: Finished follows. Address is set on Ok.
    TStatus Resolve(const QString &host, QHostAddress &address);
    // Calls Done once with the host's address (null when it does not resolve), from the event
    // loop, never after Context is gone.
    void Lookup(const QString &host, const QObject *context, std::function<void(const QHostAddress &)> done);
    // The address Host resolved to last, also after that answer expired; null when none.
    QHostAddress Known(const QString &host) const;

    int Running() const { return int(m_running.size()); }
    int Waiting() const { return int(m_waiting.size()); }
    // Lookups handed to the system so far.
    quint64 Started() const { return m_started; }

signals:
    void Finished(const QString &host, bool ok);

private:
    struct TEntry
    {
        QHostAddress Address; // null: failed
        qint64 Expires = 0;
    };
    struct TWaiter
    {
        QPointer<const QObject> Context;
        std::function<void(const QHostAddress &)> Done;
    };
    struct TShared;

    void StartWaiting();
    void Start(const QString &host);
    void Answer(quint64 id, const QString &host, const QList<QHostAddress> &addresses);
    void TimeOut(quint64 id);
    void Complete(const QString &host, const QHostAddress &address);

    std::shared_ptr<THostLookup> m_lookup;
    std::shared_ptr<TShared> m_shared;
    QHash<QString, TEntry> m_known;
    QHash<QString, QHostAddress> m_last;
    QHash<quint64, QString> m_running; // lookup id → name
    QList<QString> m_waiting;
    QSet<QString> m_pending; // names running or waiting
    QHash<QString, QList<TWaiter>> m_waiters;
    int m_timeoutMs = DefaultTimeoutMs;
    quint64 m_nextId = 1;
    quint64 m_started = 0;
    QElapsedTimer m_clock;
};

class QAbstractSocket;

// Connects Socket to Host:Port, the name looked up by the shared resolver (an address at once).
// Once the lookup is done, Wanted tells whether this attempt still stands; NotFound runs when
// the name does not resolve. Nothing runs after the socket is gone.
void ConnectResolved(QAbstractSocket &socket, const QString &host, quint16 port, std::function<bool()> wanted,
                     std::function<void()> notFound);
