#include "net/UNxSocket.h"

#include <QDateTime>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

// Binds a datagram TNxSocket to 127.0.0.1 on a free port and returns the port.
quint16 BindLoopback(TNxSocket &socket)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(int(socket.SocketHandle()), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0)
        return 0;
    socklen_t length = sizeof local;
    ::getsockname(int(socket.SocketHandle()), reinterpret_cast<sockaddr *>(&local), &length);
    return ntohs(local.sin_port);
}

// Sum of the 16-bit words of a whole message, checksum included: 0xFFFF when it is right.
quint16 FoldedSum(const QByteArray &message)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i < message.size(); i += 2) {
        const quint32 high = quint8(message[i]);
        const quint32 low = i + 1 < message.size() ? quint8(message[i + 1]) : 0;
        sum += high << 8 | low;
    }
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(sum);
}

} // namespace

class tst_NxSocket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checksumAndEchoRequest();
    void readinessOnDatagramSocket();
    void errorsToldOnceOnOwnerThread();
    void remoteIPKeepsOldValueOnBadText();
    void socketRefusedIsToldOnce();
    void realEchoToLoopback();
};

void tst_NxSocket::initTestCase()
{
    // Loopback only: no proxy lookup (and no helper thread of the proxy library).
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_NxSocket::checksumAndEchoRequest()
{
    // The worked example of RFC 1071, section 3.
    QCOMPARE(InternetChecksum(QByteArray::fromHex("0001f203f4f5f6f7")), quint16(0x220D));
    // An odd final byte counts as followed by a zero byte.
    QCOMPARE(InternetChecksum(QByteArray::fromHex("0001f203f4f5f6")),
             InternetChecksum(QByteArray::fromHex("0001f203f4f5f600")));
    QCOMPARE(InternetChecksum({}), quint16(0xFFFF));

    // Echo requests: type 8, code 0, identifier 1, sequence 0, the payload; their words
    // including the checksum add up to 0xFFFF (an independent sum, carries folded).
    for (const QByteArray &payload : {QByteArray(), QByteArray("abc"), QByteArray(41, '\xFF')}) {
        const QByteArray message = TNxPing::BuildEchoRequest(payload);
        QCOMPARE(message.left(2), QByteArray("\x08\x00", 2));
        QCOMPARE(message.mid(4, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(message.mid(8), payload);
        QCOMPARE(FoldedSum(message), quint16(0xFFFF));
    }
}

void tst_NxSocket::readinessOnDatagramSocket()
{
    TNxSocket socket(nullptr, 17);
    QVERIFY(socket.IsOpen() && !socket.IsRaw());
    const quint16 port = BindLoopback(socket);
    QVERIFY(port != 0);
    QSignalSpy ready(&socket, &TNxSocket::OnDataReady);
    socket.HandleReadReady(); // nothing waiting: nothing announced
    QCOMPARE(ready.size(), 0);

    QByteArray received;
    QList<int> sizes;
    connect(&socket, &TNxSocket::OnDataReady, this, [&](TNxSocket *sender, int bytes) {
        QCOMPARE(sender, &socket);
        sizes.append(bytes);
        if (sizes.size() > 1)
            return;
        QByteArray buffer(bytes, '\0');
        received = buffer.left(qMax(sender->ReceiveBuffer(buffer.data(), bytes), 0));
    });
    QUdpSocket peer;
    const QByteArray datagram("hello, loopback");
    QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
    peer.writeDatagram(QByteArray(7, 'b'), QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(sizes.size(), 2, 5000);
    QCOMPARE(received, datagram);
    QCOMPARE(sizes, QList<int>({int(datagram.size()), 7}));
    QCOMPARE(socket.BytesAvailable(), -1);
    QTest::qWait(100);
    QCOMPARE(sizes.size(), 2);
}

void tst_NxSocket::errorsToldOnceOnOwnerThread()
{
    TNxSocket socket(nullptr, 17);
    QVERIFY(socket.SetRemoteIP(QStringLiteral("127.0.0.1")));
    QStringList messages;
    QList<QThread *> threads;
    connect(&socket, &TNxSocket::OnError, this, [&](const QString &message) {
        messages.append(message);
        threads.append(QThread::currentThread());
    });
    // Port 0 is refused by the system: the same kind of error, from a worker and from here.
    std::thread worker([&] {
        QVERIFY(!socket.SendBuffer("x", 1));
        QVERIFY(!socket.SendBuffer("y", 1));
    });
    worker.join();
    QVERIFY(!socket.SendBuffer("z", 1));
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first(), ESocketError::MessageForCode(10022));
    QCOMPARE(threads.first(), QThread::currentThread());
}

void tst_NxSocket::remoteIPKeepsOldValueOnBadText()
{
    TNxSocket socket(nullptr, 17);
    QSignalSpy errors(&socket, &TNxSocket::OnError);
    QVERIFY(socket.SetRemoteIP(QStringLiteral("127.0.0.2")));
    QVERIFY(!socket.SetRemoteIP(QStringLiteral("pxo.example")));
    QVERIFY(!socket.SetRemoteIP(QStringLiteral("127.0.0.256")));
    QCOMPARE(socket.RemoteIP(), QStringLiteral("127.0.0.2"));
    QCOMPARE(errors.size(), 1); // told once
    QVERIFY(socket.SetRemoteIP(QString()));
}

void tst_NxSocket::socketRefusedIsToldOnce()
{
    // No system has IP protocol 253 (reserved for experiments) as a socket kind.
    TNxSocket socket(nullptr, 253);
    QVERIFY(!socket.IsOpen());
    QSignalSpy errors(&socket, &TNxSocket::OnError);
    QVERIFY(!socket.SendBuffer("x", 1));
    QCOMPARE(socket.BytesAvailable(), -1);
    QCOMPARE(socket.ReceiveBuffer(nullptr, 0), -1);
    socket.HandleReadReady();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 5000);
    QCOMPARE(errors.first().first().toString(), socket.OpenError());
    QVERIFY(!socket.OpenError().isEmpty());
    QTest::qWait(50);
    QCOMPARE(errors.size(), 1);
}

void tst_NxSocket::realEchoToLoopback()
{
    TNxPing ping(nullptr);
    if (!ping.Available())
        QSKIP(qPrintable(ping.OpenError()));
    QVERIFY(ping.SetRemoteIP(QStringLiteral("127.0.0.1")));

    const QByteArray payload = QByteArray::number(quint64(QDateTime::currentMSecsSinceEpoch())).leftJustified(40, '-');
    bool replied = false;
    connect(&ping, &TNxSocket::OnDataReady, this, [&](TNxSocket *sender, int bytes) {
        QByteArray buffer(qMax(bytes, 1), '\0');
        const int size = sender->ReceiveBuffer(buffer.data(), buffer.size());
        buffer.truncate(qMax(size, 0));
        const qsizetype icmp = ping.RepliesHaveIpHeader() ? (quint8(buffer.isEmpty() ? 0 : buffer[0]) & 0x0F) * 4 : 0;
        // A raw socket also sees our own request (type 8): only the reply counts.
        if (buffer.size() >= icmp + 8 && buffer[icmp] == 0 && buffer.mid(icmp + 8) == payload)
            replied = true;
    });
    QVERIFY(ping.SendEcho(payload));
    QTRY_VERIFY_WITH_TIMEOUT(replied, 5000);
}

QTEST_GUILESS_MAIN(tst_NxSocket)
#include "tst_NxSocket.moc"
