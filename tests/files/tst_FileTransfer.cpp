// The transfer client against the real file server and against scripted ones (strict,
// far away, hostile), all on loopback: whole files byte for byte, the request pattern and
// its window, and what a server may not make the client do.
#include "FilePeers.h"
#include "common/FileSizeLimit.h"
#include "files/FileCommandParser.h"
#include "files/FileProtocol.h"
#include "files/FileServerEngine.h"
#include "files/FileTransferClient.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <deque>
#include <optional>

using namespace FileProtocol;

#include <sys/stat.h>

namespace {
QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}
QByteArray Requests(std::initializer_list<quint32> blocks)
{
    QByteArray bytes;
    for (quint32 block : blocks)
        bytes += BlockRequest(block);
    return bytes;
}
} // namespace

class TestFileTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void wholeFilesArriveByteForByte_data();
    void wholeFilesArriveByteForByte();
    void fourRequestsOutstanding();
    void windowFollowsThePath_data();
    void windowFollowsThePath();
    void emptyFileNeedsNoBlock();
    void listedNamesAreMadeSafe();
    void listCapsDropTheServer_data();
    void listCapsDropTheServer();
    void blocksNotAskedForDropTheServer_data();
    void blocksNotAskedForDropTheServer();
    void repliesToAnAbandonedDownloadAreSkipped();
    void earlyEndLeavesNoFile();
    void fullDiskSavesNothing();
    void silentServerIsDropped();
    void reconnectStartsAFreshStream();
    void failedConnectGivesTheSocketError();

private:
    // The next whole command the scripted server got, if any.
    std::optional<TFileCommand> NextCommand()
    {
        m_asked += m_script->Take();
        const TParsedFileCommand parsed = ParseFileCommand(m_asked);
        if (parsed.status == TParsedFileCommand::Status::Incomplete)
            return std::nullopt;
        m_asked.remove(0, parsed.frameSize);
        return parsed.command;
    }
    // Connects the client to the scripted server and answers its list request.
    bool ConnectScripted(const QByteArray &listReply)
    {
        m_client->Connect(QStringLiteral("127.0.0.1"), m_script->Port());
        if (!QTest::qWaitFor([this] { return m_script->Received() == ListRequest(); }, 5000))
            return false;
        m_script->Take();
        QSignalSpy listed(m_client.get(), &TFileTransferClient::ListComplete);
        m_script->Send(listReply);
        return listed.wait(5000);
    }
    QString Target(const QString &name) const { return m_downloads->filePath(name); }
    QStringList DownloadDirEntries() const
    {
        return QDir(m_downloads->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QDir> m_downloads;
    std::unique_ptr<TScriptedServer> m_script;
    std::unique_ptr<TFileTransferClient> m_client;
    QByteArray m_asked;
};

void TestFileTransfer::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("shared/downloads")));
    m_downloads = std::make_unique<QDir>(m_root->filePath(QStringLiteral("shared/downloads")));
    m_script = std::make_unique<TScriptedServer>();
    QVERIFY(m_script->Open());
    m_client = std::make_unique<TFileTransferClient>();
    m_asked.clear();
}

void TestFileTransfer::cleanup()
{
    m_client.reset();
    m_script.reset();
    m_downloads.reset();
    m_root.reset();
}

void TestFileTransfer::wholeFilesArriveByteForByte_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("strict");
    for (qint64 size : {0, 1, 1023, 1024, 1025, 2048, 2500, 4096, 5000, 3 * 1024 * 1024}) {
        QTest::addRow("%lld bytes", size) << size << false;
        if (size <= 1 || size == 1024 || size == 1025 || size > 5000)
            QTest::addRow("%lld bytes, one request at a time", size) << size << true;
    }
}

