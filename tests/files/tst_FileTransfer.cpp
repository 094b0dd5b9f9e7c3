// The transfer client against the real file server and against scripted ones (far away,
// hostile), all on loopback: whole files byte for byte, two clients at once, the request
// pattern and its window, and what a server may not make the client do.
#include "FilePeers.h"
#include "common/FileSizeLimit.h"
#include "files/FileCommandParser.h"
#include "files/FileProtocol.h"
#include "files/FileServerEngine.h"
#include "files/FileTransferClient.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <sys/stat.h>

using namespace FileProtocol;
using TClient = TFileTransferClient;

namespace {
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
    void twoClientsAtOnce_data();
    void twoClientsAtOnce();
    void fourRequestsOutstanding();
    void windowFollowsThePath_data();
    void windowFollowsThePath();
    void listedNamesAreMadeSafe();
    void hostileServersAreDropped_data();
    void hostileServersAreDropped();
    void repliesToAnAbandonedDownloadAreSkipped();
    void cutShortSavesNothing_data();
    void cutShortSavesNothing();
    void fullDiskSavesNothing();

private:
    // Shares Bytes on a real server and lists it in the client.
    bool ConnectReal(TFileServerEngine &server, const QByteArray &bytes)
    {
        QSignalSpy listed(m_client.get(), &TClient::ListComplete);
        const QString path = WriteFile(m_root->filePath(QStringLiteral("shared/file.bin")), bytes);
        if (!server.Listen(QHostAddress::LocalHost, 0) || !server.AddSharedFile(path).isEmpty())
            return false;
        m_client->Connect(QStringLiteral("127.0.0.1"), server.Port());
        return listed.wait(5000);
    }
    // Connects the client to the scripted server and answers its list request.
    bool ConnectScripted(const QByteArray &listReply)
    {
        m_client->Connect(QStringLiteral("127.0.0.1"), m_script->Port());
        if (!QTest::qWaitFor([this] { return m_script->Received() == ListRequest(); }, 5000))
            return false;
        m_script->Take();
        QSignalSpy listed(m_client.get(), &TClient::ListComplete);
        m_script->Send(listReply);
        return listed.wait(5000);
    }
    QString Target(const char *name) const { return m_downloads->filePath(QLatin1String(name)); }
    QStringList DownloadDirEntries() const
    {
        return m_downloads->entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QDir> m_downloads;
    std::unique_ptr<TScriptedFileServer> m_script;
    std::unique_ptr<TClient> m_client;
};

void TestFileTransfer::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("shared/downloads")));
    m_downloads = std::make_unique<QDir>(m_root->filePath(QStringLiteral("shared/downloads")));
    m_script = std::make_unique<TScriptedFileServer>();
    QVERIFY(m_script->Open());
    m_client = std::make_unique<TClient>();
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
    for (qint64 size : {0, 1, 1023, 1024, 1025, 5000, 3 * 1024 * 1024})
        QTest::addRow("%lld bytes", size) << size;
}

