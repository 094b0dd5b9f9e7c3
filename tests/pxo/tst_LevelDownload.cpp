// The level download against a real HTTP server on loopback that can also fail, cut a
// transfer short, lie about its length and stall.
#include "common/FileSizeLimit.h"
#include "common/HttpTestServer.h"
#include "pxo/LevelDownload.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
constexpr int WaitMs = 15000;
const QByteArray OldLevel = "the level that was there before";

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}
} // namespace

class TestLevelDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void intoMissionsFolder();
    void completeDownloadReplacesOldLevel();
    void withoutAnnouncedLength();
    void savedAsDataNeverAsProgram();
    void failuresLeaveNoFile_data();
    void failuresLeaveNoFile();
    void cancelLeavesNoFile();
    void onePerTargetFile();
    void connectionRefused();
    void fullDiskLeavesOldLevel();

private:
    QString Missions() const { return m_dir->path() + QStringLiteral("/d3\\missions"); }
    QString MissionsLocal() const { return m_dir->path() + QStringLiteral("/d3/missions"); }
    QStringList MissionFiles() const
    {
        return QDir(MissionsLocal()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    THttpTestServer m_http;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLevelDownload::initTestCase()
{
    QVERIFY2(m_http.Start(), "the HTTP server did not start");
}

void TestLevelDownload::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLevelDownload::intoMissionsFolder()
{
    TLevelDownload download;
    QSignalSpy connected(&download, &TLevelDownload::Connected);
    QSignalSpy progress(&download, &TLevelDownload::Progress);
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(m_http.Url("size=100000/chunk=8192/levels/city.mn3"), Missions()),
             TLevelDownload::TStart::Started);
    QCOMPARE(download.FileName(), QStringLiteral("city.mn3"));
    QVERIFY(succeeded.wait(WaitMs));
    const QString target = MissionsLocal() + QStringLiteral("/city.mn3");
    QCOMPARE(QFileInfo(succeeded.at(0).at(0).toString()).absoluteFilePath(), QFileInfo(target).absoluteFilePath());
    QCOMPARE(ReadAll(target), THttpTestServer::Body(100000));
    QCOMPARE(MissionFiles(), QStringList{"city.mn3"});
    QCOMPARE(connected.count(), 1);
    QVERIFY(progress.count() >= 2);
    qint64 last = -1;
    for (const QList<QVariant> &p : progress) {
        QVERIFY(p.at(0).toLongLong() >= last);
        last = p.at(0).toLongLong();
        QCOMPARE(p.at(1).toLongLong(), 100000);
    }
    QCOMPARE(last, 100000);
    QVERIFY(!download.IsRunning());
    QVERIFY(!TLevelDownload::Running(target));
}

void TestLevelDownload::completeDownloadReplacesOldLevel()
{
    QVERIFY(QDir().mkpath(MissionsLocal()));
    Write(MissionsLocal() + QStringLiteral("/city.mn3"), OldLevel);
    TLevelDownload download;
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(m_http.Url("size=5000/city.mn3"), Missions()), TLevelDownload::TStart::Started);
    QVERIFY(succeeded.wait(WaitMs));
    QCOMPARE(ReadAll(MissionsLocal() + QStringLiteral("/city.mn3")), THttpTestServer::Body(5000));
    QCOMPARE(MissionFiles(), QStringList{"city.mn3"});
}

void TestLevelDownload::withoutAnnouncedLength()
{
    TLevelDownload download;
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(m_http.Url("announce=none/size=3000/x.mn3"), Missions()), TLevelDownload::TStart::Started);
    QVERIFY(succeeded.wait(WaitMs));
    QCOMPARE(download.Total(), -1);
    QCOMPARE(ReadAll(MissionsLocal() + QStringLiteral("/x.mn3")), THttpTestServer::Body(3000));
}

