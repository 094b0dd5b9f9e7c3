#include "base/Tick.h"
#include "chat/LoopbackReceiver.h"
#include "chat/Server.h"
#include "chat/UDPQueue.h"
#include "net/UNxSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <functional>

namespace {

QByteArray Numbered(quint32 number)
{
    QByteArray data(4, '\0');
    qToLittleEndian(number, data.data());
    return data;
}

quint32 NumberOf(const QByteArray &data)
{
    return data.size() == 4 ? qFromLittleEndian<quint32>(data.constData()) : 0xFFFFFFFF;
}

QList<quint32> Numbers(const TLoopbackReceiver &receiver)
{
    QList<quint32> numbers;
    for (const auto &datagram : receiver.Received())
        numbers.append(NumberOf(datagram.Data));
    return numbers;
}

QList<quint32> Range(quint32 first, quint32 count)
{
    QList<quint32> numbers;
    for (quint32 i = 0; i < count; ++i)
        numbers.append(first + i);
    return numbers;
}

const QString Loopback = QStringLiteral("127.0.0.1");

// Runs the event loop in small steps until Done holds or the time is up.
bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

} // namespace

class tst_UDPQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void burstsArriveInOrderOnce();
    void singlePacketsAreNeverStranded();
    void skipRules_data();
    void skipRules();
    void hostNamesAreLookedUp();
    void dataLengthLimit();
    void ownerToldWhenPacketLeaves();
    void forgetClearsWaitingOwners();
    void fullQueueDropsRepeatedRequestsFirst();
    void pauseStopsSendingAndReleasesThePort();
    void destroyingMidBurstIsPrompt();
    void pingerMayGoFirst();

private:
    std::unique_ptr<QUdpSocket> m_udp;
    std::unique_ptr<TUDPQueue> m_queue;
    std::unique_ptr<TLoopbackReceiver> m_receiver;
};

void tst_UDPQueue::initTestCase()
{
    // Loopback datagrams never go through a proxy; asking the system for one starts a
    // helper thread of the proxy library that a thread checker cannot follow.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_UDPQueue::init()
{
    m_udp = std::make_unique<QUdpSocket>();
    QVERIFY(m_udp->bind(QHostAddress::LocalHost, 0));
    m_queue = std::make_unique<TUDPQueue>(m_udp.get(), nullptr);
    m_receiver = std::make_unique<TLoopbackReceiver>();
    QVERIFY(m_receiver->Port() != 0);
}

void tst_UDPQueue::cleanup()
{
    m_queue.reset();
    m_receiver.reset();
    m_udp.reset();
}

void tst_UDPQueue::burstsArriveInOrderOnce()
{
    constexpr quint32 Total = 10000;
    constexpr quint32 Burst = 250;
    quint32 next = 0;
    while (next < Total) {
        for (quint32 i = 0; i < Burst; ++i, ++next)
            QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(next)));
        // Let the worker drain between bursts, as the window's loop would.
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), qsizetype(Total), 60000);
    QCOMPARE(Numbers(*m_receiver), Range(0, Total));
    QTRY_COMPARE_WITH_TIMEOUT(m_queue->SentCount(), Total, 5000);
    QCOMPARE(m_queue->Count(), 0);
    QVERIFY(!m_queue->Pending());
    QCOMPARE(m_queue->FailedCount(), 0u);
    // Every datagram left from the form's own socket, so replies come back to it.
    for (const auto &datagram : m_receiver->Received())
        QCOMPARE(datagram.SenderPort, m_udp->localPort());
}

void tst_UDPQueue::singlePacketsAreNeverStranded()
{
    // One packet at a time, each queued just as the worker runs out of work.
    for (quint32 i = 0; i < 500; ++i) {
        QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(i)));
        QVERIFY2(WaitUntil([&] { return m_receiver->Count() == qsizetype(i + 1); }), qPrintable(QString::number(i)));
    }
    QCOMPARE(Numbers(*m_receiver), Range(0, 500));
}

void tst_UDPQueue::skipRules_data()
{
    QTest::addColumn<quint8>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("zeroPort");
    QTest::newRow("empty host") << TUDPQueue::KindDatagram << QString() << false;
    QTest::newRow("blank host") << TUDPQueue::KindDatagram << QStringLiteral("  \t") << false;
    QTest::newRow("datagram to port 0") << TUDPQueue::KindDatagram << Loopback << true;
    QTest::newRow("unknown kind") << quint8(7) << Loopback << false;
    QTest::newRow("echo without pinger") << TUDPQueue::KindEcho << Loopback << false;
    QTest::newRow("host name that does not resolve")
        << TUDPQueue::KindDatagram << QStringLiteral("no-such-host.invalid") << false;
}