void TestFileTransfer::wholeFilesArriveByteForByte()
{
    QFETCH(qint64, size);
    QFETCH(bool, strict);
    TFileServerEngine server;
    QVERIFY(server.Listen(QHostAddress::LocalHost, 0));
    const QByteArray bytes = FileBytes(size);
    const QString source = WriteFile(m_root->filePath(QStringLiteral("shared/file.bin")), bytes);
    QVERIFY(server.AddSharedFile(source).isEmpty());
    QVERIFY(server.AddSharedFile(WriteFile(m_root->filePath(QStringLiteral("shared/another")), "x")).isEmpty());
    // Or a server that follows the protocol to the letter and no further: it takes one
    // request, answers it with a send of its own, and only then looks at the next.
    QTimer strictServer;
    const QByteArray *opened = nullptr;
    const QByteArray another("x");
    connect(&strictServer, &QTimer::timeout, this, [&] {
        const std::optional<TFileCommand> command = NextCommand();
        if (command && command->kind == TFileCommand::Kind::List)
            m_script->Send(ListReply({{"another", 1}, {"file.bin", qint32(size)}}));
        else if (command && command->kind == TFileCommand::Kind::Open)
            opened = command->value == 1 ? &bytes : &another;
        else if (command && command->kind == TFileCommand::Kind::Block && opened)
            m_script->Send(BlockReplyHeader(command->value) + opened->mid(command->value * BlockSize, BlockSize));
    });
    if (strict)
        strictServer.start(0);

    QSignalSpy listed(m_client.get(), &TFileTransferClient::ListComplete);
    m_client->Connect(QStringLiteral("127.0.0.1"), strict ? m_script->Port() : server.Port());
    QVERIFY(listed.wait(5000));
    QCOMPARE(m_client->Listed().size(), 2);
    const TFileInfo *file = m_client->FindListed(1);
    QVERIFY(file);
    QCOMPARE(file->Name, QStringLiteral("file.bin"));
    QCOMPARE(qint64(file->Size), size);

    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    QSignalSpy failed(m_client.get(), &TFileTransferClient::DownloadFailed);
    QCOMPARE(m_client->Download(1, Target(QStringLiteral("file.bin"))), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(m_client->BytesIn(), size);
    QVERIFY(ReadFile(Target(QStringLiteral("file.bin"))) == bytes);
    QCOMPARE(DownloadDirEntries(), QStringList{QStringLiteral("file.bin")});
}

void TestFileTransfer::fourRequestsOutstanding()
{
    // A received file is data whatever the process mask: never executable, never writable by others.
    const mode_t mask = umask(0);
    const auto restore = qScopeGuard([mask] { umask(mask); });
    QVERIFY(ConnectScripted(ListReply({{"five", 5000}})));
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("five"))), QString());
    const QByteArray first = OpenRequest(0) + Requests({0, 1, 2, 3});
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), first, 5000);
    QVERIFY(!QTest::qWaitFor([&] { return m_script->Received().size() > first.size(); }, 200));
    m_script->Take();
    // Block 4 is asked for once the first block is in, and nothing after it.
    const QByteArray bytes = FileBytes(5000);
    m_script->Send(BlockReplyHeader(0) + bytes.left(1024));
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), Requests({4}), 5000);
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    m_script->Send(BlockReplyHeader(1) + bytes.mid(1024, 1024) + BlockReplyHeader(2) + bytes.mid(2048, 1024) +
                   BlockReplyHeader(3) + bytes.mid(3072, 1024));
    QVERIFY(!finished.wait(200));
    QVERIFY(!QFile::exists(Target(QStringLiteral("five")))); // not under its name until complete
    m_script->Send(BlockReplyHeader(4) + bytes.mid(4096));
    QVERIFY(finished.wait(5000));
    QCOMPARE(m_script->Take(), Requests({4}));
    QVERIFY(ReadFile(Target(QStringLiteral("five"))) == bytes);
    QCOMPARE(QFileInfo(Target(QStringLiteral("five"))).permissions() & 0x7077,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

void TestFileTransfer::windowFollowsThePath_data()
{
    QTest::addColumn<int>("perTick"); // blocks answered every 2 ms at most; 0: any number
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::addRow("fast path: 256 KiB in flight or more")
        << 0 << qint64(4 << 20) << 256 << TFileTransferClient::MaxWindow;
    QTest::addRow("slow path: a few times what it holds") << 1 << qint64(256 << 10) << 8 << 128;
}

// A server 20 ms away: each request is answered 20 ms after it came, by at most PerTick
// blocks every 2 ms. The window grows from four until it covers the path, and no further.
void TestFileTransfer::windowFollowsThePath()
{
    QFETCH(int, perTick);
    QFETCH(qint64, size);
    QFETCH(int, least);
    QFETCH(int, most);
    const QByteArray bytes = FileBytes(size);
    QVERIFY(ConnectScripted(ListReply({{"far", qint32(size)}})));
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("far"))), QString());
    QElapsedTimer clock;
    clock.start();
    std::deque<std::pair<qint64, quint32>> held; // arrival, block
    qsizetype mostHeld = 0;
    while (finished.isEmpty() && clock.elapsed() < 20000) {
        QTest::qWait(2);
        while (const std::optional<TFileCommand> command = NextCommand()) {
            if (command->kind == TFileCommand::Kind::Block)
                held.push_back({clock.elapsed(), command->value});
        }
        mostHeld = std::max(mostHeld, qsizetype(held.size()));
        QByteArray replies;
        for (int n = 0; !held.empty() && clock.elapsed() - held.front().first >= 20 && (!perTick || n < perTick); ++n) {
            replies += BlockReplyHeader(held.front().second) + bytes.mid(held.front().second * BlockSize, BlockSize);
            held.pop_front();
        }
        m_script->Send(replies);
    }
    QVERIFY(!finished.isEmpty());
    QVERIFY(ReadFile(Target(QStringLiteral("far"))) == bytes);
    QVERIFY2(mostHeld >= least && mostHeld <= most, qPrintable(QString::number(mostHeld)));
}

