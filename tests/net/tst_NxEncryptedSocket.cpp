#include "net/NxEncryptedSocket.h"
#include "net/SocketEventScope.h"

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
bool WaitUntil(const std::function<bool()> &done, int ms = 15000)
{
    return QTest::qWaitFor(done, ms);
}

// What every fresh end announces (its checks against the bytes are in tst_NxKeys).
QByteArray IdentityAnnouncement()
{
    return TNxKeys().Announcement();
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

void OpenLoopback(TNxEncryptedServer &server)
{
    server.SetListenAddress(QHostAddress::LocalHost);
    server.SetPort(0);
    QVERIFY(server.Open() && server.Active());
}
} // namespace

class tst_NxEncryptedSocket : public QObject
{
    Q_OBJECT
private slots:
    void serverWaitsForTheWholeAnnouncement();
    void clientWaitsForTheWholeAnnouncement();
    void reconnectingStartsNewKeystreams();
    void largeExchangeWithASlowReader();
    void errorsAndClosing();
};

// The server tells of a connection only once the peer's announcement is whole: a peer that
// leaves before costs at most 512 bytes and no event; data glued behind the announcement
// follows OnConnect in the same socket event. The server may send before that.
void tst_NxEncryptedSocket::serverWaitsForTheWholeAnnouncement()
{
    TNxEncryptedServer server;
    OpenLoopback(server);
    QSignalSpy disconnects(&server, &TNxEncryptedServer::OnDisconnect);
    QStringList events;
    bool eventOver = false;
    qint64 leftForReading = -1;
    connect(&server, &TNxEncryptedServer::OnConnect, this, [&](TNxEncryptedConnection *connection) {
        events << QStringLiteral("connect");
        QVERIFY(TSocketEventScope::InSocketEvent());
        leftForReading = connection->Socket()->bytesAvailable();
        // Tied to the server, a local: the timer must not outlive this test's variables.
        QTimer::singleShot(0, &server, [&] { eventOver = true; });
    });
    connect(&server, &TNxEncryptedServer::OnRead, this, [&](TNxEncryptedConnection *connection) {
        QVERIFY(TSocketEventScope::InSocketEvent());
        events << QStringLiteral("read %1 %2")
                      .arg(QString::fromLatin1(server.ReceiveText(connection)),
                           eventOver ? QStringLiteral("later") : QStringLiteral("same event"));
    });

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
    QVERIFY(events.isEmpty());
    QCOMPARE(disconnects.size(), 0);

    auto peer = ConnectRaw(server.Port());
    QVERIFY(peer);
    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1; }));
    TNxEncryptedConnection *connection = server.Connections().constFirst();
    QVERIFY(server.SendText(connection, "early"));
    QVERIFY(server.SendText(connection, " bird"));
    QVERIFY(WaitUntil([&] { return peer->Plain() == "early bird"; }));
    QCOMPARE(peer->Wire().left(512), IdentityAnnouncement());
    peer->SendRaw(IdentityAnnouncement().left(300));
    QVERIFY(WaitUntil([&] { return connection->Keys().AnnouncementBuffer().size() == 300; }));
    QVERIFY(events.isEmpty());
    peer->SendRaw(IdentityAnnouncement().mid(300) + peer->Encipher(QByteArray(89, 'd')));
    QVERIFY(WaitUntil([&] { return events.size() >= 2; }));
    QCOMPARE(events, (QStringList{QStringLiteral("connect"),
                                  QStringLiteral("read ") + QByteArray(89, 'd') + QStringLiteral(" same event")}));
    QCOMPARE(leftForReading, 89);
    QVERIFY(!TSocketEventScope::InSocketEvent());
    peer->SendRaw(peer->Encipher("after"));
    QVERIFY(WaitUntil([&] { return events.size() == 3; }));
    QCOMPARE(events.last(), QStringLiteral("read after later"));
}

