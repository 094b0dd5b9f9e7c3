#include "net/DatagramReader.h"

#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>

// Reading a socket in bounded turns from its readyRead, against a real loopback peer.
class tst_DatagramReader : public QObject
{
    Q_OBJECT

    static constexpr int Limit = 16;

    struct TReceiver
    {
        QUdpSocket socket;
        QList<QByteArray> received;
        int turns = 0;
        int largestTurn = 0;
    };

    static void Listen(TReceiver &receiver)
    {
        QVERIFY(receiver.socket.bind(QHostAddress::LocalHost, 0));
        connect(&receiver.socket, &QUdpSocket::readyRead, &receiver.socket, [&receiver] {
            const int read = DatagramReader::ReadDatagrams(
                receiver.socket, 8, [&receiver](const QNetworkDatagram &d) { receiver.received << d.data(); }, Limit);
            ++receiver.turns;
            receiver.largestTurn = qMax(receiver.largestTurn, read);
        });
    }

    static void Pump(const std::function<bool()> &done, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

private slots:
    // Bursts larger and smaller than a turn, sent while the loop runs: nothing is left
    // behind, in order, and no turn reads more than its share. (A reader that went on
    // from a posted call instead stalled here after a few hundred datagrams.)
    void burstsArriveWhole()
    {
        TReceiver receiver;
        Listen(receiver);
        QUdpSocket sender;
        int sent = 0;
        for (int round = 0; round < 400; ++round) {
            const int burst = 1 + round % (3 * Limit);
            for (int i = 0; i < burst; ++i) {
                const QByteArray data = QByteArray::number(sent++);
                QCOMPARE(sender.writeDatagram(data, QHostAddress::LocalHost, receiver.socket.localPort()), data.size());
            }
            QCoreApplication::processEvents();
            Pump([&] { return receiver.received.size() == sent; }, 2000);
            QCOMPARE(receiver.received.size(), sent);
        }
        for (int i = 0; i < sent; i += 997)
            QCOMPARE(receiver.received.at(i), QByteArray::number(i));
        QVERIFY(receiver.largestTurn <= Limit);
        QVERIFY(receiver.turns > 400);
    }

    // A datagram longer than the reader takes is cut, not split into two.
    void longDatagramCut()
    {
        TReceiver receiver;
        Listen(receiver);
        QUdpSocket sender;
        sender.writeDatagram("0123456789", QHostAddress::LocalHost, receiver.socket.localPort());
        sender.writeDatagram("ab", QHostAddress::LocalHost, receiver.socket.localPort());
        Pump([&] { return receiver.received.size() == 2; }, 5000);
        QCOMPARE(receiver.received, (QList<QByteArray>{"01234567", "ab"}));
    }
};

QTEST_GUILESS_MAIN(tst_DatagramReader)
#include "tst_DatagramReader.moc"
