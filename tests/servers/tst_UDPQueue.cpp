// The datagram queue and its worker against a receiver on a real loopback socket.
#include "base/Tick.h"
#include "net/HostResolver.h"
#include "net/UNxSocket.h"
#include "servers/LoopbackReceiver.h"
#include "servers/Server.h"
#include "servers/UDPQueue.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <condition_variable>
#include <mutex>

namespace {
const QString Loopback = QStringLiteral("127.0.0.1");

QByteArray Numbered(quint32 number)
{
    QByteArray data(4, '\0');
    qToLittleEndian(number, data.data());
    return data;
}

QList<quint32> Numbers(const TLoopbackReceiver &receiver)
{
    QList<quint32> numbers;
    for (const auto &datagram : receiver.Received())
        numbers.append(datagram.Data.size() == 4 ? qFromLittleEndian<quint32>(datagram.Data.constData()) : ~0u);
    return numbers;
}

QList<quint32> Range(quint32 first, quint32 count)
{
    QList<quint32> numbers;
    for (quint32 i = 0; i < count; ++i)
        numbers.append(first + i);
    return numbers;
}

// "slow.test" answers 127.0.0.1 once the test lets it; any other name does not resolve.
class TSlowLookup : public THostLookup
{
public:
    QList<QHostAddress> Lookup(const QString &host) override
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_released; });
        return host == u"slow.test" ? QList<QHostAddress>{QHostAddress::LocalHost} : QList<QHostAddress>{};
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_released = false;
};
} // namespace

class tst_UDPQueue : public QObject
{
    Q_OBJECT

    std::unique_ptr<QUdpSocket> m_udp;
    std::unique_ptr<TUDPQueue> m_queue;
    std::unique_ptr<TLoopbackReceiver> m_receiver;

