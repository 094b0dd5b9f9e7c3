#include "net/UNxSocket.h"

#include <QDateTime>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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
    void errorMessages_data();
    void errorMessages();
    void platformErrors_data();
    void platformErrors();
    void checksumVector();
    void echoRequest_data();
    void echoRequest();
    void readinessOnDatagramSocket();
    void unreadDatagramIsDropped();
    void noBytesWaitingCallsNothing();
    void errorsToldOnceOnOwnerThread();
    void remoteIPKeepsOldValueOnBadText();
    void socketRefusedIsToldOnce();
    void realEchoToLoopback();
    void icmpRefusedSaysSo();
};

void tst_NxSocket::initTestCase()
{
    // Loopback only: no proxy lookup (and no helper thread of the proxy library).
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_NxSocket::errorMessages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("already bound") << 10022 << "The socket is already bound to an address.";
    QTest::newRow("shut down starts with a tab") << 10058 << "\tThe socket has been shut down.";
    QTest::newRow("reset keeps its quotes")
        << 10054 << "The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" close.";
    QTest::newRow("first of the table") << 10004 << "The (blocking) call was canceled through WSACancelBlockingCall.";
    QTest::newRow("last of the table") << 10093 << "A successful WSAStartup must occur before using this function.";
    QTest::newRow("gap in the table") << 10042 << "Unknown socket error.";
    QTest::newRow("zero") << 0 << "Unknown socket error.";
    QTest::newRow("negative") << -1 << "Unknown socket error.";
}

void tst_NxSocket::errorMessages()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    const ESocketError error = ESocketError::CreateFromCode(code);
    QCOMPARE(error.Message, message);
    QCOMPARE(QString::fromUtf8(error.what()), message);
}

void tst_NxSocket::platformErrors_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");
    QTest::newRow("EINVAL") << EINVAL << 10022;
    QTest::newRow("EPERM") << EPERM << 10013;
    QTest::newRow("EAGAIN") << EAGAIN << 10035;
    QTest::newRow("ECONNREFUSED") << ECONNREFUSED << 10061;
    QTest::newRow("EHOSTUNREACH") << EHOSTUNREACH << 10065;
    QTest::newRow("ENETUNREACH") << ENETUNREACH << 10051;
    QTest::newRow("EMSGSIZE") << EMSGSIZE << 10040;
    QTest::newRow("unmapped") << 4095 << 0;
}

void tst_NxSocket::platformErrors()
{
    QFETCH(int, error);
    QFETCH(int, code);
    QCOMPARE(SocketErrorCode(error), code);
}

void tst_NxSocket::checksumVector()
{
    // The worked example of RFC 1071, section 3.
    QCOMPARE(InternetChecksum(QByteArray::fromHex("0001f203f4f5f6f7")), quint16(0x220D));
    // An odd final byte counts as followed by a zero byte.
    QCOMPARE(InternetChecksum(QByteArray::fromHex("0001f203f4f5f6")),
             InternetChecksum(QByteArray::fromHex("0001f203f4f5f600")));
    QCOMPARE(InternetChecksum({}), quint16(0xFFFF));
}

void tst_NxSocket::echoRequest_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray("\x7F", 1);
    QTest::newRow("odd") << QByteArray("abc");
    QTest::newRow("carries") << QByteArray(41, '\xFF');
    QTest::newRow("user payload size") << QByteArray(40, '\x5A');
}

void tst_NxSocket::echoRequest()
{
    QFETCH(QByteArray, payload);
    const QByteArray message = TNxPing::BuildEchoRequest(payload);
    QCOMPARE(message.size(), 8 + payload.size());
    QCOMPARE(message.left(2), QByteArray("\x08\x00", 2));
    QCOMPARE(message.mid(4, 4), QByteArray("\x01\x00\x00\x00", 4));
    QCOMPARE(message.mid(8), payload);
    QCOMPARE(FoldedSum(message), quint16(0xFFFF));
}

void tst_NxSocket::readinessOnDatagramSocket()
{
    TNxSocket socket(nullptr, 17);
    QVERIFY(socket.IsOpen());
    QVERIFY(!socket.IsRaw());
    const quint16 port = BindLoopback(socket);
    QVERIFY(port != 0);

    QByteArray received;
    int announced = 0;
    connect(&socket, &TNxSocket::OnDataReady, this, [&](TNxSocket *sender, int bytes) {
        QCOMPARE(sender, &socket);
        announced = bytes;
        QByteArray buffer(bytes, '\0');
        const int size = sender->ReceiveBuffer(buffer.data(), bytes);
        received = buffer.left(qMax(size, 0));
    });
    QUdpSocket peer;
    const QByteArray datagram("hello, loopback");
    QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
    QTRY_COMPARE_WITH_TIMEOUT(received, datagram, 5000);
    QCOMPARE(announced, datagram.size());
    QCOMPARE(socket.BytesAvailable(), -1);
}