void TestFileTransfer::emptyFileNeedsNoBlock()
{
    QVERIFY(ConnectScripted(ListReply({{"empty", 0}})));
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("empty"))), QString());
    QCOMPARE(finished.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(0), 5000);
    QVERIFY(!QTest::qWaitFor([this] { return m_script->Received().size() > 5; }, 200));
    QFile file(Target(QStringLiteral("empty")));
    QVERIFY(file.exists());
    QCOMPARE(file.size(), 0);
}

void TestFileTransfer::listedNamesAreMadeSafe()
{
    // An empty name ends the list early; the bytes after it are read as replies.
    const QByteArray list = ListReply({{"../../x", 1},
                                       {"/abs/y", 2},
                                       {"a\\b", 3},
                                       {"dir/", 4},
                                       {"..", 5},
                                       {"negative", -1},
                                       {"c:\\z", 6},
                                       {QByteArray(1024, 'n'), 7}});
    // Unknown reply bytes ahead of it are skipped and reported.
    QSignalSpy problems(m_client.get(), &TFileTransferClient::Problem);
    QVERIFY(ConnectScripted(Hex("0900ff") + list));
    QCOMPARE(problems.size(), 2);
    QStringList seen;
    for (const TFileInfo &file : m_client->Listed())
        seen << QStringLiteral("%1 %2 %3").arg(file.Index).arg(file.Name.left(8)).arg(file.Size);
    // A name longer than any file system allows could never be saved: it is refused too.
    QCOMPARE(seen, (QStringList{QStringLiteral("0 x 1"), QStringLiteral("1 y 2"), QStringLiteral("2 b 3"),
                                QStringLiteral("6 z 6")}));
    // Position 6 on the server is what the client asks for.
    QCOMPARE(m_client->Download(6, Target(QStringLiteral("z"))), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(6) + Requests({0}), 5000);
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    m_script->Send(BlockReplyHeader(0) + "zzzzzz");
    QVERIFY(finished.wait(5000));
    QCOMPARE(DownloadDirEntries(), QStringList{QStringLiteral("z")});
    QCOMPARE(QDir(m_root->filePath(QStringLiteral("shared"))).entryList(QDir::Files), QStringList());
}

