// Talk connections and the waiting room of a talk server over real loopback sockets, with
// raw sockets playing the hostile peers.
#include "common/Loopback.h"
#include "net/SocketEventScope.h"
#include "talk/TalkConnection.h"
#include "talk/TalkServer.h"
#include "talk/TalkTestKit.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
using TEnd = TTalkConnection::TEnd;

// An accepting talk endpoint built from a plain server socket.
struct TAcceptor
{
    QTcpServer server;
    TModelDisplay display;
    std::unique_ptr<TTalkConnection> connection;
    QHostAddress address = RandomLoopback();

    bool Listen() { return server.listen(address, 0); }
    bool Accept()
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(5000))
            return false;
        connection = std::make_unique<TTalkConnection>(server.nextPendingConnection(), "Acceptor", display,
                                                       CountingRandom(11, 3));
        connection->Start();
        return true;
    }
};

struct TInitiator
{
    TModelDisplay display;
    TTalkConnection connection{nullptr, "Initiator", display, CountingRandom(99, 5)};
};
} // namespace

class TestTalkConnection : public QObject
{
    Q_OBJECT

private slots:
    void peerCloseEndsConversation();
    void hostileServerKey();
    void floodIsShownInSlices();
    void waitingRoomIsBounded();
    void closedWaitingConnectionIsDropped();
};

void TestTalkConnection::peerCloseEndsConversation()
{
    // Closing after the alias: the initiator hears of it once; what came with the close is
    // still shown.
    TAcceptor acceptor;
    QVERIFY(acceptor.Listen());
    TInitiator initiator;
    QSignalSpy ended(&initiator.connection, &TTalkConnection::Ended);
    initiator.connection.ConnectTo(acceptor.address.toString(), acceptor.server.serverPort());
    QVERIFY(acceptor.Accept());
    QTRY_VERIFY_WITH_TIMEOUT(acceptor.connection->KeyExchanged(), 5000);
    acceptor.connection->Send("bye");
    acceptor.connection->Disconnect();
    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.at(0).at(0).value<TEnd>(), TEnd::Disconnected);
    QCOMPARE(initiator.display.text, QStringLiteral("bye"));
    QTest::qWait(50);
    QCOMPARE(ended.size(), 1);
}

void TestTalkConnection::hostileServerKey()
{
    // A "talk window" that answers with a key that is no number: the initiator drops it
    // and sends nothing at all.
    QTcpServer raw;
    const QHostAddress address = RandomLoopback();
    QVERIFY(raw.listen(address, 0));
    TInitiator initiator;
    QSignalSpy ended(&initiator.connection, &TTalkConnection::Ended);
    initiator.connection.ConnectTo(address.toString(), raw.serverPort());
    QVERIFY(raw.waitForNewConnection(5000));
    std::unique_ptr<QTcpSocket> peer(raw.nextPendingConnection());
    peer->write("12AB-Z=");
    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.at(0).at(0).value<TEnd>(), TEnd::Failed);
    QVERIFY(ended.at(0).at(1).toString().contains(QStringLiteral("'-'")));
    QTest::qWait(50);
    QCOMPARE(peer->bytesAvailable(), 0);
    QCOMPARE(initiator.display.edits, 0);
}

void TestTalkConnection::floodIsShownInSlices()
{
    // A peer that types a megabyte at once: shown in bounded slices, the display kept short.
    TAcceptor acceptor;
    QVERIFY(acceptor.Listen());
    QTcpSocket raw;
    raw.connectToHost(acceptor.address, acceptor.server.serverPort());
    QVERIFY(raw.waitForConnected(5000));
    QVERIFY(acceptor.Accept());
    const QByteArray payload = QByteArray(1024 * 1024, 'w') + "end";
    raw.write(EncodeStream("ABCDEF", "flood", payload));
    QTRY_VERIFY_WITH_TIMEOUT(acceptor.display.text.endsWith(QStringLiteral("wend")), 10000);
    QCOMPARE(acceptor.display.text.size(), TalkText::MaxDisplayChars);
    QVERIFY(acceptor.display.edits >= payload.size() / TTalkConnection::ReadChunk);
    QVERIFY(!acceptor.connection->HasEnded());
}

void TestTalkConnection::waitingRoomIsBounded()
{
    TTalkServer server;
    QVERIFY(server.Listen(0));
    const QHostAddress address = RandomLoopback();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < TTalkServer::MaxWaiting + 2; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(address, server.Port());
        QVERIFY(clients.back()->waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(server.WaitingCount(), std::min(i + 1, TTalkServer::MaxWaiting), 5000);
    }
    // The last two were refused: their connections close.
    for (int i = TTalkServer::MaxWaiting; i < int(clients.size()); ++i)
        QTRY_COMPARE_WITH_TIMEOUT(clients[i]->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(clients[0]->state(), QAbstractSocket::ConnectedState);

    // Answered ones leave the room: one taken, one refused, and a newcomer fits again.
    QTcpSocket *first = server.NextWaiting();
    QVERIFY(first);
    std::unique_ptr<QTcpSocket> taken(server.Take(first));
    QVERIFY(taken);
    server.Refuse(server.NextWaiting());
    QTRY_COMPARE_WITH_TIMEOUT(clients[1]->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(server.WaitingCount(), TTalkServer::MaxWaiting - 2);
    QTcpSocket late;
    late.connectToHost(address, server.Port());
    QTRY_COMPARE_WITH_TIMEOUT(server.WaitingCount(), TTalkServer::MaxWaiting - 1, 5000);
    QCOMPARE(late.state(), QAbstractSocket::ConnectedState);
}

void TestTalkConnection::closedWaitingConnectionIsDropped()
{
    TTalkServer server;
    QVERIFY(server.Listen(0));
    QTcpSocket client;
    client.connectToHost(RandomLoopback(), server.Port());
    QTRY_COMPARE_WITH_TIMEOUT(server.WaitingCount(), 1, 5000);
    QPointer<QTcpSocket> waiting(server.NextWaiting());
    client.abort();
    QTRY_VERIFY_WITH_TIMEOUT(!server.NextWaiting(), 5000);
    QVERIFY(!server.Take(waiting.data()));
    QCOMPARE(server.WaitingCount(), 0);
}

QTEST_GUILESS_MAIN(TestTalkConnection)
#include "tst_TalkConnection.moc"
