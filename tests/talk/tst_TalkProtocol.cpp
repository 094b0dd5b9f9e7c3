// The talk stream engine: key exchange, alias, display rules and hostile peers, with the
// wire checked against an encoder of the test's own and every stream fed whole, byte by
// byte and cut at every position; then talk connections and the waiting room of a talk
// server over real loopback sockets.
#include "common/Loopback.h"
#include "talk/TalkConnection.h"
#include "talk/TalkProtocol.h"
#include "talk/TalkServer.h"
#include "talk/TalkTestKit.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

namespace {
const QByteArray Key = "1F2E3D4C5B6A79880123456789ABCDEF";

// Everything a read sequence leaves behind, as text, to compare feeds split in different ways.
QString Feed(const QByteArray &stream, const QList<qsizetype> &cuts)
{
    TModelDisplay display;
    TMemoryLink link;
    TTalkProtocol engine(false, "me", display, link, CountingRandom(1));
    bool ok = true;
    qsizetype from = 0;
    for (const qsizetype end : cuts + QList<qsizetype>{stream.size()}) {
        ok = engine.ProcessIncoming(QByteArrayView(stream).sliced(from, end - from)) && ok;
        from = end;
    }
    return QStringLiteral("ok=%1 keyed=%2 awaitingName=%3 ctl=%4 error=%5 beeps=%6 name=%7 text=%8")
        .arg(ok)
        .arg(display.keyExchanges)
        .arg(engine.AwaitingName())
        .arg(engine.InControl())
        .arg(int(engine.Error()))
        .arg(display.beeps)
        .arg(display.name, display.text);
}

// Whole, byte by byte and cut once at every position: the same outcome each time.
QString FeedEveryWay(const QByteArray &stream)
{
    const QString whole = Feed(stream, {});
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < stream.size(); ++i)
        everyByte << i;
    [&] { QCOMPARE(Feed(stream, everyByte), whole); }();
    for (qsizetype cut = 0; cut <= stream.size() && !QTest::currentTestFailed(); ++cut)
        [&] { QCOMPARE(Feed(stream, {cut}), whole); }();
    return whole;
}

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
} // namespace

class TestTalkProtocol : public QObject
{
    Q_OBJECT

private slots:
    void keyExchangeBothWays();
    void ownAliasAndKeyWithinPeerBounds();
    void displayRules_data();
    void displayRules();
    void hostilePeers_data();
    void hostilePeers();
    void noRandomNumbers();
    void peerCloseEndsConversation();
    void floodIsShownInSlices();
    void waitingRoomIsBounded();
};

void TestTalkProtocol::keyExchangeBothWays()
{
    TModelDisplay acceptingDisplay, initiatorDisplay;
    TMemoryLink toInitiator, toAccepting;
    TTalkProtocol accepting(false, "Ace", acceptingDisplay, toInitiator, CountingRandom(3, 7));
    bool initiatorAwaitingKeyWhenKeying = true;
    TTalkProtocol *initiatorPtr = nullptr;
    auto initiatorRandom = [&, inner = CountingRandom(200, 13)]() mutable {
        initiatorAwaitingKeyWhenKeying = initiatorPtr->AwaitingKey();
        return inner();
    };
    TTalkProtocol initiator(true, "Bee", initiatorDisplay, toAccepting, initiatorRandom);
    initiatorPtr = &initiator;

    // The accepting side speaks first; the initiator answers only once it has the key.
    QVERIFY(accepting.SendKey());
    QVERIFY(toAccepting.written.isEmpty());
    const QByteArray acceptingKey = accepting.SentKey();
    QVERIFY(!acceptingKey.isEmpty() && acceptingKey.size() <= 512);
    QCOMPARE(acceptingKey, acceptingKey.toUpper());
    QVERIFY(toInitiator.written.startsWith(acceptingKey + '='));
    QCOMPARE(Cipher(acceptingKey, toInitiator.written.mid(acceptingKey.size() + 1)), QByteArray("Ace\0", 4));

    QVERIFY(initiator.ProcessIncoming(toInitiator.written));
    QVERIFY(!initiatorAwaitingKeyWhenKeying);
    const QByteArray initiatorKey = initiator.SentKey();
    QVERIFY(initiatorKey != acceptingKey);
    QCOMPARE(Cipher(initiatorKey, toAccepting.written.mid(initiatorKey.size() + 1)), QByteArray("Bee\0", 4));
    QVERIFY(accepting.ProcessIncoming(toAccepting.written));
    QCOMPARE(acceptingDisplay.name, QStringLiteral("Bee"));
    QCOMPARE(initiatorDisplay.name, QStringLiteral("Ace"));
    QCOMPARE(acceptingDisplay.keyExchanges, 1);
    QCOMPARE(initiatorDisplay.keyExchanges, 1);

    // Each direction continues its own keystream.
    toInitiator.written.clear();
    toAccepting.written.clear();
    accepting.SendBytes("hi");
    initiator.SendBytes(QByteArray("yo\0\x0D!", 5));
    QVERIFY(initiator.ProcessIncoming(toInitiator.written));
    QVERIFY(accepting.ProcessIncoming(toAccepting.written));
    QCOMPARE(initiatorDisplay.text, QStringLiteral("hi"));
    QCOMPARE(acceptingDisplay.text, QStringLiteral("yo\n!"));
}