void TestFileTransfer::listCapsDropTheServer_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addRow("5000-byte name") << ListReply({{"ok", 1}, {QByteArray(5000, 'n'), 1}});
    QTest::addRow("10001 entries") << ListReply(QList<TListedFile>(MaxListEntries + 1, TListedFile{"f", 1}));
}

void TestFileTransfer::listCapsDropTheServer()
{
    QFETCH(QByteArray, list);
    m_client->Connect(QStringLiteral("127.0.0.1"), m_script->Port());
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), ListRequest(), 5000);
    QSignalSpy disconnected(m_client.get(), &TFileTransferClient::Disconnected);
    m_script->Send(list);
    QVERIFY(disconnected.wait(5000));
    QVERIFY(disconnected.at(0).at(0).toString().contains(QStringLiteral("connection closed")));
    QVERIFY(m_client->Listed().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_script->Connected(), 5000);
}

void TestFileTransfer::blocksNotAskedForDropTheServer_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addRow("block past the end") << BlockReplyHeader(3);
    QTest::addRow("block out of order") << BlockReplyHeader(1) + QByteArray(1024, 'x');
    QTest::addRow("block after the last one") << BlockReplyHeader(0) + QByteArray(1024, 'a') + BlockReplyHeader(1) +
                                                     QByteArray(1000, 'b') + BlockReplyHeader(2);
}

void TestFileTransfer::blocksNotAskedForDropTheServer()
{
    QFETCH(QByteArray, reply);
    QVERIFY(ConnectScripted(ListReply({{"two", 2024}})));
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("two"))), QString());
    QSignalSpy disconnected(m_client.get(), &TFileTransferClient::Disconnected);
    QSignalSpy failed(m_client.get(), &TFileTransferClient::DownloadFailed);
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    m_script->Send(reply);
    QVERIFY(disconnected.wait(5000));
    QVERIFY(disconnected.at(0).at(0).toString().contains(QStringLiteral("not asked for")));
    // The two genuine blocks of the last row completed the file before the stray one came.
    QCOMPARE(failed.size() + finished.size(), 1);
    if (finished.isEmpty())
        QCOMPARE(DownloadDirEntries(), QStringList());
    else
        QVERIFY(ReadFile(Target(QStringLiteral("two"))) == QByteArray(1024, 'a') + QByteArray(1000, 'b'));
}

void TestFileTransfer::repliesToAnAbandonedDownloadAreSkipped()
{
    QVERIFY(ConnectScripted(ListReply({{"old", 3000}, {"new", 1500}})));
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("old"))), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(0) + Requests({0, 1, 2}), 5000);
    m_script->Take();
    QSignalSpy failed(m_client.get(), &TFileTransferClient::DownloadFailed);
    QCOMPARE(m_client->Download(1, Target(QStringLiteral("new"))), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(1) + Requests({0, 1}), 5000);
    // The old file's replies come first, each split across sends, then the new file's.
    const QByteArray stale = BlockReplyHeader(0) + QByteArray(1024, 'o') + BlockReplyHeader(1) + QByteArray(1024, 'o') +
                             BlockReplyHeader(2) + QByteArray(952, 'o');
    const QByteArray fresh = FileBytes(1500, 9);
    const QByteArray stream = stale + BlockReplyHeader(0) + fresh.left(1024) + BlockReplyHeader(1) + fresh.mid(1024);
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    for (qsizetype at = 0; at < stream.size(); at += 700)
        m_script->Send(stream.mid(at, 700));
    QVERIFY(finished.wait(5000));
    QCOMPARE(failed.size(), 0); // abandoning by a new download is no failure
    QVERIFY(ReadFile(Target(QStringLiteral("new"))) == fresh);
    QCOMPARE(DownloadDirEntries(), QStringList{QStringLiteral("new")});
}

