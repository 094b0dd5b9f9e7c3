// Host lookups that may never end: the bounds on what runs at once, the time-out, the memory
// of failed names.
#include "net/HostResolver.h"

#include <QSignalSpy>
#include <QtTest>

#include <condition_variable>
#include <mutex>

namespace {
// Names that end in ".hang" never answer until the test lets them go; "a.b.c.d.test" gives
// that address; anything else does not resolve.
class TScriptedLookup : public THostLookup
{
public:
    QList<QHostAddress> Lookup(const QString &host) override
    {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        if (host.endsWith(QLatin1String(".hang")))
            m_release.wait(lock, [this] { return m_released; });
        if (host.endsWith(QLatin1String(".test")))
            return {QHostAddress(host.chopped(5))};
        return {};
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_release.notify_all();
    }
    int Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_release;
    bool m_released = false;
    int m_calls = 0;
};
} // namespace

class TestHostResolver : public QObject
{
    Q_OBJECT

private slots:
    void boundedTimedOutAndRemembered();
};

void TestHostResolver::boundedTimedOutAndRemembered()
{
    auto lookup = std::make_shared<TScriptedLookup>();
    THostResolver resolver(lookup);
    resolver.SetTimeoutMs(300);
    QSignalSpy finished(&resolver, &THostResolver::Finished);
    QHostAddress address;

    QCOMPARE(resolver.Resolve(QStringLiteral(" 10.1.2.3 "), address), THostResolver::TStatus::Ok);
    QCOMPARE(address, QHostAddress(QStringLiteral("10.1.2.3")));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(resolver.Resolve(QStringLiteral("p%1.hang").arg(i), address), THostResolver::TStatus::Pending);
    // Asking again for a name on its way joins its lookup.
    QCOMPARE(resolver.Resolve(QStringLiteral("p0.hang"), address), THostResolver::TStatus::Pending);
    QCOMPARE(resolver.Running(), THostResolver::MaxRunning);
    QCOMPARE(resolver.Waiting(), 10 - THostResolver::MaxRunning);

    // The hanging ones fail by the time-out; their threads stay taken, so at most MaxThreads
    // lookups were ever handed to the system.
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 10, 5000);
    for (const QList<QVariant> &signal : std::as_const(finished))
        QCOMPARE(signal.at(1).toBool(), false);
    QCOMPARE(resolver.Started(), quint64(10));
    QCOMPARE(resolver.Resolve(QStringLiteral("p3.hang"), address), THostResolver::TStatus::Failed);
    QCOMPARE(resolver.Started(), quint64(10)); // a name that just failed is not looked up again
    for (int i = 0; i < 10; ++i)
        resolver.Resolve(QStringLiteral("q%1.hang").arg(i), address);
    QTRY_COMPARE_WITH_TIMEOUT(resolver.Waiting(), 10 + 10 - THostResolver::MaxThreads, 5000);
    QCOMPARE(resolver.Started(), quint64(THostResolver::MaxThreads));

    // Once the system lets go, the rest run, and an answer is kept with its address.
    lookup->Release();
    QCOMPARE(resolver.Resolve(QStringLiteral("192.0.2.7.test"), address), THostResolver::TStatus::Pending);
    QTRY_COMPARE_WITH_TIMEOUT(resolver.Resolve(QStringLiteral("192.0.2.7.test"), address), THostResolver::TStatus::Ok,
                              5000);
    QCOMPARE(address, QHostAddress(QStringLiteral("192.0.2.7")));
    QCOMPARE(resolver.Known(QStringLiteral("192.0.2.7.test")), address);
    QTRY_COMPARE_WITH_TIMEOUT(resolver.Running() + resolver.Waiting(), 0, 5000);
    const int calls = lookup->Calls();
    QCOMPARE(resolver.Resolve(QStringLiteral("nowhere.example"), address), THostResolver::TStatus::Pending);
    QTRY_COMPARE(resolver.Resolve(QStringLiteral("nowhere.example"), address), THostResolver::TStatus::Failed);
    QCOMPARE(lookup->Calls(), calls + 1);

    // A callback never reaches a context that is gone, and a resolver that goes waits for nothing.
    auto *context = new QObject;
    bool called = false;
    resolver.Lookup(QStringLiteral("late.hang2.hang"), context, [&called](const QHostAddress &) { called = true; });
    delete context;
    QTest::qWait(400);
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestHostResolver)
#include "tst_HostResolver.moc"
