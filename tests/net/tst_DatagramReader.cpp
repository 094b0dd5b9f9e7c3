#include "net/DatagramReader.h"

#include <QTest>
#include <QUdpSocket>

// Reading a socket in bounded turns from its readyRead, against a real loopback peer.
class tst_DatagramReader : public QObject
{
    Q_OBJECT

    static constexpr int Limit = 16;

private slots:
    // Bursts larger and smaller than a turn, sent while the loop runs: nothing is left
    // behind, in order, and no turn reads more than its share. (A reader that went on
    // from a posted call instead stalled here after a few hundred datagrams.) A datagram
    // longer than the reader takes is cut, not split into two.
    void burstsArriveWhole()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
        QList<QByteArray> received;
        int turns = 0;
        int largestTurn = 0;
        connect(&receiver, &QUdpSocket::readyRead, &receiver, [&] {
            const int read = DatagramReader::ReadDatagrams(
                receiver, 8, [&received](const QNetworkDatagram &d) { received << d.data(); }, Limit);
            ++turns;
            largestTurn = qMax(largestTurn, read);
        });
        QUdpSocket sender;
        sender.writeDatagram("0123456789", QHostAddress::LocalHost, receiver.localPort());
        QVERIFY(QTest::qWaitFor([&] { return received.size() == 1; }, 5000));
        QCOMPARE(received.takeFirst(), QByteArray("01234567"));
        int sent = 0;
        for (int round = 0; round < 400; ++round) {
            const int burst = 1 + round % (3 * Limit);
            for (int i = 0; i < burst; ++i) {
                const QByteArray data = QByteArray::number(sent++);
                QCOMPARE(sender.writeDatagram(data, QHostAddress::LocalHost, receiver.localPort()), data.size());
            }
            QVERIFY(QTest::qWaitFor([&] { return received.size() == sent; }, 2000));
        }
        for (int i = 0; i < sent; i += 997)
            QCOMPARE(received.at(i), QByteArray::number(i));
        QVERIFY(largestTurn <= Limit);
        QVERIFY(turns > 400);
    }
};

QTEST_GUILESS_MAIN(tst_DatagramReader)
#include "tst_DatagramReader.moc"