// The client is not active until the server's announcement is whole, yet may send from the
// moment its TCP connection is up; nothing of the announcement reaches the application.
void tst_NxEncryptedSocket::clientWaitsForTheWholeAnnouncement()
{
    QTcpServer raw;
    QVERIFY(raw.listen(QHostAddress::LocalHost, 0));
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(raw.serverPort());
    QSignalSpy connects(&client, &TNxEncryptedClient::OnConnect);
    QByteArray received;
    connect(&client, &TNxEncryptedClient::OnRead, this, [&] { received += client.ReceiveText(); });
    connect(client.Socket(), &QAbstractSocket::connected, this, [&] { QVERIFY(client.SendText("first words")); });
    client.Open();
    QVERIFY(raw.waitForNewConnection(5000));
    TRawPeer peer(raw.nextPendingConnection());
    QVERIFY(WaitUntil([&] { return peer.Plain() == "first words"; }));
    QCOMPARE(peer.Wire().left(512), IdentityAnnouncement());

    const QByteArray announcement = IdentityAnnouncement();
    for (const auto &[from, length] : {std::pair{0, 100}, std::pair{100, 411}}) {
        peer.SendRaw(announcement.mid(from, length));
        QVERIFY(WaitUntil([&] { return client.Keys().AnnouncementBuffer().size() == from + length; }));
        QCOMPARE(client.Socket()->state(), QAbstractSocket::ConnectedState);
        QVERIFY(!client.Active() && !client.Connected());
        QCOMPARE(connects.size(), 0);
        QCOMPARE(received, QByteArray());
    }
    peer.SendRaw(announcement.right(1) + peer.Encipher("tail"));
    QVERIFY(WaitUntil([&] { return connects.size() == 1; }));
    QVERIFY(client.Active() && client.Connected());
    QCOMPARE(received, QByteArray("tail"));
    QVERIFY(client.SendText("more"));
    QVERIFY(WaitUntil([&] { return peer.Plain() == "first wordsmore"; }));
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
    client.SetHost(QStringLiteral("localhost")); // a name, looked up
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

// Megabytes both ways in random pieces; the server reads nothing at first, so its buffer
// fills to the limit and no further, and nothing is lost once it reads.
void tst_NxEncryptedSocket::largeExchangeWithASlowReader()
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
    bool reading = false;
    QByteArray atServer;
    connect(&server, &TNxEncryptedServer::OnConnect, this, [&](TNxEncryptedConnection *connection) {
        sendInPieces(fromServer, [&](QByteArrayView piece) { return server.SendText(connection, piece); });
    });
    connect(&server, &TNxEncryptedServer::OnRead, this, [&](TNxEncryptedConnection *connection) {
        if (reading)
            atServer += server.ReceiveText(connection);
    });
    TNxEncryptedClient client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server.Port());
    QByteArray atClient;
    connect(&client, &TNxEncryptedClient::OnConnect, this,
            [&] { sendInPieces(fromClient, [&](QByteArrayView piece) { return client.SendText(piece); }); });
    connect(&client, &TNxEncryptedClient::OnRead, this, [&] { atClient += client.ReceiveText(); });
    client.Open();

    QVERIFY(WaitUntil([&] { return server.Connections().size() == 1 && server.Connections()[0]->Ready(); }));
    QTcpSocket *socket = server.Connections()[0]->Socket();
    QVERIFY(WaitUntil([&] { return socket->bytesAvailable() >= TNxEncryptedConnection::ReadBufferLimit; }));
    QCOMPARE(socket->bytesAvailable(), TNxEncryptedConnection::ReadBufferLimit);
    reading = true;
    atServer += server.ReceiveText(server.Connections()[0]);
    QVERIFY(WaitUntil([&] { return atServer.size() >= Size && atClient.size() >= Size; }, 60000));
    QVERIFY(atServer == fromClient);
    QVERIFY(atClient == fromServer);
}

void tst_NxEncryptedSocket::errorsAndClosing()
{
    TNxEncryptedServer server;
    OpenLoopback(server);

    // Nobody listens on a port that was just free.
    TNxEncryptedClient refused;
    refused.SetHost(QStringLiteral("127.0.0.1"));
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

    // A name that starts with a digit is still a name: the look-up fails, not the address.
    TNxEncryptedClient named;
    named.SetHost(QStringLiteral("3dfx.invalid"));
    named.SetPort(server.Port());
    QSignalSpy namedErrors(&named, &TNxEncryptedClient::OnError);
    named.Open();
    QVERIFY(WaitUntil([&] { return namedErrors.size() == 1; }, 30000));
    QCOMPARE(namedErrors[0][0].value<QAbstractSocket::SocketError>(), QAbstractSocket::HostNotFoundError);

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

QTEST_GUILESS_MAIN(tst_NxEncryptedSocket)
#include "tst_NxEncryptedSocket.moc"
