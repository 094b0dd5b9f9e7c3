// A chat window's datagram endpoint and its queue against peers on real loopback sockets.
#include "base/Tick.h"
#include "net/DatagramReader.h"
#include "net/UNxSocket.h"
#include "servers/DatagramEndpoint.h"
#include "servers/LoopbackReceiver.h"
#include "servers/UDPQueue.h"

#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

class tst_DatagramEndpoint : public QObject
{
    Q_OBJECT

    static void Send(QUdpSocket &from, const TDatagramEndpoint &to, const QByteArray &bytes)
    {
        from.writeDatagram(bytes, QHostAddress::LocalHost, to.LocalPort());
    }

private slots:
    void initTestCase() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    // Bursts larger than a turn of the reader, sent while the loop runs: every datagram comes,
    // in order, with its sender (a reader that went on from anywhere but readyRead went deaf
    // after a few hundred); a long one is cut to 4096 bytes. A user reply of another client
    // gives the user's ping; one without a nick is dropped.
    void everyDatagramWithItsSender()
    {
        TDatagramEndpoint endpoint;
        // Room for a burst in the system's buffer, so that nothing is lost before it is read.
        endpoint.Socket()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QStringList received;
        connect(&endpoint, &TDatagramEndpoint::DatagramReceived, this,
                [&](const QByteArray &datagram, const QString &ip, quint16 port) {
                    received << QStringLiteral("%1 %2:%3").arg(QString(datagram.left(8))).arg(ip).arg(port);
                });
        QStringList sent;
        for (int round = 0; round < 10; ++round) {
            for (int i = 0; i < DatagramReader::PerTurn + 1 + round * 7; ++i) {
                sent << QStringLiteral("%1 127.0.0.1:%2").arg(sent.size()).arg(peer.localPort());
                Send(peer, endpoint, QByteArray::number(sent.size() - 1));
            }
            QVERIFY2(QTest::qWaitFor([&] { return received.size() == sent.size(); }, 5000),
                     qPrintable(QStringLiteral("%1 of %2").arg(received.size()).arg(sent.size())));
        }
        QCOMPARE(received, sent);
        QSignalSpy long_(&endpoint, &TDatagramEndpoint::DatagramReceived);
        Send(peer, endpoint, QByteArray(5000, 'x'));
        QVERIFY(long_.wait());
        QCOMPARE(long_.first().first().toByteArray().size(), 4096);

        QSignalSpy pinged(&endpoint, &TDatagramEndpoint::UserPinged);
        QByteArray reply(32, '\0');
        reply[0] = 0x05;
        reply[1] = 0x01;
        Send(peer, endpoint, reply);
        qToLittleEndian<quint16>(quint16(TickCount() - 40), reply.data() + 2);
        memcpy(reply.data() + 4, "wingman", 7);
        Send(peer, endpoint, reply);
        QVERIFY(pinged.wait());
        const QList<QVariant> ping = pinged.first();
        QCOMPARE(ping.at(0).toString(), QStringLiteral("wingman"));
        QVERIFY(ping.at(2).toUInt() - ping.at(1).toUInt() >= 40 && ping.at(2).toUInt() - ping.at(1).toUInt() < 5000);
        QCOMPARE(ping.at(3).toString(), QStringLiteral("127.0.0.1:%1").arg(peer.localPort()));
        QCOMPARE(pinged.size(), 1);
        QCOMPARE(long_.size(), 1);
    }

    // Released for a game in the middle of a burst, the port is free and nothing leaves;
    // afterwards the same port is taken back, or another when the game kept it, and the rest
    // goes in order from there, none lost or sent twice.
    void releasedAroundAGame_data()
    {
        QTest::addColumn<bool>("portKept");
        QTest::newRow("port free again") << false;
        QTest::newRow("port still taken") << true;
    }
    void releasedAroundAGame()
    {
        QFETCH(bool, portKept);
        TDatagramEndpoint endpoint;
        TLoopbackReceiver receiver;
        const quint16 port = endpoint.LocalPort();
        QVERIFY(port != 0 && receiver.Port() != 0);
        const auto send = [&](int from, int to) {
            for (int i = from; i < to; ++i)
                endpoint.Queue()->SendDatagram(QStringLiteral("127.0.0.1"), receiver.Port(), QByteArray::number(i));
        };
        send(0, 1500);
        QTRY_VERIFY(receiver.Count() > 0);
        endpoint.Release();
        QCOMPARE(endpoint.LocalPort(), quint16(0));
        auto game = std::make_unique<QUdpSocket>();
        QVERIFY(game->bind(QHostAddress::AnyIPv4, port));
        send(1500, 3000);
        QTest::qWait(100);
        const qsizetype whilePaused = receiver.Count();
        QTest::qWait(200);
        QVERIFY(receiver.Count() == whilePaused && whilePaused <= 1500);
        if (!portKept)
            game.reset();
        QVERIFY(endpoint.Rebind());
        QCOMPARE(endpoint.LocalPort() == port, !portKept);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.Count(), 3000, 30000);
        const QList<TLoopbackReceiver::TDatagram> received = receiver.Received();
        for (int i = 0; i < 3000; ++i)
            QCOMPARE(received.at(i).Data, QByteArray::number(i));
        QCOMPARE(received.last().SenderPort, endpoint.LocalPort());
    }

    // An echo to a user comes back with its nick, where the system allows ICMP.
    void echoGivesPing()
    {
        TDatagramEndpoint endpoint;
        QVERIFY(!endpoint.PingUser(QStringLiteral("nobody"), QStringLiteral("  ")));
        if (!endpoint.Pinger()->Available())
            QSKIP(qPrintable(endpoint.Pinger()->OpenError()));
        // A raw socket sees every echo of the machine: look for ours among them.
        const QString nick = QStringLiteral("Pilot%1").arg(QCoreApplication::applicationPid());
        QStringList seen;
        connect(&endpoint, &TDatagramEndpoint::UserPinged, this,
                [&](const QString &who, quint32 sent, quint32 reply, const QString &from) {
                    if (from.isEmpty() && reply - sent < 5000)
                        seen << who;
                });
        QVERIFY(endpoint.PingUser(nick, QStringLiteral("127.0.0.1")));
        QVERIFY(endpoint.PingUser(nick + u'2', QStringLiteral("localhost")));
        QTRY_VERIFY(seen.contains(nick) && seen.contains(nick + u'2'));
    }
};

QTEST_GUILESS_MAIN(tst_DatagramEndpoint)
#include "tst_DatagramEndpoint.moc"
