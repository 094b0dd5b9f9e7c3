// The file server against scripted clients on loopback: exact reply bytes, hostile
// requests, the list snapshot, files that change under it, and send backpressure.
#include "FilePeers.h"
#include "files/FileProtocol.h"
#include "files/FileServerEngine.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace FileProtocol;

class TestFileServerEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void blocksAreCutFromTheListedSize();
    void hostileRequestsKeepTheConnection();
    void openResolvesAgainstTheListLastSent();
    void fileThatShrankClosesTheConnection();
    void sharingRules();
    void requestsWaitWhileTheSendQueueIsFull();

private:
    QString Share(const QString &name, const QByteArray &bytes)
    {
        const QString path = WriteFile(m_dir->filePath(name), bytes);
        return m_engine->AddSharedFile(path).isEmpty() ? path : QString();
    }
    // Connects Client, asks for the list and takes it; true when it was List.
    bool Listed(TScriptedClient &client, const QByteArray &list)
    {
        if (!client.Connect(m_engine->Port()))
            return false;
        client.Send(ListRequest());
        return QTest::qWaitFor([&] { return client.Received().size() >= list.size(); }) && client.Take() == list;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFileServerEngine> m_engine;
};

void TestFileServerEngine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_engine = std::make_unique<TFileServerEngine>();
    QVERIFY(m_engine->Listen(QHostAddress::LocalHost, 0));
}

void TestFileServerEngine::cleanup()
{
    m_engine.reset();
    m_dir.reset();
}

void TestFileServerEngine::blocksAreCutFromTheListedSize()
{
    const QByteArray bytes = SeededBytes(2500);
    QVERIFY(!Share(QStringLiteral("level.d3l"), bytes).isEmpty());
    TScriptedClient client;
    QVERIFY(Listed(client, Hex("02") + "level.d3l" + Hex("00c409000000")));
    // Open and all block requests in one piece, then the same split byte by byte.
    const QByteArray requests = OpenRequest(0) + BlockRequest(0) + BlockRequest(1) + BlockRequest(2) + BlockRequest(3) +
                                BlockRequest(0xFFFFFFFF);
    const QByteArray expected = BlockReplyHeader(0) + bytes.mid(0, 1024) + BlockReplyHeader(1) + bytes.mid(1024, 1024) +
                                BlockReplyHeader(2) + bytes.mid(2048, 452) + BlockReplyHeader(3) +
                                BlockReplyHeader(0xFFFFFFFF);
    client.Send(requests);
    QTRY_COMPARE(client.Received().size(), expected.size());
    QCOMPARE(client.Take(), expected);
    for (char c : requests)
        client.Send(QByteArray(1, c));
    QTRY_COMPARE(client.Received().size(), expected.size());
    QCOMPARE(client.Take(), expected);
}

void TestFileServerEngine::hostileRequestsKeepTheConnection()
{
    QVERIFY(!Share(QStringLiteral("a.bin"), SeededBytes(100)).isEmpty());
    QSignalSpy problems(m_engine.get(), &TFileServerEngine::Problem);
    TScriptedClient client;
    QVERIFY(client.Connect(m_engine->Port()));
    // Before any list or open: nothing to serve, nothing sent.
    client.Send(BlockRequest(0) + OpenRequest(0) + BlockRequest(0) + Hex("09ff06") + BlockRequest(1));
    client.Send(ListRequest());
    const QByteArray list = Hex("02") + "a.bin" + Hex("006400000000");
    QTRY_COMPARE(client.Received(), list);
    client.Take();
    // Positions outside the list, twice: still nothing, and logged once.
    client.Send(OpenRequest(1) + BlockRequest(0) + OpenRequest(0xFFFFFFFF) + BlockRequest(0) + Hex("00") +
                OpenRequest(0) + BlockRequest(0));
    const QByteArray block = BlockReplyHeader(0) + SeededBytes(100);
    QTRY_COMPARE(client.Received(), block);
    QVERIFY(!client.Closed());
    QCOMPARE(problems.size(), 3); // no file open, unknown command, bad position: once each
}

void TestFileServerEngine::openResolvesAgainstTheListLastSent()
{
    const QByteArray b = SeededBytes(300, 2);
    const QByteArray c = SeededBytes(400, 3);
    QVERIFY(!Share(QStringLiteral("b.bin"), b).isEmpty());
    const QString cPath = Share(QStringLiteral("c.bin"), c);
    QVERIFY(!cPath.isEmpty());
    TScriptedClient client;
    QVERIFY(Listed(client, Hex("02") + "b.bin" + Hex("002c010000") + "c.bin" + Hex("009001000000")));
    // A file that sorts first is added: position 0 is still b.bin for this client.
    const QByteArray a = SeededBytes(200, 1);
    QVERIFY(!Share(QStringLiteral("a.bin"), a).isEmpty());
    client.Send(OpenRequest(0) + BlockRequest(0));
    QTRY_COMPARE(client.Received(), BlockReplyHeader(0) + b);
    client.Take();
    // A file removed since the list is not served.
    m_engine->RemoveSharedFile(cPath);
    client.Send(OpenRequest(1) + BlockRequest(0) + ListRequest());
    QTRY_COMPARE(client.Received(), Hex("02") + "a.bin" + Hex("00c8000000") + "b.bin" + Hex("002c01000000"));
    client.Take();
    client.Send(OpenRequest(0) + BlockRequest(0));
    QTRY_COMPARE(client.Received(), BlockReplyHeader(0) + a);
}