// Whatever the process mask and whatever mode a file it replaces had: rw-r--r--.
void TestLevelDownload::savedAsDataNeverAsProgram()
{
    QVERIFY(QDir().mkpath(MissionsLocal()));
    const QString old = MissionsLocal() + QStringLiteral("/run.sh");
    Write(old, "#!/bin/sh\n");
    QVERIFY(QFile::setPermissions(old, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup |
                                           QFile::ExeOther | QFile::WriteOther));
    const mode_t mask = umask(0);
    const auto restore = qScopeGuard([mask] { umask(mask); });
    for (const char *name : {"run.sh", "fresh.exe"}) {
        TLevelDownload download;
        QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
        QCOMPARE(download.Start(m_http.Url(QStringLiteral("size=100/") + QLatin1String(name)), Missions()),
                 TLevelDownload::TStart::Started);
        QVERIFY(succeeded.wait(WaitMs));
        QCOMPARE(QFileInfo(MissionsLocal() + QLatin1Char('/') + QLatin1String(name)).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
}

void TestLevelDownload::failuresLeaveNoFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("stallMs");
    QTest::addColumn<QString>("reason");
    const qint64 max = TLevelDownload::DefaultMaxBytes;
    const int stall = TLevelDownload::DefaultStallMs;
    QTest::addRow("404") << "status=404/city.mn3" << max << stall << "HTTP 404";
    QTest::addRow("cut midway by the server")
        << "size=100000/chunk=10000/cut=40000/city.mn3" << max << stall << "40000 of 100000";
    QTest::addRow("announces more than it sends")
        << "size=3000/announce=5000/city.mn3" << max << stall << "3000 of 5000";
    QTest::addRow("empty body") << "size=0/city.mn3" << max << stall << "empty";
    QTest::addRow("announced length over the limit")
        << "size=5000/city.mn3" << qint64(4999) << stall << "more than the 4999";
    QTest::addRow("unannounced length over the limit")
        << "announce=none/size=5000/chunk=1000/city.mn3" << qint64(4999) << stall << "longer than the 4999";
    QTest::addRow("stalls") << "size=5000/chunk=1000/hold=10000/city.mn3" << max << 500 << "Nothing arrived";
}

void TestLevelDownload::failuresLeaveNoFile()
{
    QFETCH(QString, path);
    QFETCH(qint64, maxBytes);
    QFETCH(int, stallMs);
    QFETCH(QString, reason);
    QVERIFY(QDir().mkpath(MissionsLocal()));
    const QString target = MissionsLocal() + QStringLiteral("/city.mn3");
    Write(target, OldLevel);

    TLevelDownload download;
    download.SetMaxBytes(maxBytes);
    download.SetStallTimeout(stallMs);
    QSignalSpy failed(&download, &TLevelDownload::Failed);
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(m_http.Url(path), Missions()), TLevelDownload::TStart::Started);
    QVERIFY(failed.wait(WaitMs));
    QVERIFY2(failed.at(0).at(0).toString().contains(reason), qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(download.ErrorText(), failed.at(0).at(0).toString());
    QCOMPARE(succeeded.count(), 0);
    // The old level stays whole and no part of the new one is left beside it.
    QCOMPARE(ReadAll(target), OldLevel);
    QCOMPARE(MissionFiles(), QStringList{"city.mn3"});
    QVERIFY(!TLevelDownload::Running(target));
}

void TestLevelDownload::cancelLeavesNoFile()
{
    TLevelDownload download;
    QSignalSpy progress(&download, &TLevelDownload::Progress);
    QSignalSpy failed(&download, &TLevelDownload::Failed);
    QCOMPARE(download.Start(m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3"), Missions()),
             TLevelDownload::TStart::Started);
    QTRY_VERIFY_WITH_TIMEOUT(download.Received() > 0, WaitMs);
    // What arrived so far is not under the level's name.
    QVERIFY(!MissionFiles().contains(QStringLiteral("city.mn3")));
    download.Cancel();
    QVERIFY(!download.IsRunning());
    QCOMPARE(MissionFiles(), QStringList{});
    QTest::qWait(100);
    QCOMPARE(failed.count(), 0);
}

void TestLevelDownload::onePerTargetFile()
{
    const QString slow = m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3");
    auto first = std::make_unique<TLevelDownload>();
    QCOMPARE(first->Start(slow, Missions()), TLevelDownload::TStart::Started);
    QCOMPARE(TLevelDownload::Running(first->TargetPath()), first.get());

    // The same file, however its folder is written, is not fetched twice at once.
    TLevelDownload second;
    QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), Missions()), TLevelDownload::TStart::Busy);
    QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), MissionsLocal() + QStringLiteral("/./")),
             TLevelDownload::TStart::Busy);
    QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), m_dir->path() + QStringLiteral("/d3/../d3/missions")),
             TLevelDownload::TStart::Busy);
    QVERIFY(!second.ErrorText().isEmpty());
    // Another file in the same folder may go at the same time.
    TLevelDownload other;
    QSignalSpy otherDone(&other, &TLevelDownload::Succeeded);
    QCOMPARE(other.Start(m_http.Url("size=10/other.mn3"), Missions()), TLevelDownload::TStart::Started);
    QVERIFY(otherDone.wait(WaitMs));

    first.reset(); // closing the window that owns it frees the file
    QSignalSpy done(&second, &TLevelDownload::Succeeded);
    QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), Missions()), TLevelDownload::TStart::Started);
    QVERIFY(done.wait(WaitMs));
    QCOMPARE(ReadAll(MissionsLocal() + QStringLiteral("/city.mn3")), THttpTestServer::Body(10));
}

void TestLevelDownload::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    TLevelDownload download;
    QSignalSpy failed(&download, &TLevelDownload::Failed);
    QCOMPARE(download.Start(QStringLiteral("http://127.0.0.1:%1/city.mn3").arg(port), Missions()),
             TLevelDownload::TStart::Started);
    QVERIFY(failed.wait(WaitMs));
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QCOMPARE(MissionFiles(), QStringList{});
}

// Writes refused past a size limit stand in for a full file system: the download fails with
// the system's reason, nothing is left beside the level, and the old level stays as it was.
void TestLevelDownload::fullDiskLeavesOldLevel()
{
    QVERIFY(QDir().mkpath(MissionsLocal()));
    const QString target = MissionsLocal() + QStringLiteral("/city.mn3");
    Write(target, OldLevel);
    TFileSizeLimit full(64 * 1024);
    QVERIFY(full.IsActive());

    TLevelDownload download;
    QSignalSpy failed(&download, &TLevelDownload::Failed);
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(m_http.Url("size=500000/chunk=8192/city.mn3"), Missions()),
             TLevelDownload::TStart::Started);
    QVERIFY(failed.wait(WaitMs));
    full.Lift();
    QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("cannot be written")),
             qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(succeeded.count(), 0);
    QCOMPARE(ReadAll(target), OldLevel);
    QCOMPARE(MissionFiles(), QStringList{"city.mn3"});
}

QTEST_GUILESS_MAIN(TestLevelDownload)
#include "tst_LevelDownload.moc"