    bool Send(quint32 number, bool repeated = false)
    {
        return m_queue->Enqueue(TUDPQueue::KindDatagram, nullptr, Numbered(number), m_receiver->Port(), Loopback,
                                repeated);
    }

private slots:
    // Loopback datagrams never go through a proxy; asking the system for one starts a helper
    // thread that a thread checker cannot follow.
    void initTestCase() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }
    void init()
    {
        m_udp = std::make_unique<QUdpSocket>();
        QVERIFY(m_udp->bind(QHostAddress::LocalHost, 0));
        m_queue = std::make_unique<TUDPQueue>(m_udp.get(), nullptr);
        m_receiver = std::make_unique<TLoopbackReceiver>();
        QVERIFY(m_receiver->Port() != 0);
    }
    void cleanup()
    {
        m_queue.reset();
        m_receiver.reset();
        m_udp.reset();
    }

    // Bursts fed while the worker drains, and single packets each queued just as it runs out
    // of work (a lost wake-up strands them): all arrive once, in order, from the window's socket.
    void everyPacketOnceInOrder()
    {
        quint32 next = 0;
        while (next < 10000) {
            for (int i = 0; i < 250; ++i)
                QVERIFY(Send(next++));
            QCoreApplication::processEvents();
        }
        for (int i = 0; i < 300; ++i) {
            QVERIFY(Send(next++));
            QVERIFY2(QTest::qWaitFor([&] { return m_receiver->Count() == qsizetype(next); }, 5000),
                     qPrintable(QString::number(next)));
        }
        QCOMPARE(Numbers(*m_receiver), Range(0, next));
        QTRY_COMPARE(m_queue->SentCount(), next);
        QCOMPARE(m_queue->Count(), 0);
        QCOMPARE(m_queue->FailedCount(), 0u);
        for (const auto &datagram : m_receiver->Received())
            QCOMPARE(datagram.SenderPort, m_udp->localPort());
    }

    void skipped_data()
    {
        QTest::addColumn<quint8>("kind");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("zeroPort");
        QTest::newRow("empty host") << TUDPQueue::KindDatagram << QString() << false;
        QTest::newRow("blank host") << TUDPQueue::KindDatagram << QStringLiteral("  \t") << false;
        QTest::newRow("datagram to port 0") << TUDPQueue::KindDatagram << Loopback << true;
        QTest::newRow("unknown kind") << quint8(7) << Loopback << false;
        QTest::newRow("echo without pinger") << TUDPQueue::KindEcho << Loopback << false;
        QTest::newRow("name that does not resolve") << TUDPQueue::KindDatagram << "no-such-host.invalid" << false;
    }
    // A packet that cannot go is dropped without holding up the next one.
    void skipped()
    {
        QFETCH(quint8, kind);
        QFETCH(QString, host);
        QFETCH(bool, zeroPort);
        QVERIFY(m_queue->Enqueue(kind, nullptr, Numbered(1), zeroPort ? 0 : m_receiver->Port(), host));
        QVERIFY(Send(2));
        QTRY_COMPARE_WITH_TIMEOUT(m_queue->SentCount(), 2u, 20000);
        QTRY_COMPARE(Numbers(*m_receiver), QList<quint32>{2});
    }

    // A packet whose host is being looked up waits aside: an address goes past it, one name's
    // packets keep their order, and the queue goes without waiting for a lookup that hangs.
    void namesLookedUpAside()
    {
        auto lookup = std::make_shared<TSlowLookup>();
        THostResolver::Shared().Clear();
        THostResolver::Shared().SetLookup(lookup);
        QVERIFY(m_queue->SendDatagram(QStringLiteral("slow.test"), m_receiver->Port(), Numbered(1)));
        QVERIFY(Send(2));
        QVERIFY(m_queue->SendDatagram(QStringLiteral(" slow.test "), m_receiver->Port(), Numbered(3)));
        QTRY_COMPARE(Numbers(*m_receiver), QList<quint32>{2});
        QCOMPARE(m_queue->Count(), 2);
        lookup->Release();
        QTRY_COMPARE(Numbers(*m_receiver), (QList<quint32>{2, 1, 3}));

        auto hanging = std::make_shared<TSlowLookup>();
        THostResolver::Shared().SetLookup(hanging);
        QVERIFY(m_queue->SendDatagram(QStringLiteral("stuck.test"), m_receiver->Port(), Numbered(4)));
        QElapsedTimer clock;
        clock.start();
        m_queue.reset();
        QVERIFY(clock.elapsed() < 1000);
        hanging->Release();
        THostResolver::Shared().SetLookup(nullptr);
        THostResolver::Shared().Clear();
    }

    void dataLengthLimit()
    {
        const QByteArray largest(TUDPQueue::MaxData, 'x');
        QVERIFY(!m_queue->SendDatagram(Loopback, m_receiver->Port(), largest + 'y'));
        QCOMPARE(m_queue->DroppedCount(), 1u);
        QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), largest));
        QTRY_COMPARE(m_receiver->Count(), 1);
        QCOMPARE(m_receiver->Received().first().Data, largest);
    }

    // The owner's SentTick is taken when its packet leaves, not when it was queued; a
    // forgotten owner is named by no packet (it may be freed), the packets still go.
    void ownersToldAndForgotten()
    {
        TServer told(Loopback, 1);
        auto forgotten = std::make_unique<TServer>(Loopback, 1);
        told.AwaitingReply = false;
        m_queue->Pause();
        for (quint32 i = 0; i < 4; ++i)
            m_queue->Enqueue(TUDPQueue::KindDatagram, i % 2 ? &told : forgotten.get(), Numbered(i), m_receiver->Port(),
                             Loopback);
        m_queue->Forget(forgotten.get());
        forgotten.reset();
        QCOMPARE(m_queue->Peek()->Owner, nullptr);
        QTest::qWait(150);
        QVERIFY(!told.AwaitingReply);
        const quint32 resumed = TickCount();
        m_queue->Resume();
        QTRY_VERIFY(told.AwaitingReply);
        QVERIFY2(told.SentTick - resumed < 1000u, qPrintable(QString::number(told.SentTick - resumed)));
        QTRY_COMPARE(Numbers(*m_receiver), Range(0, 4));
    }

    // Past Limit the oldest repeated request makes room; with none left a new one is refused
    // and tracker datagrams still go in.
    void fullQueueDropsRepeatedRequestsFirst()
    {
        m_queue->Pause();
        for (quint32 i = 0; i < TUDPQueue::Limit; ++i)
            QVERIFY(Send(i, i % 2 == 0));
        QVERIFY(Send(100001));
        QCOMPARE(m_queue->Count(), TUDPQueue::Limit);
        QCOMPARE(qFromLittleEndian<quint32>(m_queue->Peek()->Data.constData()), 1u);
        for (quint32 i = 0; i < TUDPQueue::Limit / 2; ++i)
            QVERIFY(Send(200000 + i));
        QCOMPARE(m_queue->DroppedCount(), quint32(TUDPQueue::Limit / 2));
        QVERIFY(!Send(300000, true));
        QVERIFY(Send(300001));
        QCOMPARE(m_queue->Count(), TUDPQueue::Limit + 2);
        m_queue->Resume();
        QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), TUDPQueue::Limit + 2, 60000);
        const QList<quint32> numbers = Numbers(*m_receiver);
        for (quint32 i = 0; i < TUDPQueue::Limit / 2; ++i)
            QCOMPARE(numbers.at(i), 2 * i + 1);
        QCOMPARE(numbers.last(), 300001u);
    }

    // Paused, nothing leaves and the port is free for a game; resumed on the socket bound
    // again, the rest goes in order from the new port.
    void pauseReleasesThePort()
    {
        for (quint32 i = 0; i < 3000; ++i)
            Send(i);
        QTRY_VERIFY(m_receiver->Count() > 0);
        m_queue->Pause();
        const quint16 oldPort = m_udp->localPort();
        m_udp->close();
        QUdpSocket game;
        QVERIFY(game.bind(QHostAddress::LocalHost, oldPort));
        QTest::qWait(200);
        const qsizetype whilePaused = m_receiver->Count();
        QTest::qWait(200);
        QCOMPARE(m_receiver->Count(), whilePaused);
        game.close();
        QVERIFY(m_udp->bind(QHostAddress::LocalHost, 0));
        m_queue->Resume();
        QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 3000, 30000);
        QCOMPARE(Numbers(*m_receiver), Range(0, 3000));
        QCOMPARE(m_receiver->Received().last().SenderPort, m_udp->localPort());
    }

    // A queue goes within one send call, also in the middle of a burst, and its worker's last
    // request for a step does not outlive it.
    void destroyedMidBurstPromptly()
    {
        for (quint32 i = 0; i < 20000; ++i)
            Send(i);
        QTRY_VERIFY(m_receiver->Count() > 0);
        QElapsedTimer clock;
        clock.start();
        m_queue.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(m_receiver->Count() < 20000);
        QCoreApplication::processEvents();
    }

    void pingerMayGoFirst()
    {
        auto pinger = std::make_unique<TNxPing>(nullptr);
        TUDPQueue queue(m_udp.get(), pinger.get());
        queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
        pinger.reset();
        QVERIFY(!queue.CanPing());
        queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
        queue.SendDatagram(Loopback, m_receiver->Port(), Numbered(9));
        QTRY_COMPARE(Numbers(*m_receiver), QList<quint32>{9});
        QTRY_COMPARE(queue.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_UDPQueue)
#include "tst_UDPQueue.moc"
