#include "net/NxEncryptedSocket.h"
#include "net/SocketEventScope.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
// Processes events until Done holds; false when Ms pass first.
bool WaitUntil(const std::function<bool()> &done, int ms = 15000)
{
    const QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

QByteArray IdentityAnnouncement()
{
    QByteArray text;
    for (int k = 0; k < 256; ++k)
        text += QByteArray::number(k, 16).rightJustified(2, '0').toUpper();
    return text;
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// The far end written by hand: plain sockets and its own keystreams, so the components
// are checked against the bytes on the wire rather than against themselves.
class TRawPeer : public QObject
{
public:
    explicit TRawPeer(QTcpSocket *socket) : m_socket(socket)
    {
        m_socket->setParent(this);
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(m_socket, &QIODevice::readyRead, this, [this] { m_wire += m_socket->readAll(); });
    }
    QTcpSocket *Socket() const { return m_socket; }
    const QByteArray &Wire() const { return m_wire; }
    // What came after the announcement, deciphered.
    QByteArray Plain()
    {
        while (m_deciphered.size() + TNxKeys::AnnouncementLength < m_wire.size())
            m_deciphered +=
                char(quint8(m_wire[m_deciphered.size() + TNxKeys::AnnouncementLength]) ^ m_receive.NextByte());
        return m_deciphered;
    }
    void SendRaw(const QByteArray &bytes) { m_socket->write(bytes); }
    void SendEnciphered(const QByteArray &plain) { m_socket->write(Encipher(plain)); }
    QByteArray Encipher(QByteArray bytes)
    {
        for (char &c : bytes)
            c = char(quint8(c) ^ m_send.NextByte());
        return bytes;
    }

private:
    QTcpSocket *m_socket;
    QByteArray m_wire;
    QByteArray m_deciphered;
    TRC4 m_send;
    TRC4 m_receive;
};

std::unique_ptr<TRawPeer> ConnectRaw(quint16 port)
{
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, port);
    auto peer = std::make_unique<TRawPeer>(socket);
    if (!WaitUntil([&] { return socket->state() == QAbstractSocket::ConnectedState; }))
        return nullptr;
    return peer;
}

// A listening plain server whose accepted sockets become raw peers.
class TRawServer : public QObject
{
public:
    TRawServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                m_peers.push_back(std::make_unique<TRawPeer>(socket));
        });
    }
    quint16 Port() const { return m_server.serverPort(); }
    std::vector<std::unique_ptr<TRawPeer>> &Peers() { return m_peers; }

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<TRawPeer>> m_peers;
};

void OpenLoopback(TNxEncryptedServer &server)
{
    server.SetListenAddress(QHostAddress::LocalHost);
    server.SetPort(0);
    QVERIFY(server.Open());
    QVERIFY(server.Active());
    QVERIFY(server.Port() != 0);
}
} // namespace

class tst_NxEncryptedSocket : public QObject
{
    Q_OBJECT
private slots:
    void serverHoldsEventsUntilTheAnnouncementIsComplete();
    void clientIsInactiveUntilTheAnnouncementIsComplete();
    void dataBehindTheAnnouncementFollowsOnConnectInTheSameEvent();
    void dataSentBeforeThePeersAnnouncementArrives();
    void reconnectingStartsNewKeystreams();
    void largeExchangeInRandomPieces();
    void slowReaderLosesNothing();
    void peerThatNeverAnnouncesCostsAtMost512Bytes();
    void errorsAndClosing();
    void hostNameIsLookedUp();
};

