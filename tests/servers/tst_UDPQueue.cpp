// The datagram queue and its worker against a receiver on a real loopback socket; pausing
// around a game is tested with the endpoint.
#include "base/Tick.h"
#include "net/HostResolver.h"
#include "net/UNxSocket.h"
#include "servers/LoopbackReceiver.h"
#include "servers/Server.h"
#include "servers/UDPQueue.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTest>
#include <QUdpSocket>

#include <future>

namespace {
const QString Loopback = QStringLiteral("127.0.0.1");

// What arrived, and what should have: datagrams that carry their number as text.
QByteArrayList Numbers(const TLoopbackReceiver &receiver)
{
    QByteArrayList numbers;
    for (const auto &datagram : receiver.Received())
        numbers << datagram.Data;
    return numbers;
}
QByteArrayList Range(quint32 first, quint32 count)
{
    QByteArrayList list;
    for (quint32 i = 0; i < count; ++i)
        list << QByteArray::number(first + i);
    return list;
}

// "slow.test" answers 127.0.0.1 once the test lets it; any other name does not resolve.
struct TSlowLookup : THostLookup
{
    std::promise<void> Release;
    std::shared_future<void> Released = Release.get_future().share();
    QList<QHostAddress> Lookup(const QString &host) override
    {
        Released.wait();
        return host == u"slow.test" ? QList<QHostAddress>{QHostAddress::LocalHost} : QList<QHostAddress>{};
    }
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
        return m_queue->Enqueue(TUDPQueue::KindDatagram, nullptr, QByteArray::number(number), m_receiver->Port(),
                                Loopback, repeated);
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
        QCOMPARE(m_queue->FailedCount(), 0u);
        for (const auto &datagram : m_receiver->Received())
            QCOMPARE(datagram.SenderPort, m_udp->localPort());
    }

    // A packet that cannot go is dropped (or refused, when too long) without holding up the
    // next one.
    void skipped_data()
    {
        QTest::addColumn<quint8>("kind");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("zeroPort");
        QTest::newRow("empty host") << TUDPQueue::KindDatagram << QString() << 4 << false;
        QTest::newRow("blank host") << TUDPQueue::KindDatagram << QStringLiteral("  \t") << 4 << false;
        QTest::newRow("datagram to port 0") << TUDPQueue::KindDatagram << Loopback << 4 << true;
        QTest::newRow("unknown kind") << quint8(7) << Loopback << 4 << false;
        QTest::newRow("echo without pinger") << TUDPQueue::KindEcho << Loopback << 4 << false;
        QTest::newRow("name that does not resolve") << TUDPQueue::KindDatagram << "no-such-host.invalid" << 4 << false;
        QTest::newRow("one byte past the largest") << TUDPQueue::KindDatagram << Loopback << 4098 << false;
    }
    void skipped()
    {
        QFETCH(quint8, kind);
        QFETCH(QString, host);
        QFETCH(int, size);
        QFETCH(bool, zeroPort);
        const QByteArray data(size, 'x');
        const bool queued = m_queue->Enqueue(kind, nullptr, data, zeroPort ? 0 : m_receiver->Port(), host);
        QCOMPARE(queued, size <= TUDPQueue::MaxData);
        QCOMPARE(m_queue->DroppedCount(), queued ? 0u : 1u);
        QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), QByteArray(TUDPQueue::MaxData, 'y')));
        QTRY_COMPARE_WITH_TIMEOUT(m_queue->SentCount(), queued ? 2u : 1u, 20000);
        QTRY_COMPARE(m_receiver->Count(), 1);
        QCOMPARE(m_receiver->Received().first().Data, QByteArray(TUDPQueue::MaxData, 'y'));
    }

    // A packet whose host is being looked up waits aside: an address goes past it, one name's
    // packets keep their order, and the queue goes without waiting for a lookup that hangs.
    void namesLookedUpAside()
    {
        auto lookup = std::make_shared<TSlowLookup>();
        THostResolver::Shared().Clear();
        THostResolver::Shared().SetLookup(lookup);
        QVERIFY(m_queue->SendDatagram(QStringLiteral("slow.test"), m_receiver->Port(), QByteArray::number(1)));
        QVERIFY(Send(2));
        QVERIFY(m_queue->SendDatagram(QStringLiteral(" slow.test "), m_receiver->Port(), QByteArray::number(3)));
        QTRY_COMPARE(Numbers(*m_receiver), QByteArrayList{"2"});
        QCOMPARE(m_queue->Count(), 2);
        lookup->Release.set_value();
        QTRY_COMPARE(Numbers(*m_receiver), (QByteArrayList{"2", "1", "3"}));

        auto hanging = std::make_shared<TSlowLookup>();
        THostResolver::Shared().SetLookup(hanging);
        QVERIFY(m_queue->SendDatagram(QStringLiteral("stuck.test"), m_receiver->Port(), QByteArray::number(4)));
        QElapsedTimer clock;
        clock.start();
        m_queue.reset();
        QVERIFY(clock.elapsed() < 1000);
        hanging->Release.set_value();
        THostResolver::Shared().SetLookup(nullptr);
        THostResolver::Shared().Clear();
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
            m_queue->Enqueue(TUDPQueue::KindDatagram, i % 2 ? &told : forgotten.get(), QByteArray::number(i),
                             m_receiver->Port(), Loopback);
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
        QCOMPARE(m_queue->Peek()->Data, "1");
        for (quint32 i = 0; i < TUDPQueue::Limit / 2; ++i)
            QVERIFY(Send(200000 + i));
        QCOMPARE(m_queue->DroppedCount(), quint32(TUDPQueue::Limit / 2));
        QVERIFY(!Send(300000, true));
        QVERIFY(Send(300001));
        QCOMPARE(m_queue->Count(), TUDPQueue::Limit + 2);
        m_queue->Resume();
        QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), TUDPQueue::Limit + 2, 60000);
        const QByteArrayList numbers = Numbers(*m_receiver);
        for (quint32 i = 0; i < TUDPQueue::Limit / 2; ++i)
            QCOMPARE(numbers.at(i), QByteArray::number(2 * i + 1));
        QCOMPARE(numbers.last(), "300001");
    }

    // A queue goes within one send call, also in the middle of a burst, and its worker's last
    // request for a step does not outlive it; so does one whose pinger went first.
    void destroyedPromptly()
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

        auto pinger = std::make_unique<TNxPing>(nullptr);
        TUDPQueue queue(m_udp.get(), pinger.get());
        queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
        pinger.reset();
        QVERIFY(!queue.CanPing());
        queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
        m_receiver = std::make_unique<TLoopbackReceiver>();
        queue.SendDatagram(Loopback, m_receiver->Port(), QByteArray::number(9));
        QTRY_COMPARE(Numbers(*m_receiver), QByteArrayList{"9"});
        QTRY_COMPARE(queue.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_UDPQueue)
#include "tst_UDPQueue.moc"