void tst_NxSocket::unreadDatagramIsDropped()
{
    TNxSocket socket(nullptr, 17);
    const quint16 port = BindLoopback(socket);
    QVERIFY(port != 0);
    QList<int> sizes;
    connect(&socket, &TNxSocket::OnDataReady, this, [&](TNxSocket *, int bytes) { sizes.append(bytes); });
    QUdpSocket peer;
    peer.writeDatagram(QByteArray(3, 'a'), QHostAddress::LocalHost, port);
    peer.writeDatagram(QByteArray(7, 'b'), QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(sizes.size(), 2, 5000);
    QCOMPARE(sizes, QList<int>({3, 7}));
    QTest::qWait(100); // nothing waits any more, so nothing is announced again
    QCOMPARE(sizes.size(), 2);
}

void tst_NxSocket::noBytesWaitingCallsNothing()
{
    TNxSocket socket(nullptr, 17);
    QVERIFY(BindLoopback(socket) != 0);
    QSignalSpy ready(&socket, &TNxSocket::OnDataReady);
    socket.HandleReadReady();
    QCOMPARE(ready.size(), 0);
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
    QVERIFY(socket.SetRemoteIP(QStringLiteral("127.0.0.2")));
    QVERIFY(!socket.SetRemoteIP(QStringLiteral("pxo.example")));
    QVERIFY(!socket.SetRemoteIP(QStringLiteral("127.0.0.256")));
    QCOMPARE(socket.RemoteIP(), QStringLiteral("127.0.0.2"));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().first().toString(), ESocketError::MessageForCode(10014));
    QVERIFY(socket.SetRemoteIP(QString()));
    QCOMPARE(socket.RemoteIP(), QString());
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
    QVERIFY(!ping.OpenError().isEmpty() || ping.Available());
    QVERIFY(ping.SetRemoteIP(QStringLiteral("127.0.0.1")));

    QByteArray payload = QByteArray::number(quint64(QDateTime::currentMSecsSinceEpoch())) + "-echo-test";
    payload.append(QByteArray(40 - payload.size(), '\0'));
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

// Without the right to ICMP sockets (no raw-socket capability, datagram ICMP not granted to
// the user's group) user pings are off with one message; the test runs itself again without
// that capability.
void tst_NxSocket::icmpRefusedSaysSo()
{
    if (!qEnvironmentVariableIsSet("ORLO_ICMP_REFUSED_CHILD")) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("setpriv is not installed");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORLO_ICMP_REFUSED_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(setpriv, {QStringLiteral("--bounding-set=-net_raw"), QStringLiteral("--inh-caps=-net_raw"),
                              QCoreApplication::applicationFilePath(), QStringLiteral("icmpRefusedSaysSo")});
        QVERIFY(child.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        if (output.startsWith(QStringLiteral("setpriv:")))
            QSKIP(qPrintable(QStringLiteral("capabilities cannot be dropped here: ") + output.trimmed()));
        if (output.contains(QStringLiteral("SKIP   : tst_NxSocket::icmpRefusedSaysSo()")))
            QSKIP("ICMP sockets stay allowed without the raw-socket capability");
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        return;
    }
    const int raw = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    const int datagram = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    for (int handle : {raw, datagram}) {
        if (handle >= 0)
            ::close(handle);
    }
    if (raw >= 0 || datagram >= 0)
        QSKIP("ICMP sockets are allowed here");
    TNxPing ping(nullptr);
    QSignalSpy errors(&ping, &TNxSocket::OnError);
    QVERIFY(!ping.Available());
    QCOMPARE(ping.OpenError(),
             QStringLiteral("User pings are off: this system does not allow ICMP sockets for this user."));
    ping.SetRemoteIP(QStringLiteral("127.0.0.1"));
    QVERIFY(!ping.SendEcho("x"));
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 5000);
    QCOMPARE(errors.first().first().toString(), ping.OpenError());
    QTest::qWait(50);
    QCOMPARE(errors.size(), 1);
}

QTEST_GUILESS_MAIN(tst_NxSocket)
#include "tst_NxSocket.moc"