void tst_NxEncryptedSocket::serverHoldsEventsUntilTheAnnouncementIsComplete()
{
    TNxEncryptedServer server;
    OpenLoopback(server);
    QSignalSpy connects(&server, &TNxEncryptedServer::OnConnect);
    QSignalSpy reads(&server, &TNxEncryptedServer::OnRead);
    QByteArray received;
    connect(&server, &TNxEncryptedServer::OnRead, this,
            [&](TNxEncryptedConnection *connection) { received += server.ReceiveText(connection); });

    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1; }));
    TNxEncryptedConnection *connection = server.Connections().constFirst();
    QVERIFY(WaitUntil([&] { return peer->Wire().size() == 512; }));
    QCOMPARE(peer->Wire(), IdentityAnnouncement());

    const QByteArray announcement = IdentityAnnouncement();
    for (int k = 0; k < 512; ++k) {
        peer->SendRaw(announcement.mid(k, 1));
        QVERIFY2(WaitUntil([&] { return connection->Keys().AnnouncementBuffer().size() == k + 1; }),
                 qPrintable(QStringLiteral("byte %1").arg(k)));
        QCOMPARE(connects.size(), k == 511 ? 1 : 0);
        QCOMPARE(reads.size(), k == 511 ? 1 : 0);
    }
    QVERIFY(connection->Ready());
    QCOMPARE(received, QByteArray());

    peer->SendEnciphered("after");
    QVERIFY(WaitUntil([&] { return received == "after"; }));
    QCOMPARE(connects.size(), 1);
}

void tst_NxEncryptedSocket::clientIsInactiveUntilTheAnnouncementIsComplete()
{
    TRawServer raw;
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(raw.Port());
    QCOMPARE(client.Host(), QStringLiteral("127.0.0.1"));
    QSignalSpy connects(&client, &TNxEncryptedClient::OnConnect);
    QSignalSpy reads(&client, &TNxEncryptedClient::OnRead);
    QByteArray received;
    connect(&client, &TNxEncryptedClient::OnRead, this, [&] { received += client.ReceiveText(); });
    client.Open();
    QVERIFY(WaitUntil([&] { return raw.Peers().size() == 1 && raw.Peers()[0]->Wire().size() == 512; }));
    TRawPeer &peer = *raw.Peers()[0];
    QCOMPARE(peer.Wire(), IdentityAnnouncement());

    const QByteArray announcement = IdentityAnnouncement();
    for (const auto &[from, length] : {std::pair{0, 100}, std::pair{100, 411}}) {
        peer.SendRaw(announcement.mid(from, length));
        QVERIFY(WaitUntil([&] { return client.Keys().AnnouncementBuffer().size() == from + length; }));
        QCOMPARE(client.Socket()->state(), QAbstractSocket::ConnectedState);
        QVERIFY(!client.Active());
        QVERIFY(!client.Connected());
        QCOMPARE(connects.size(), 0);
        // Nothing of the announcement reaches the application.
        QCOMPARE(client.ReceiveText(), QByteArray());
    }
    peer.SendRaw(announcement.right(1) + peer.Encipher("tail"));
    QVERIFY(WaitUntil([&] { return connects.size() == 1; }));
    QVERIFY(client.Active());
    QVERIFY(client.Connected());
    QCOMPARE(reads.size(), 1);
    QCOMPARE(received, QByteArray("tail"));
}

void tst_NxEncryptedSocket::dataBehindTheAnnouncementFollowsOnConnectInTheSameEvent()
{
    TNxEncryptedServer server;
    OpenLoopback(server);
    QStringList events;
    bool eventOver = false;
    connect(&server, &TNxEncryptedServer::OnConnect, this, [&](TNxEncryptedConnection *) {
        events << QStringLiteral("connect");
        QVERIFY(TSocketEventScope::InSocketEvent());
        // Tied to the server, a local: the timer must not outlive this test's variables.
        QTimer::singleShot(0, &server, [&] { eventOver = true; });
    });
    connect(&server, &TNxEncryptedServer::OnRead, this, [&](TNxEncryptedConnection *connection) {
        QVERIFY(TSocketEventScope::InSocketEvent());
        events << QStringLiteral("read %1 %2")
                      .arg(QString::fromLatin1(server.ReceiveText(connection)),
                           eventOver ? QStringLiteral("later") : QStringLiteral("same event"));
    });

    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    // Sent at once, without waiting for the server's announcement.
    peer->SendRaw(IdentityAnnouncement() + peer->Encipher("hello"));
    QVERIFY(WaitUntil([&] { return events.size() >= 2; }));
    QCOMPARE(events, (QStringList{QStringLiteral("connect"), QStringLiteral("read hello same event")}));
    QVERIFY(!TSocketEventScope::InSocketEvent());
}