void tst_UDPQueue::skipRules()
{
    QFETCH(quint8, kind);
    QFETCH(QString, host);
    QFETCH(bool, zeroPort);
    QVERIFY(m_queue->Enqueue(kind, nullptr, Numbered(1), zeroPort ? 0 : m_receiver->Port(), host));
    QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(2)));
    QTRY_COMPARE_WITH_TIMEOUT(m_queue->SentCount(), 2u, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 1, 5000);
    QCOMPARE(Numbers(*m_receiver), QList<quint32>{2});
}

void tst_UDPQueue::hostNamesAreLookedUp()
{
    QVERIFY(m_queue->SendDatagram(QStringLiteral("localhost"), m_receiver->Port(), Numbered(1)));
    QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(2)));
    QVERIFY(m_queue->SendDatagram(QStringLiteral(" localhost "), m_receiver->Port(), Numbered(3)));
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 3, 10000);
    // An address goes past a name being looked up; datagrams to one name keep their order.
    QCOMPARE(Numbers(*m_receiver), QList<quint32>({2, 1, 3}));
}

void tst_UDPQueue::dataLengthLimit()
{
    const QByteArray largest(TUDPQueue::MaxData, 'x');
    QVERIFY(!m_queue->SendDatagram(Loopback, m_receiver->Port(), largest + 'y'));
    QCOMPARE(m_queue->DroppedCount(), 1u);
    QVERIFY(m_queue->SendDatagram(Loopback, m_receiver->Port(), largest));
    QCOMPARE(m_queue->Peek()->Length, quint16(TUDPQueue::MaxData));
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 1, 5000);
    QCOMPARE(m_receiver->Received().first().Data, largest);
}

void tst_UDPQueue::ownerToldWhenPacketLeaves()
{
    TServer server(nullptr, m_receiver->Port(), Loopback, nullptr);
    server.AwaitingReply = false;
    server.SentTick = 0;
    m_queue->Pause();
    QVERIFY(m_queue->Enqueue(TUDPQueue::KindDatagram, &server, Numbered(1), m_receiver->Port(), Loopback));
    QTest::qWait(150);
    QVERIFY(!server.AwaitingReply); // still waiting in the queue
    const quint32 resumed = TickCount();
    m_queue->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(server.AwaitingReply, 5000);
    // Taken when the packet left, not when it was queued or first handed over.
    QVERIFY2(server.SentTick - resumed < 1000u, qPrintable(QString::number(server.SentTick - resumed)));
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 1, 5000);
}

void tst_UDPQueue::forgetClearsWaitingOwners()
{
    auto first = std::make_unique<TServer>(nullptr, m_receiver->Port(), Loopback, nullptr);
    TServer second(nullptr, m_receiver->Port(), Loopback, nullptr);
    m_queue->Pause();
    for (quint32 i = 0; i < 6; ++i)
        m_queue->Enqueue(TUDPQueue::KindDatagram, i % 2 ? &second : first.get(), Numbered(i), m_receiver->Port(),
                         Loopback);
    m_queue->Forget(first.get());
    QCOMPARE(m_queue->Peek()->Owner, nullptr);
    QCOMPARE(m_queue->Count(), 6); // forgetting keeps the packets
    first.reset();
    second.AwaitingReply = false;
    m_queue->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 6, 5000);
    QCOMPARE(Numbers(*m_receiver), Range(0, 6));
    QVERIFY(second.AwaitingReply);
}