void TestTalkProtocol::ownAliasAndKeyWithinPeerBounds()
{
    // An alias the peer would refuse is cut at a character boundary; a zero byte ends it.
    // All-zero random bytes give an empty key text; a first byte below 16 one digit less.
    QByteArray longAlias(TTalkProtocol::MaxNameBytes - 1, 'a');
    longAlias += "\xC3\xA9tail";
    struct TCase
    {
        QByteArray alias, sent;
        TRandomByteSource random;
        int keyDigits;
    };
    for (const TCase &c : {TCase{longAlias, longAlias.left(1023), CountingRandom(0x10, 0), 512},
                           TCase{QByteArray("ab\0cd", 5), "ab", CountingRandom(0, 0), 0},
                           TCase{"z", "z", CountingRandom(0x0F, 0), 511}}) {
        TModelDisplay display, peerDisplay;
        TMemoryLink link, back;
        TTalkProtocol sender(false, c.alias, display, link, c.random);
        QVERIFY(sender.SendKey());
        QCOMPARE(sender.Alias(), c.sent);
        QCOMPARE(sender.SentKey().size(), c.keyDigits);
        TTalkProtocol receiver(true, "r", peerDisplay, back, CountingRandom(9));
        QVERIFY(receiver.ProcessIncoming(link.written));
        QCOMPARE(peerDisplay.name, QString::fromUtf8(c.sent));
    }
}

void TestTalkProtocol::displayRules_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<bool>("inControl");
    const QByteArray z(1, '\0');
    QTest::addRow("characters") << QByteArray("Hello, world ~") << "Hello, world ~" << 0 << false;
    QTest::addRow("backspace") << "abc" + z + "\x08"
                               << "ab" << 0 << false;
    QTest::addRow("enter") << "a" + z + "\x0D" + "b"
                           << "a\nb" << 0 << false;
    QTest::addRow("backspace takes a line break whole") << "a" + z + "\x0D" + z + "\x08"
                                                        << "a" << 0 << false;
    QTest::addRow("backspaces past the start") << "ab" + (z + "\x08").repeated(3) + "c"
                                               << "c" << 0 << false;
    QTest::addRow("beep") << z + "G" + z + "G"
                          << "" << 2 << false;
    QTest::addRow("unknown control ignored") << "a" + z + "\x05" + "b" + z + "g"
                                             << "ab" << 0 << false;
    QTest::addRow("zero after escape does nothing") << z + z + "a"
                                                    << "a" << 0 << false;
    QTest::addRow("escape left open") << "a" + z << "a" << 0 << true;
    QTest::addRow("raw line breaks") << QByteArray("a\rb\nc") << "a\nb\nc" << 0 << false;
    QTest::addRow("raw control byte") << QByteArray("\x01") << QString(QChar(QChar::ReplacementCharacter)) << 0
                                      << false;
    QTest::addRow("high bytes") << QByteArray("\x80\xE9") << QStringLiteral("\u20AC\u00E9") << 0 << false;
}

void TestTalkProtocol::displayRules()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, text);
    QFETCH(int, beeps);
    QFETCH(bool, inControl);
    QCOMPARE(FeedEveryWay(EncodeStream(Key, "Peer", payload)),
             QStringLiteral("ok=1 keyed=1 awaitingName=0 ctl=%1 error=0 beeps=%2 name=Peer text=%3")
                 .arg(inControl)
                 .arg(beeps)
                 .arg(text));
}

void TestTalkProtocol::hostilePeers_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("error");
    using E = TTalkProtocol::TError;
    const qsizetype maxKey = TTalkProtocol::MaxKeyDigits;
    const qsizetype maxName = TTalkProtocol::MaxNameBytes;
    QTest::addRow("key digits at the limit, no =") << QByteArray(maxKey, 'A') << int(E::None);
    QTest::addRow("one key digit past the limit") << QByteArray(maxKey + 1, 'A') << int(E::KeyTooLong);
    QTest::addRow("long key at the limit with =") << EncodeStream(QByteArray(maxKey, 'b'), "x", "y") << int(E::None);
    QTest::addRow("not hexadecimal") << QByteArray("12G4=") << int(E::KeyNotHex);
    QTest::addRow("not hexadecimal, never an =") << QByteArray("xyz") << int(E::KeyNotHex);
    QTest::addRow("sign inside the key") << QByteArray("12-4=") << int(E::KeyNotHex);
    QTest::addRow("alias at the limit, no zero")
        << EncodeStream(Key, QByteArray(maxName, 'n'), {}).chopped(1) << int(E::None);
    QTest::addRow("alias one past the limit")
        << EncodeStream(Key, QByteArray(maxName + 1, 'n'), {}).chopped(1) << int(E::NameTooLong);
}