void TestFileTransfer::wholeFilesArriveByteForByte()
{
    QFETCH(qint64, size);
    TFileServerEngine server;
    const QByteArray bytes = SeededBytes(size);
    QVERIFY(ConnectReal(server, bytes));
    QCOMPARE(qint64(m_client->FindListed(0)->Size), size);
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    QSignalSpy failed(m_client.get(), &TClient::DownloadFailed);
    QCOMPARE(m_client->Download(0, Target("file.bin")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(m_client->BytesIn(), size);
    QVERIFY(ReadFile(Target("file.bin")) == bytes);
    QCOMPARE(DownloadDirEntries(), QStringList{"file.bin"});
}

void TestFileTransfer::twoClientsAtOnce_data()
{
    QTest::addColumn<int>("secondFile");
    QTest::addRow("different files") << 1;
    QTest::addRow("the same file") << 0;
}

// Two users download from one server at the same time while a third asks for much and
// drops out midway: both files arrive whole, and the server serves on.
void TestFileTransfer::twoClientsAtOnce()
{
    QFETCH(int, secondFile);
    TFileServerEngine server;
    const QList<QByteArray> files{SeededBytes(1500 * 1024, 1), SeededBytes(1000 * 1024 + 7, 2)};
    QVERIFY(server.AddSharedFile(WriteFile(m_root->filePath(QStringLiteral("shared/second.bin")), files[1])).isEmpty());
    QVERIFY(ConnectReal(server, files[0]));
    auto dropper = std::make_unique<TScriptedClient>();
    QVERIFY(dropper->Connect(server.Port()));
    dropper->Send(ListRequest() + OpenRequest(0) + BlockRequest(0).repeated(1500));

    TClient second;
    QSignalSpy secondListed(&second, &TClient::ListComplete);
    second.Connect(QStringLiteral("127.0.0.1"), server.Port());
    QVERIFY(secondListed.wait(5000));
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    QSignalSpy secondFinished(&second, &TClient::DownloadFinished);
    // Sorted by name: file.bin, then second.bin.
    QCOMPARE(m_client->Download(0, Target("first")), QString());
    QCOMPARE(second.Download(secondFile, Target("second")), QString());
    QTRY_VERIFY_WITH_TIMEOUT(dropper->Received().size() > 100 * 1024, 10000);
    dropper.reset();
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1 && secondFinished.size() == 1, 30000);
    QVERIFY(ReadFile(Target("first")) == files[0]);
    QVERIFY(ReadFile(Target("second")) == files[secondFile]);
    QTRY_COMPARE(server.Users().size(), 2);
}

void TestFileTransfer::fourRequestsOutstanding()
{
    // A received file is data whatever the process mask: never executable, never writable by others.
    const mode_t mask = umask(0);
    const auto restore = qScopeGuard([mask] { umask(mask); });
    QVERIFY(ConnectScripted(ListReply({{"five", 5000}, {"empty", 0}})));
    // An empty file needs no block at all.
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    QCOMPARE(m_client->Download(1, Target("empty")), QString());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(ReadFile(Target("empty")), QByteArray());
    QCOMPARE(m_client->Download(0, Target("five")), QString());
    const QByteArray first = OpenRequest(1) + OpenRequest(0) + Requests({0, 1, 2, 3});
    QTRY_COMPARE(m_script->Received(), first);
    QVERIFY(!QTest::qWaitFor([&] { return m_script->Received().size() > first.size(); }, 200));
    m_script->Take();
    // Block 4 is asked for once the first block is in, and nothing after it.
    const QByteArray bytes = SeededBytes(5000);
    m_script->Send(BlockReplyHeader(0) + bytes.left(1024));
    QTRY_COMPARE(m_script->Received(), Requests({4}));
    m_script->Send(BlockReplyHeader(1) + bytes.mid(1024, 1024) + BlockReplyHeader(2) + bytes.mid(2048, 1024) +
                   BlockReplyHeader(3) + bytes.mid(3072, 1024));
    QVERIFY(!finished.wait(200));
    QVERIFY(!QFile::exists(Target("five"))); // not under its name until complete
    m_script->Send(BlockReplyHeader(4) + bytes.mid(4096));
    QVERIFY(finished.wait(5000));
    QCOMPARE(m_script->Take(), Requests({4}));
    QVERIFY(ReadFile(Target("five")) == bytes);
    QCOMPARE(QFileInfo(Target("five")).permissions() & 0x7077,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

void TestFileTransfer::windowFollowsThePath_data()
{
    QTest::addColumn<int>("perTick"); // blocks answered every 2 ms at most; 0: any number
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::addRow("fast path: 256 KiB in flight or more") << 0 << qint64(4 << 20) << 256 << TClient::MaxWindow;
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
    const QByteArray bytes = SeededBytes(size);
    QVERIFY(ConnectScripted(ListReply({{"far", qint32(size)}})));
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    QCOMPARE(m_client->Download(0, Target("far")), QString());
    QElapsedTimer clock;
    clock.start();
    QByteArray asked;
    std::deque<std::pair<qint64, quint32>> held; // arrival, block
    qsizetype mostHeld = 0;
    while (finished.isEmpty() && clock.elapsed() < 20000) {
        QTest::qWait(2);
        asked += m_script->Take();
        for (TParsedFileCommand c; (c = ParseFileCommand(asked)).status == TParsedFileCommand::Status::Ok;) {
            if (c.command.kind == TFileCommand::Kind::Block)
                held.push_back({clock.elapsed(), c.command.value});
            asked.remove(0, c.frameSize);
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
    QVERIFY(ReadFile(Target("far")) == bytes);
    QVERIFY2(mostHeld >= least && mostHeld <= most, qPrintable(QString::number(mostHeld)));
}

void TestFileTransfer::listedNamesAreMadeSafe()
{
    // Unknown reply bytes ahead of the list are skipped and reported. Names are made safe,
    // or refused when nothing safe is left or no file system could take them; the rest
    // keep their positions on the server.
    QSignalSpy problems(m_client.get(), &TClient::Problem);
    QVERIFY(ConnectScripted(Hex("0900ff") + ListReply({{"../../x", 1},
                                                       {"a\\b", 3},
                                                       {"dir/", 4},
                                                       {"..", 5},
                                                       {"negative", -1},
                                                       {"c:\\z", 6},
                                                       {QByteArray(1024, 'n'), 7}})));
    QCOMPARE(problems.size(), 2);
    QStringList seen;
    for (const TFileInfo &file : m_client->Listed())
        seen << QStringLiteral("%1 %2 %3").arg(file.Index).arg(file.Name).arg(file.Size);
    QCOMPARE(seen, QStringList({"0 x 1", "1 b 3", "5 z 6"}));
    QCOMPARE(m_client->Download(5, Target("z")), QString());
    QTRY_COMPARE(m_script->Received(), OpenRequest(5) + Requests({0}));
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    m_script->Send(BlockReplyHeader(0) + "zzzzzz");
    QVERIFY(finished.wait(5000));
    QCOMPARE(DownloadDirEntries(), QStringList{"z"});
    QCOMPARE(QDir(m_root->filePath(QStringLiteral("shared"))).entryList(QDir::Files), QStringList());
}

void TestFileTransfer::hostileServersAreDropped_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArray>("reply"); // to the download of "two", when not empty
    QTest::addColumn<QString>("reason");
    const QByteArray two = ListReply({{"two", 2024}});
    const QByteArray whole = BlockReplyHeader(0) + QByteArray(1024, 'a') + BlockReplyHeader(1) + QByteArray(1000, 'b');
    QTest::addRow("5000-byte name") << ListReply({{"ok", 1}, {QByteArray(5000, 'n'), 1}}) << QByteArray()
                                    << "connection closed";
    QTest::addRow("10001 entries") << ListReply(QList<TListedFile>(MaxListEntries + 1, TListedFile{"f", 1}))
                                   << QByteArray() << "connection closed";
    QTest::addRow("block past the end") << two << BlockReplyHeader(3) << "not asked for";
    QTest::addRow("block out of order") << two << BlockReplyHeader(1) + QByteArray(1024, 'x') << "not asked for";
    QTest::addRow("block after the last one") << two << whole + BlockReplyHeader(2) << "not asked for";
}

void TestFileTransfer::hostileServersAreDropped()
{
    QFETCH(QByteArray, list);
    QFETCH(QByteArray, reply);
    QFETCH(QString, reason);
    QSignalSpy disconnected(m_client.get(), &TClient::Disconnected);
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    if (reply.isEmpty()) {
        m_client->Connect(QStringLiteral("127.0.0.1"), m_script->Port());
        QTRY_COMPARE(m_script->Received(), ListRequest());
        m_script->Send(list);
    } else {
        QVERIFY(ConnectScripted(list));
        QCOMPARE(m_client->Download(0, Target("two")), QString());
        m_script->Send(reply);
    }
    QVERIFY(disconnected.wait(5000));
    QVERIFY(disconnected.at(0).at(0).toString().contains(reason));
    QVERIFY(m_client->Listed().isEmpty());
    QTRY_VERIFY(!m_script->Connected());
    // Only a file whose every block came is saved: the genuine blocks of the last row.
    QCOMPARE(DownloadDirEntries(), finished.isEmpty() ? QStringList() : QStringList{"two"});
    if (!finished.isEmpty())
        QVERIFY(ReadFile(Target("two")) == QByteArray(1024, 'a') + QByteArray(1000, 'b'));
}

void TestFileTransfer::repliesToAnAbandonedDownloadAreSkipped()
{
    QVERIFY(ConnectScripted(ListReply({{"old", 3000}, {"new", 1500}})));
    QCOMPARE(m_client->Download(0, Target("old")), QString());
    QTRY_COMPARE(m_script->Received(), OpenRequest(0) + Requests({0, 1, 2}));
    m_script->Take();
    QSignalSpy failed(m_client.get(), &TClient::DownloadFailed);
    QCOMPARE(m_client->Download(1, Target("new")), QString());
    QTRY_COMPARE(m_script->Received(), OpenRequest(1) + Requests({0, 1}));
    // The old file's replies come first, each split across sends, then the new file's.
    const QByteArray stale = BlockReplyHeader(0) + QByteArray(1024, 'o') + BlockReplyHeader(1) + QByteArray(1024, 'o') +
                             BlockReplyHeader(2) + QByteArray(952, 'o');
    const QByteArray fresh = SeededBytes(1500, 9);
    const QByteArray stream = stale + BlockReplyHeader(0) + fresh.left(1024) + BlockReplyHeader(1) + fresh.mid(1024);
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    for (qsizetype at = 0; at < stream.size(); at += 700)
        m_script->Send(stream.mid(at, 700));
    QVERIFY(finished.wait(5000));
    QCOMPARE(failed.size(), 0); // abandoning by a new download is no failure
    QVERIFY(ReadFile(Target("new")) == fresh);
    QCOMPARE(DownloadDirEntries(), QStringList{"new"});
}

void TestFileTransfer::cutShortSavesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::addRow("the server goes away") << "gone"
                                          << "";
    QTest::addRow("the server stops answering") << "silent"
                                                << "stopped answering";
    QTest::addRow("the user disconnects") << "user"
                                          << "";
}

// A download that ends early leaves no file and tells the user; half a block reply never
// carries over into the next connection.
void TestFileTransfer::cutShortSavesNothing()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
    m_client->SetStallTimeout(300);
    QVERIFY(ConnectScripted(ListReply({{"cut", 5000}})));
    QCOMPARE(m_client->Download(0, Target("cut")), QString());
    QSignalSpy failed(m_client.get(), &TClient::DownloadFailed);
    QSignalSpy disconnected(m_client.get(), &TClient::Disconnected);
    m_script->Send(BlockReplyHeader(0) + QByteArray(1024, 'c') + BlockReplyHeader(1) + QByteArray(100, 'c'));
    QTRY_COMPARE(m_client->BytesIn(), 1024);
    if (how == "gone")
        m_script = std::make_unique<TScriptedFileServer>();
    else if (how == "user")
        m_client->Disconnect();
    QTRY_COMPARE(disconnected.size(), 1);
    QVERIFY(disconnected.at(0).at(0).toString().contains(reason));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QStringLiteral("nothing was saved")));
    QVERIFY(m_client->Listed().isEmpty());
    QCOMPARE(DownloadDirEntries(), QStringList());
    m_script = std::make_unique<TScriptedFileServer>();
    QVERIFY(m_script->Open());
    QVERIFY(ConnectScripted(ListReply({{"fresh", 4}})));
    QCOMPARE(m_client->Listed().size(), 1);
    QCOMPARE(m_client->Listed().first().Name, QStringLiteral("fresh"));
}

// A disk that fills up midway: the user is told, and no file is left under the final name.
void TestFileTransfer::fullDiskSavesNothing()
{
    TFileServerEngine server;
    QVERIFY(ConnectReal(server, SeededBytes(600 * 1024)));
    TFileSizeLimit full(128 * 1024);
    QVERIFY(full.IsActive());
    QSignalSpy finished(m_client.get(), &TClient::DownloadFinished);
    QSignalSpy failed(m_client.get(), &TClient::DownloadFailed);
    QCOMPARE(m_client->Download(0, Target("big.bin")), QString());
    QVERIFY(failed.wait(30000));
    full.Lift();
    QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("Nothing was saved")),
             qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(finished.size(), 0);
    QCOMPARE(DownloadDirEntries(), QStringList());
}

QTEST_GUILESS_MAIN(TestFileTransfer)
#include "tst_FileTransfer.moc"