void TestFileTransfer::earlyEndLeavesNoFile()
{
    QVERIFY(ConnectScripted(ListReply({{"cut", 5000}})));
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("cut"))), QString());
    QSignalSpy progress(m_client.get(), &TFileTransferClient::Progress);
    QSignalSpy failed(m_client.get(), &TFileTransferClient::DownloadFailed);
    QSignalSpy disconnected(m_client.get(), &TFileTransferClient::Disconnected);
    m_script->Send(BlockReplyHeader(0) + QByteArray(1024, 'c') + BlockReplyHeader(1) + QByteArray(100, 'c'));
    QVERIFY(progress.wait(5000));
    QCOMPARE(m_client->BytesIn(), 1024);
    m_script.reset(); // the server goes away
    QVERIFY(disconnected.wait(5000));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QStringLiteral("nothing was saved")));
    QVERIFY(m_client->Listed().isEmpty());
    QCOMPARE(DownloadDirEntries(), QStringList());
}

// A disk that fills up midway: the user is told, and no file is left under the final name.
void TestFileTransfer::fullDiskSavesNothing()
{
    TFileServerEngine server;
    QVERIFY(server.Listen(QHostAddress::LocalHost, 0));
    const QByteArray bytes = FileBytes(600 * 1024);
    QVERIFY(server.AddSharedFile(WriteFile(m_root->filePath(QStringLiteral("shared/big.bin")), bytes)).isEmpty());
    QSignalSpy listed(m_client.get(), &TFileTransferClient::ListComplete);
    m_client->Connect(QStringLiteral("127.0.0.1"), server.Port());
    QVERIFY(listed.wait(5000));

    TFileSizeLimit full(128 * 1024);
    QVERIFY(full.IsActive());
    QSignalSpy finished(m_client.get(), &TFileTransferClient::DownloadFinished);
    QSignalSpy failed(m_client.get(), &TFileTransferClient::DownloadFailed);
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("big.bin"))), QString());
    QVERIFY(failed.wait(30000));
    full.Lift();
    QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("Nothing was saved")),
             qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(finished.size(), 0);
    QCOMPARE(DownloadDirEntries(), QStringList());
}

void TestFileTransfer::silentServerIsDropped()
{
    m_client->SetStallTimeout(300);
    QVERIFY(ConnectScripted(ListReply({{"never", 10}})));
    QSignalSpy disconnected(m_client.get(), &TFileTransferClient::Disconnected);
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("never"))), QString());
    QVERIFY(disconnected.wait(5000));
    QVERIFY(disconnected.at(0).at(0).toString().contains(QStringLiteral("stopped answering")));
    QCOMPARE(DownloadDirEntries(), QStringList());
}

void TestFileTransfer::reconnectStartsAFreshStream()
{
    QVERIFY(ConnectScripted(ListReply({{"half", 3000}})));
    QCOMPARE(m_client->Download(0, Target(QStringLiteral("half"))), QString());
    // Half a block reply, then the user disconnects: nothing of it may carry over.
    m_script->Send(BlockReplyHeader(0) + QByteArray(500, 'h'));
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(0) + Requests({0, 1, 2}), 5000);
    m_script->Take();
    QSignalSpy disconnected(m_client.get(), &TFileTransferClient::Disconnected);
    m_client->Disconnect();
    QVERIFY(disconnected.size() == 1 || disconnected.wait(5000));
    QCOMPARE(disconnected.at(0).at(0).toString(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!m_script->Connected(), 5000);
    QVERIFY(ConnectScripted(ListReply({{"fresh", 4}})));
    QCOMPARE(m_client->Listed().size(), 1);
    QCOMPARE(m_client->Listed().first().Name, QStringLiteral("fresh"));
    QCOMPARE(DownloadDirEntries(), QStringList());
}

void TestFileTransfer::failedConnectGivesTheSocketError()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    QSignalSpy failed(m_client.get(), &TFileTransferClient::ConnectFailed);
    m_client->Connect(QStringLiteral("127.0.0.1"), port);
    QVERIFY(failed.wait(5000));
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QCOMPARE(m_client->GetState(), TFileTransferClient::State::Idle);
    // And the client can try again.
    QVERIFY(ConnectScripted(ListReply({})));
}

QTEST_GUILESS_MAIN(TestFileTransfer)
#include "tst_FileTransfer.moc"