void tst_UDPQueue::fullQueueDropsRepeatedRequestsFirst()
{
    m_queue->Pause();
    const quint16 port = m_receiver->Port();
    // Even numbers are repeated requests, odd ones tracker datagrams.
    for (quint32 i = 0; i < TUDPQueue::Limit; ++i)
        QVERIFY(m_queue->Enqueue(TUDPQueue::KindDatagram, nullptr, Numbered(i), port, Loopback, i % 2 == 0));
    QCOMPARE(m_queue->Count(), TUDPQueue::Limit);
    QCOMPARE(m_queue->DroppedCount(), 0u);

    // One past the limit: the oldest repeated request (0) makes room.
    QVERIFY(m_queue->SendDatagram(Loopback, port, Numbered(100001)));
    QCOMPARE(m_queue->Count(), TUDPQueue::Limit);
    QCOMPARE(m_queue->DroppedCount(), 1u);
    QCOMPARE(NumberOf(m_queue->Peek()->Data), 1u);
    QVERIFY(m_queue->Enqueue(TUDPQueue::KindDatagram, nullptr, Numbered(100002), port, Loopback, true));
    QCOMPARE(m_queue->DroppedCount(), 2u); // 2 made room for it

    // With no repeated request left, a new one is refused and tracker datagrams still fit.
    for (quint32 i = 0; i < TUDPQueue::Limit / 2 - 1; ++i)
        QVERIFY(m_queue->SendDatagram(Loopback, port, Numbered(200000 + i)));
    QCOMPARE(m_queue->DroppedCount(), quint32(TUDPQueue::Limit / 2 + 1));
    QCOMPARE(m_queue->Count(), TUDPQueue::Limit);
    QVERIFY(!m_queue->Enqueue(TUDPQueue::KindDatagram, nullptr, Numbered(300000), port, Loopback, true));
    QVERIFY(m_queue->SendDatagram(Loopback, port, Numbered(300001)));
    QCOMPARE(m_queue->Count(), TUDPQueue::Limit + 1);

    m_queue->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(m_queue->Count(), 0, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), TUDPQueue::Limit + 1, 10000);
    const QList<quint32> numbers = Numbers(*m_receiver);
    QList<quint32> odd;
    for (quint32 i = 1; i < TUDPQueue::Limit; i += 2)
        odd.append(i);
    QCOMPARE(numbers.mid(0, odd.size()), odd); // every tracker datagram, in order
    QCOMPARE(numbers.last(), 300001u);
    QVERIFY(!numbers.contains(0u) && !numbers.contains(2u) && !numbers.contains(300000u));
}

void tst_UDPQueue::pauseStopsSendingAndReleasesThePort()
{
    constexpr quint32 Total = 3000;
    for (quint32 i = 0; i < Total; ++i)
        m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(i));
    QTRY_VERIFY_WITH_TIMEOUT(m_receiver->Count() > 0, 5000);
    m_queue->Pause();
    const quint16 oldPort = m_udp->localPort();
    m_udp->close();
    // Nobody holds the port any more: the game could take it now.
    QUdpSocket game;
    QVERIFY(game.bind(QHostAddress::LocalHost, oldPort));

    QTest::qWait(200); // sends already made reach the receiver; no new one may start
    const qsizetype whilePaused = m_receiver->Count();
    QTest::qWait(200);
    QCOMPARE(m_receiver->Count(), whilePaused);
    QCOMPARE(qsizetype(m_queue->Count()) + whilePaused, qsizetype(Total));

    game.close();
    QVERIFY(m_udp->bind(QHostAddress::LocalHost, 0));
    m_queue->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), qsizetype(Total), 30000);
    QCOMPARE(Numbers(*m_receiver), Range(0, Total));
    QCOMPARE(m_receiver->Received().last().SenderPort, m_udp->localPort());
}

void tst_UDPQueue::destroyingMidBurstIsPrompt()
{
    for (quint32 i = 0; i < 20000; ++i)
        m_queue->SendDatagram(Loopback, m_receiver->Port(), Numbered(i));
    QCoreApplication::processEvents();
    QTRY_VERIFY_WITH_TIMEOUT(m_receiver->Count() > 0, 5000);
    QElapsedTimer clock;
    clock.start();
    m_queue.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    const qsizetype atEnd = m_receiver->Count();
    QVERIFY(atEnd < 20000);
    QCoreApplication::processEvents(); // a step the worker asked for must not outlive the queue
}

void tst_UDPQueue::pingerMayGoFirst()
{
    auto pinger = std::make_unique<TNxPing>(nullptr);
    TUDPQueue queue(m_udp.get(), pinger.get());
    QCOMPARE(queue.CanPing(), pinger->Available());
    queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
    pinger.reset();
    QVERIFY(!queue.CanPing());
    queue.Enqueue(TUDPQueue::KindEcho, nullptr, QByteArray(40, 'e'), 0, Loopback);
    queue.SendDatagram(Loopback, m_receiver->Port(), Numbered(9));
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver->Count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(queue.Count(), 0, 5000);
}

QTEST_GUILESS_MAIN(tst_UDPQueue)
#include "tst_UDPQueue.moc"