void tst_NxEncryptedSocket::dataSentBeforeThePeersAnnouncementArrives()
{
    // Server side: it sends as soon as the client is accepted.
    TNxEncryptedServer server;
    OpenLoopback(server);
    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1; }));
    TNxEncryptedConnection *accepted = server.Connections().constFirst();
    QVERIFY(!accepted->Ready());
    QVERIFY(server.SendText(accepted, "early"));
    QVERIFY(server.SendText(accepted, " bird"));
    QVERIFY(WaitUntil([&] { return peer->Plain() == "early bird"; }));
    QCOMPARE(peer->Wire().left(512), IdentityAnnouncement());

    // Client side: it sends the moment its TCP connection is up.
    TRawServer raw;
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(raw.Port());
    connect(client.Socket(), &QAbstractSocket::connected, this, [&] { QVERIFY(client.SendText("first words")); });
    QSignalSpy connects(&client, &TNxEncryptedClient::OnConnect);
    client.Open();
    QVERIFY(WaitUntil([&] { return raw.Peers().size() == 1 && raw.Peers()[0]->Plain() == "first words"; }));
    QCOMPARE(connects.size(), 0);
    TRawPeer &serverEnd = *raw.Peers()[0];
    serverEnd.SendRaw(IdentityAnnouncement());
    QVERIFY(WaitUntil([&] { return connects.size() == 1; }));
    QVERIFY(client.SendText("more"));
    QVERIFY(WaitUntil([&] { return serverEnd.Plain() == "first wordsmore"; }));
}

void tst_NxEncryptedSocket::reconnectingStartsNewKeystreams()
{
    // The server echoes; a side that kept its old keys or skipped its announcement would
    // garble the second round or never become ready.
    TNxEncryptedServer server;
    OpenLoopback(server);
    connect(&server, &TNxEncryptedServer::OnRead, this, [&](TNxEncryptedConnection *connection) {
        // OnRead also follows OnConnect with nothing to read.
        const QByteArray text = server.ReceiveText(connection);
        if (!text.isEmpty())
            server.SendText(connection, "echo:" + text);
    });
    QSignalSpy serverConnects(&server, &TNxEncryptedServer::OnConnect);
    QSignalSpy serverDisconnects(&server, &TNxEncryptedServer::OnDisconnect);
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server.Port());
    QByteArray received;
    connect(&client, &TNxEncryptedClient::OnRead, this, [&] { received += client.ReceiveText(); });
    connect(&client, &TNxEncryptedClient::OnConnect, this, [&] { client.SendText("hello"); });
    QSignalSpy clientDisconnects(&client, &TNxEncryptedClient::OnDisconnect);
    for (int round = 1; round <= 3; ++round) {
        received.clear();
        client.SetActive(true);
        QVERIFY(WaitUntil([&] { return received == "echo:hello"; }));
        QVERIFY(client.Active());
        QCOMPARE(serverConnects.size(), round);
        client.SetActive(false);
        QVERIFY(WaitUntil([&] { return serverDisconnects.size() == round && clientDisconnects.size() == round; }));
        QVERIFY(WaitUntil([&] { return server.Connections().isEmpty(); }));
        QVERIFY(!client.Active());
    }
}