void TestFileServerEngine::fileThatShrankClosesTheConnection()
{
    const QByteArray grows = SeededBytes(2500, 4);
    const QString growsPath = Share(QStringLiteral("grows.bin"), grows);
    const QString shrinksPath = Share(QStringLiteral("shrinks.bin"), SeededBytes(5000, 5));
    QVERIFY(WriteFile(growsPath, grows + SeededBytes(3000, 6)) == growsPath);
    QVERIFY(WriteFile(shrinksPath, SeededBytes(1500, 5)) == shrinksPath);
    TScriptedClient client;
    QVERIFY(Listed(client, Hex("02") + "grows.bin" + Hex("00c4090000") + "shrinks.bin" + Hex("008813000000")));
    // A file that grew is served as listed.
    client.Send(OpenRequest(0) + BlockRequest(2) + BlockRequest(3));
    QTRY_COMPARE(client.Received(), BlockReplyHeader(2) + grows.mid(2048) + BlockReplyHeader(3));
    client.Take();
    // One that shrank cannot supply block 1: the connection ends rather than go out of step.
    client.Send(OpenRequest(1) + BlockRequest(0) + BlockRequest(1) + BlockRequest(2));
    QTRY_VERIFY(client.Closed());
    QCOMPARE(client.Take(), BlockReplyHeader(0) + SeededBytes(1500, 5).left(1024));
}

void TestFileServerEngine::sharingRules()
{
    QCOMPARE(m_engine->AddSharedFile(m_dir->path()).isEmpty(), false); // a folder
    // Sparse files: the largest size that fits the list is shared, one byte more is not.
    QFile largest(m_dir->filePath(QStringLiteral("largest.bin")));
    QVERIFY(largest.open(QIODevice::WriteOnly) && largest.resize(MaxFileSize));
    largest.close();
    QVERIFY(m_engine->AddSharedFile(largest.fileName()).isEmpty());
    QFile tooLarge(m_dir->filePath(QStringLiteral("too-large.bin")));
    QVERIFY(tooLarge.open(QIODevice::WriteOnly) && tooLarge.resize(MaxFileSize + 1));
    tooLarge.close();
    QVERIFY(m_engine->AddSharedFile(tooLarge.fileName()).contains(QStringLiteral("2147483647")));
    // Names never reveal a path, by either separator; sharing twice lists once.
    const QString odd = Share(QStringLiteral("odd\\name.txt"), SeededBytes(10));
    QVERIFY(!odd.isEmpty());
    QVERIFY(m_engine->AddSharedFile(odd).isEmpty());
    QCOMPARE(m_engine->Files().size(), 2);
    TScriptedClient client;
    QVERIFY(Listed(client, Hex("02") + "largest.bin" + Hex("00ffffff7f") + "name.txt" + Hex("000a00000000")));
    // The last block of the largest file, offset past 2^31 - 1024, computed in 64 bits.
    client.Send(OpenRequest(0) + BlockRequest(quint32(MaxFileSize / 1024)));
    QTRY_COMPARE(client.Received(), BlockReplyHeader(quint32(MaxFileSize / 1024)) + QByteArray(1023, '\0'));
}

void TestFileServerEngine::requestsWaitWhileTheSendQueueIsFull()
{
    const QByteArray bytes = SeededBytes(1024, 7);
    QVERIFY(!Share(QStringLiteral("one.bin"), bytes).isEmpty());
    TScriptedClient client;
    QVERIFY(client.Connect(m_engine->Port()));
    client.Send(ListRequest() + OpenRequest(0));
    QTRY_VERIFY(!client.Received().isEmpty());
    client.Take();
    // 20 MB of replies asked for at once by a client that does not read, and behind them
    // 10 MB of requests past the end, answered by their 5-byte headers.
    constexpr int Requests = 20000;
    constexpr int PastTheEnd = 2000000;
    client.SetReading(false);
    client.Send(BlockRequest(0).repeated(Requests) + BlockRequest(1).repeated(PastTheEnd));
    qint64 mostQueued = 0;
    qint64 mostHeld = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        for (TNxEncryptedConnection *connection : m_engine->Server().Connections())
            mostQueued = qMax(mostQueued, connection->Socket()->bytesToWrite());
        mostHeld = qMax(mostHeld, m_engine->BufferedBytes());
    });
    sampler.start(1);
    // Once the client's and the system's buffers are full, replies queue up in the server,
    // within the limit however long the client does not read (unchecked, all 20 MB would).
    QVERIFY(QTest::qWaitFor([&] { return mostQueued > 0; }, 10000));
    const bool overfull = QTest::qWaitFor([&] { return mostQueued > TFileServerEngine::SendQueueLimit + 1029; }, 500);
    QVERIFY2(!overfull, qPrintable(QString::number(mostQueued)));
    // Reading again drains the queue and every request is answered, in order. Requests
    // not yet handled wait in the client and the system, not in the server: besides the
    // queue it holds one read of its socket and what the socket buffers (unchecked, all
    // 10 MB, a socketful more each time the queue drained).
    client.SetReading(true);
    const qsizetype reply = 5 + 1024;
    QTRY_COMPARE_WITH_TIMEOUT(client.Received().size(), Requests * reply + PastTheEnd * 5, 30000);
    QVERIFY(mostQueued <= TFileServerEngine::SendQueueLimit + 1029);
    QVERIFY2(mostHeld <= 2 * TNxEncryptedConnection::ReadBufferLimit + TFileServerEngine::SendQueueLimit + reply + 4,
             qPrintable(QString::number(mostHeld)));
    const QByteArray all = client.Take();
    for (int i = 0; i < Requests; i += 997)
        QCOMPARE(all.mid(i * reply, reply), BlockReplyHeader(0) + bytes);
    QVERIFY(all.sliced(Requests * reply) == BlockReplyHeader(1).repeated(PastTheEnd));
}

QTEST_GUILESS_MAIN(TestFileServerEngine)
#include "tst_FileServerEngine.moc"