void TestTalkProtocol::hostilePeers()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, error);
    const bool ok = error == int(TTalkProtocol::TError::None);
    const QString outcome = FeedEveryWay(stream);
    QVERIFY2(outcome.startsWith(QStringLiteral("ok=%1 ").arg(ok)), qPrintable(outcome.left(100)));
    QVERIFY2(outcome.contains(QStringLiteral(" error=%1 ").arg(error)), qPrintable(outcome.left(100)));
    if (ok)
        return;
    // A dropped connection shows nothing more, whatever follows.
    TModelDisplay display;
    TMemoryLink link;
    TTalkProtocol engine(true, "me", display, link, CountingRandom(1));
    QVERIFY(!engine.ProcessIncoming(stream));
    QVERIFY(!engine.ErrorText().isEmpty());
    // A bad key is answered with nothing; after any failure nothing more goes out.
    QCOMPARE(link.written.isEmpty(), error != int(TTalkProtocol::TError::NameTooLong));
    const QByteArray sent = link.written;
    QVERIFY(!engine.ProcessIncoming(EncodeStream(Key, "late", "text")));
    engine.SendBytes("x");
    QCOMPARE(display.edits, 0);
    QCOMPARE(link.written, sent);
}

void TestTalkProtocol::noRandomNumbers()
{
    const QString message = QStringLiteral("Unable to generate random number, random seed not initialized!");
    for (const int after : {0, 100, 255}) {
        TModelDisplay display;
        TMemoryLink link;
        TTalkProtocol accepting(false, "me", display, link, FailingRandom(after));
        QVERIFY(!accepting.SendKey());
        QCOMPARE(accepting.ErrorText(), message);
        QCOMPARE(accepting.Error(), TTalkProtocol::TError::NoRandom);
        accepting.SendBytes("x");
        QVERIFY(link.written.isEmpty());
    }
    // The initiator keys after reading the peer's key: it then sends nothing and stops.
    TModelDisplay display;
    TMemoryLink link;
    TTalkProtocol initiator(true, "me", display, link, FailingRandom(3));
    QVERIFY(!initiator.ProcessIncoming(EncodeStream(Key, "Peer", "hello")));
    QCOMPARE(initiator.ErrorText(), message);
    QVERIFY(link.written.isEmpty());
    QCOMPARE(display.keyExchanges, 0);
    QCOMPARE(display.edits, 0);
}

void TestTalkProtocol::peerCloseEndsConversation()
{
    // Closing after the alias: the initiator hears of it once; what came with the close is
    // still shown.
    TAcceptor acceptor;
    QVERIFY(acceptor.Listen());
    TModelDisplay display;
    TTalkConnection initiator(nullptr, "Initiator", display, CountingRandom(99, 5));
    QSignalSpy ended(&initiator, &TTalkConnection::Ended);
    initiator.ConnectTo(acceptor.address.toString(), acceptor.server.serverPort());
    QVERIFY(acceptor.Accept());
    QTRY_VERIFY(acceptor.connection->KeyExchanged());
    acceptor.connection->Send("bye");
    acceptor.connection->Disconnect();
    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.at(0).at(0).value<TEnd>(), TEnd::Disconnected);
    QCOMPARE(display.text, QStringLiteral("bye"));
    QVERIFY(!ended.wait(50));
}

void TestTalkProtocol::floodIsShownInSlices()
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

void TestTalkProtocol::waitingRoomIsBounded()
{
    TTalkServer server;
    QVERIFY(server.Listen(0));
    const QHostAddress address = RandomLoopback();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < TTalkServer::MaxWaiting + 2; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(address, server.Port());
        QVERIFY(clients.back()->waitForConnected(5000));
        QTRY_COMPARE(server.WaitingCount(), std::min(i + 1, TTalkServer::MaxWaiting));
    }
    // The last two were refused: their connections close.
    for (int i = TTalkServer::MaxWaiting; i < int(clients.size()); ++i)
        QTRY_COMPARE(clients[i]->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(clients[0]->state(), QAbstractSocket::ConnectedState);

    // Answered ones leave the room: one taken, one refused, and a newcomer fits again.
    QTcpSocket *first = server.NextWaiting();
    QVERIFY(first);
    std::unique_ptr<QTcpSocket> taken(server.Take(first));
    QVERIFY(taken);
    server.Refuse(server.NextWaiting());
    QTRY_COMPARE(clients[1]->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server.WaitingCount(), TTalkServer::MaxWaiting - 2);
    QTcpSocket late;
    late.connectToHost(address, server.Port());
    QTRY_COMPARE(server.WaitingCount(), TTalkServer::MaxWaiting - 1);
    QCOMPARE(late.state(), QAbstractSocket::ConnectedState);
    // Those that leave while waiting leave the room, and cannot be taken any more.
    QPointer<QTcpSocket> waiting(server.NextWaiting());
    for (int i = 2; i < TTalkServer::MaxWaiting; ++i)
        clients[i]->abort();
    late.abort();
    QTRY_VERIFY(!server.NextWaiting());
    QVERIFY(!server.Take(waiting.data()));
    QCOMPARE(server.WaitingCount(), 0);
}

QTEST_GUILESS_MAIN(TestTalkProtocol)
#include "tst_TalkProtocol.moc"