void tst_NxEncryptedSocket::largeExchangeInRandomPieces()
{
    constexpr qsizetype Size = 3 * 1024 * 1024;
    const QByteArray fromClient = RandomBytes(Size, 1);
    const QByteArray fromServer = RandomBytes(Size, 2);
    QRandomGenerator pieces(3);
    auto sendInPieces = [&pieces](const QByteArray &data, const std::function<bool(QByteArrayView)> &send) {
        for (qsizetype at = 0; at < data.size();) {
            const qsizetype piece = std::min<qsizetype>(data.size() - at, 1 + pieces.bounded(70000));
            QVERIFY(send(QByteArrayView(data).sliced(at, piece)));
            at += piece;
        }
    };

    TNxEncryptedServer server;
    OpenLoopback(server);
    QByteArray atServer;
    connect(&server, &TNxEncryptedServer::OnConnect, this, [&](TNxEncryptedConnection *connection) {
        sendInPieces(fromServer, [&](QByteArrayView piece) { return server.SendText(connection, piece); });
    });
    connect(&server, &TNxEncryptedServer::OnRead, this,
            [&](TNxEncryptedConnection *connection) { atServer += server.ReceiveText(connection); });

    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server.Port());
    QByteArray atClient;
    connect(&client, &TNxEncryptedClient::OnConnect, this,
            [&] { sendInPieces(fromClient, [&](QByteArrayView piece) { return client.SendText(piece); }); });
    connect(&client, &TNxEncryptedClient::OnRead, this, [&] { atClient += client.ReceiveText(); });
    client.Open();

    QVERIFY(WaitUntil([&] { return atServer.size() >= Size && atClient.size() >= Size; }, 60000));
    QCOMPARE(atServer.size(), Size);
    QCOMPARE(atClient.size(), Size);
    QVERIFY(atServer == fromClient);
    QVERIFY(atClient == fromServer);
}

void tst_NxEncryptedSocket::slowReaderLosesNothing()
{
    constexpr qsizetype Size = 12 * 1024 * 1024;
    const QByteArray data = RandomBytes(Size, 4);
    TNxEncryptedServer server;
    OpenLoopback(server);
    bool reading = false;
    QByteArray received;
    connect(&server, &TNxEncryptedServer::OnRead, this, [&](TNxEncryptedConnection *connection) {
        if (reading)
            received += server.ReceiveText(connection);
    });
    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    peer->SendRaw(IdentityAnnouncement() + peer->Encipher(data));
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1 && server.Connections()[0]->Ready(); }));
    QTcpSocket *socket = server.Connections()[0]->Socket();
    // Unread data fills the buffer up to its limit and no further.
    QVERIFY(WaitUntil([&] { return socket->bytesAvailable() >= TNxEncryptedConnection::ReadBufferLimit; }));
    QCOMPARE(socket->bytesAvailable(), TNxEncryptedConnection::ReadBufferLimit);

    reading = true;
    received += server.ReceiveText(server.Connections()[0]);
    QVERIFY(WaitUntil([&] { return received.size() >= Size; }, 60000));
    QVERIFY(received == data);
}

void tst_NxEncryptedSocket::peerThatNeverAnnouncesCostsAtMost512Bytes()
{
    TNxEncryptedServer server;
    OpenLoopback(server);
    QSignalSpy connects(&server, &TNxEncryptedServer::OnConnect);
    QSignalSpy disconnects(&server, &TNxEncryptedServer::OnDisconnect);
    QSignalSpy reads(&server, &TNxEncryptedServer::OnRead);

    auto quitter = ConnectRaw(server.Port());
    QVERIFY(quitter);
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1; }));
    QPointer<TNxEncryptedConnection> gone = server.Connections().constFirst();
    quitter->SendRaw(IdentityAnnouncement().left(511));
    QVERIFY(WaitUntil([&] { return gone->Keys().AnnouncementBuffer().size() == 511; }));
    QCOMPARE(gone->Socket()->bytesAvailable(), 0);
    quitter->Socket()->disconnectFromHost();
    QVERIFY(WaitUntil([&] { return gone.isNull(); }));
    QVERIFY(server.Connections().isEmpty());
    QCOMPARE(connects.size(), 0);
    QCOMPARE(disconnects.size(), 0);
    QCOMPARE(reads.size(), 0);

    // An announcement with data glued on: only the announcement is taken as such.
    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1; }));
    TNxEncryptedConnection *connection = server.Connections().constFirst();
    qint64 leftForReading = -1;
    connect(&server, &TNxEncryptedServer::OnConnect, this,
            [&](TNxEncryptedConnection *ready) { leftForReading = ready->Socket()->bytesAvailable(); });
    peer->SendRaw(IdentityAnnouncement().left(300));
    QVERIFY(WaitUntil([&] { return connection->Keys().AnnouncementBuffer().size() == 300; }));
    peer->SendRaw(IdentityAnnouncement().mid(300) + peer->Encipher(QByteArray(89, 'd')));
    QVERIFY(WaitUntil([&] { return connects.size() == 1; }));
    QCOMPARE(leftForReading, 89);
    QCOMPARE(connection->Keys().AnnouncementBuffer(), IdentityAnnouncement());
    QCOMPARE(server.ReceiveText(connection), QByteArray(89, 'd'));
}

void tst_NxEncryptedSocket::errorsAndClosing()
{
    TNxEncryptedServer server;
    OpenLoopback(server);

    // The port is taken.
    TNxEncryptedServer second;
    second.SetListenAddress(QHostAddress::LocalHost);
    second.SetPort(server.Port());
    QVERIFY(!second.Open());
    QVERIFY(!second.Active());
    QVERIFY(!second.ErrorString().isEmpty());

    // Nobody listens.
    TNxEncryptedClient refused;
    refused.SetHost(QStringLiteral("127.0.0.1"));
    refused.SetPort(second.Port());
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        refused.SetPort(probe.serverPort());
    }
    QSignalSpy refusedErrors(&refused, &TNxEncryptedClient::OnError);
    QSignalSpy refusedDisconnects(&refused, &TNxEncryptedClient::OnDisconnect);
    refused.Open();
    QVERIFY(WaitUntil([&] { return refusedErrors.size() == 1; }));
    QCOMPARE(refusedErrors[0][0].value<QAbstractSocket::SocketError>(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(refusedDisconnects.size(), 0);
    QVERIFY(!refused.Active());

    // Closing the server closes its ready clients; the remote end closing is no error.
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server.Port());
    QSignalSpy clientConnects(&client, &TNxEncryptedClient::OnConnect);
    QSignalSpy clientDisconnects(&client, &TNxEncryptedClient::OnDisconnect);
    QSignalSpy clientErrors(&client, &TNxEncryptedClient::OnError);
    QSignalSpy serverDisconnects(&server, &TNxEncryptedServer::OnDisconnect);
    client.Open();
    QVERIFY(WaitUntil([&] {
        return clientConnects.size() == 1 && server.Connections().size() == 1 && server.Connections()[0]->Ready();
    }));
    server.Close();
    QVERIFY(!server.Active());
    QVERIFY(WaitUntil([&] { return clientDisconnects.size() == 1 && serverDisconnects.size() == 1; }));
    QCOMPARE(clientErrors.size(), 0);
    QVERIFY(!client.Active());
    QVERIFY(!client.SendText("into the void"));
}

void tst_NxEncryptedSocket::hostNameIsLookedUp()
{
    TNxEncryptedServer server;
    OpenLoopback(server);
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("localhost"));
    client.SetPort(server.Port());
    QSignalSpy connects(&client, &TNxEncryptedClient::OnConnect);
    client.Open();
    QVERIFY(WaitUntil([&] { return connects.size() == 1; }));
    QVERIFY(client.Socket()->peerAddress().isLoopback());
    client.Close();

    // A name that starts with a digit is still a name: the look-up fails, not the address.
    TNxEncryptedClient named;
    named.SetHost(QStringLiteral("3dfx.invalid"));
    named.SetPort(server.Port());
    QSignalSpy errors(&named, &TNxEncryptedClient::OnError);
    named.Open();
    QVERIFY(WaitUntil([&] { return errors.size() == 1; }, 30000));
    QCOMPARE(errors[0][0].value<QAbstractSocket::SocketError>(), QAbstractSocket::HostNotFoundError);
}

QTEST_GUILESS_MAIN(tst_NxEncryptedSocket)
#include "tst_NxEncryptedSocket.moc"
