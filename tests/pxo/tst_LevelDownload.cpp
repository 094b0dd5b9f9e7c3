// Levels fetched from the address a game server gives: the name they take, the download against
// a real HTTP server on loopback that can also fail, redirect, cut a transfer short, lie about
// its length and stall, and the window that shows it.
#include "PXOTestKit.h"

#include "common/FileSizeLimit.h"
#include "common/HttpTestServer.h"
#include "pxo/LevelDownload.h"
#include "pxo/LevelTarget.h"
#include "pxo/UfrmDownloadLevel.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <optional>

#include <sys/stat.h>

namespace {
constexpr int Wait = 15000;
const QByteArray OldLevel = "the level that was there before";

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}
} // namespace

class tst_LevelDownload : public QObject
{
    Q_OBJECT

    THttpTestServer m_http;
    std::unique_ptr<TPXOTestKit> m_kit;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString Missions() const { return m_dir->path() + QStringLiteral("/d3\\missions"); }
    QString Local(const QString &name = {}) const { return m_dir->path() + QStringLiteral("/d3/missions/") + name; }
    QStringList Files() const { return QDir(Local()).entryList(QDir::Files | QDir::Hidden); }
    void PlaceOldLevel()
    {
        QVERIFY(QDir().mkpath(Local()));
        QFile file(Local(QStringLiteral("city.mn3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(OldLevel);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_http.Start(), "the HTTP server did not start");
        m_kit = std::make_unique<TPXOTestKit>();
    }
    void init()
    {
        m_kit->Reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_kit->Config->edtDescentPath->setText(m_dir->path() + QStringLiteral("\\d3"));
        m_kit->Config->cbxDescentDLMissionsDir->setChecked(true);
    }
    void cleanup()
    {
        for (TfrmDownloadLevel *window : VisibleWindows<TfrmDownloadLevel>())
            window->close();
        QTRY_VERIFY(VisibleWindows<TfrmDownloadLevel>().isEmpty());
    }
    void cleanupTestCase() { m_kit.reset(); }

    // The name after the last slash or backslash; whatever a peer sends, one plain name inside
    // the folder or none (refused, never cut down to something else).
    void fileName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        QTest::newRow("after the last slash") << "http://h/levels/city.mn3" << QStringLiteral("city.mn3");
        QTest::newRow("after the last backslash") << "http://h\\levels\\city.mn3" << QStringLiteral("city.mn3");
        QTest::newRow("blanks around, blank inside kept")
            << "  http://h/city pack.mn3 " << QStringLiteral("city pack.mn3");
        QTest::newRow("directories up dropped") << "http://h/../../etc/passwd" << QStringLiteral("passwd");
        QTest::newRow("CONSOLE is a file") << "http://h/console.log" << QStringLiteral("console.log");
        QTest::newRow("255 UTF-8 bytes") << "http://h/" + QString(255, u'n') << QString(255, u'n');
        int n = 0;
        for (const QString &none :
             {QStringLiteral("http://h/levels/"), QStringLiteral("http://h/levels/.."), QStringLiteral("http://h"),
              QStringLiteral("http://h/city.mn3?x=1"), QStringLiteral("http://h/c:city.mn3"),
              QStringLiteral("http://h/city.mn3."), QStringLiteral("http://h/a\nb"),
              QStringLiteral("http://h/gpj\u202Eexe.txt"), QStringLiteral("http://h/a|b"),
              QStringLiteral("http://h/com1.txt"), "http://h/" + QString(256, u'n')})
            QTest::addRow("none %d", ++n) << none << "";
    }
    void fileName()
    {
        QFETCH(QString, address);
        QTEST(LevelTarget::FileName(address), "name");
        for (const char *yes : {"http://127.0.0.1/x.mn3", "https://levels.example.org/x.mn3"})
            QVERIFY(LevelTarget::IsFetchable(QLatin1String(yes)));
        for (const char *no : {"ftp://h/x.mn3", "file:///etc/passwd", "http:///x.mn3", ""})
            QVERIFY(!LevelTarget::IsFetchable(QLatin1String(no)));
    }

    // A whole level replaces the old one, saved as plain data (rw-r--r--) whatever the process
    // mask and the old file's mode; progress runs up to the total, unknown when not announced.
    // Redirects on the same server are followed, and only the level's own answer counts.
    void arrives_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("total");
        QTest::newRow("announced, in chunks") << "size=100000/chunk=8192/levels/city.mn3" << 100000 << qint64(100000);
        QTest::newRow("not announced") << "announce=none/size=3000/city.mn3" << 3000 << qint64(-1);
        QTest::newRow("redirected twice, 301 and 302")
            << "redirect=301/redirect=302/size=3000/chunk=1000/levels/city.mn3" << 3000 << qint64(3000);
        QTest::newRow("redirected, 307") << "redirect=307/announce=none/size=5000/city.mn3" << 5000 << qint64(-1);
    }
    void arrives()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        QFETCH(qint64, total);
        PlaceOldLevel();
        QVERIFY(QFile::setPermissions(Local("city.mn3"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                             QFile::ExeOther | QFile::WriteOther));
        const mode_t mask = umask(0);
        const auto restore = qScopeGuard([mask] { umask(mask); });
        TLevelDownload download;
        QSignalSpy connected(&download, &TLevelDownload::Connected);
        QSignalSpy progress(&download, &TLevelDownload::Progress);
        QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
        QCOMPARE(download.Start(m_http.Url(path), Missions()), TLevelDownload::TStart::Started);
        QVERIFY(succeeded.wait(Wait));
        QCOMPARE(QFileInfo(succeeded.at(0).at(0).toString()).absoluteFilePath(),
                 QFileInfo(Local("city.mn3")).absoluteFilePath());
        QCOMPARE(ReadAll(Local("city.mn3")), THttpTestServer::Body(size));
        QCOMPARE(Files(), QStringList{"city.mn3"});
        QCOMPARE(QFileInfo(Local("city.mn3")).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(connected.count(), 1);
        QCOMPARE(download.Total(), total);
        for (qsizetype i = 1; i < progress.size(); ++i)
            QVERIFY(progress.at(i).at(0).toLongLong() >= progress.at(i - 1).at(0).toLongLong());
        QCOMPARE(progress.last().at(0).toLongLong(), qint64(size));
        QVERIFY(!download.IsRunning() && !TLevelDownload::Running(Local("city.mn3")));
    }

    // A failure says why, and leaves the old level whole and nothing beside it.
    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("stallMs");
        QTest::addColumn<QString>("reason");
        const qint64 max = TLevelDownload::DefaultMaxBytes;
        const int stall = TLevelDownload::DefaultStallMs;
        QTest::newRow("404") << "status=404/city.mn3" << max << stall << "HTTP 404";
        QTest::newRow("cut by the server")
            << "size=100000/chunk=10000/cut=40000/city.mn3" << max << stall << "40000 of 100000";
        QTest::newRow("announces more than it sends")
            << "size=3000/announce=5000/city.mn3" << max << stall << "3000 of 5000";
        QTest::newRow("empty body") << "size=0/city.mn3" << max << stall << "empty";
        QTest::newRow("announced over the limit")
            << "size=5000/city.mn3" << qint64(4999) << stall << "more than the 4999";
        QTest::newRow("unannounced over the limit")
            << "announce=none/size=5000/chunk=1000/city.mn3" << qint64(4999) << stall << "longer than the 4999";
        QTest::newRow("stalls") << "size=5000/chunk=1000/hold=10000/city.mn3" << max << 500 << "Nothing arrived";
        QTest::newRow("connection refused") << "http://127.0.0.1:1/city.mn3" << max << stall << "";
        QTest::newRow("full disk") << "size=500000/chunk=8192/city.mn3" << max << stall << "cannot be written";
        QTest::newRow("full disk, small level") << "size=3000/city.mn3" << max << stall << "cannot be written";
        QTest::newRow("redirect loop") << "redirect=loop/size=3000/city.mn3" << max << stall << "";
        QTest::newRow("redirect to ftp") << "redirect=ftp/size=3000/city.mn3" << max << stall << "";
        QTest::newRow("redirect to file") << "redirect=file/size=3000/city.mn3" << max << stall << "";
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(qint64, maxBytes);
        QFETCH(int, stallMs);
        QFETCH(QString, reason);
        PlaceOldLevel();
        std::optional<TFileSizeLimit> full;
        if (const QLatin1String tag(QTest::currentDataTag()); tag.startsWith(QLatin1String("full disk")))
            QVERIFY(full.emplace(tag.endsWith(QLatin1String("small level")) ? 1024 : 64 * 1024).IsActive());
        TLevelDownload download;
        download.SetMaxBytes(maxBytes);
        download.SetStallTimeout(stallMs);
        QSignalSpy failed(&download, &TLevelDownload::Failed);
        QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
        QCOMPARE(download.Start(path.startsWith("http") ? path : m_http.Url(path), Missions()),
                 TLevelDownload::TStart::Started);
        QVERIFY(failed.wait(Wait));
        full.reset();
        const QString said = failed.at(0).at(0).toString();
        QVERIFY2(!said.isEmpty() && said.contains(reason), qPrintable(said));
        QCOMPARE(download.ErrorText(), said);
        QCOMPARE(ReadAll(Local("city.mn3")), OldLevel);
        QCOMPARE(Files(), QStringList{"city.mn3"});
        QTest::qWait(20);
        QCOMPARE(failed.count() + succeeded.count(), 1);
    }

    // A cancelled download leaves nothing, says nothing, and frees its file; one file is fetched
    // once at a time however its folder is written, another file beside it may go.
    void cancelAndOnePerFile()
    {
        auto first = std::make_unique<TLevelDownload>();
        QSignalSpy failed(first.get(), &TLevelDownload::Failed);
        const QString held = m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3");
        QCOMPARE(first->Start(held, Missions()), TLevelDownload::TStart::Started);
        QTRY_VERIFY_WITH_TIMEOUT(first->Received() > 0, Wait);
        QVERIFY(!Files().contains(QStringLiteral("city.mn3")));
        TLevelDownload second;
        for (const QString &folder : {Missions(), Local() + QStringLiteral("./"), m_dir->path() + "/d3/../d3/missions"})
            QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), folder), TLevelDownload::TStart::Busy);
        QSignalSpy done(&second, &TLevelDownload::Succeeded);
        QCOMPARE(second.Start(m_http.Url("size=10/other.mn3"), Missions()), TLevelDownload::TStart::Started);
        QVERIFY(done.wait(Wait));
        first->Cancel();
        QCOMPARE(Files(), QStringList{"other.mn3"});
        QCOMPARE(failed.count(), 0);
        // Freed also by a download that goes without a word (its window closed).
        QCOMPARE(first->Start(held, Missions()), TLevelDownload::TStart::Started);
        first.reset();
        QCOMPARE(Files(), QStringList{"other.mn3"});
        QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), Missions()), TLevelDownload::TStart::Started);
        QVERIFY(done.wait(Wait));
    }

    // The window opens from the event loop, shows the transfer into the download folder as the
    // settings write it, and closes once the level is there; a second reply for the same level
    // opens no second window.
    void windowFollowsTheTransfer()
    {
        m_kit->Config->cbxDescentDLMissionsDir->setChecked(false);
        m_kit->Config->edtFileDownload->setText(m_dir->path() + QStringLiteral("\\dl\\levels"));
        const QString slow = m_http.Url("size=200000/chunk=20000/delay=300/levels/city.mn3");
        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
        QVERIFY(VisibleWindows<TfrmDownloadLevel>().isEmpty());
        QTRY_COMPARE(VisibleWindows<TfrmDownloadLevel>().size(), 1);
        QPointer<TfrmDownloadLevel> window = VisibleWindows<TfrmDownloadLevel>().first();
        QCOMPARE(window->lblBytesSecond->text(), QStringLiteral("Unknown"));
        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
        QSignalSpy downloaded(window.data(), &TfrmDownloadLevel::LevelDownloaded);
        QTRY_VERIFY_WITH_TIMEOUT(window->lblTime->text().toInt() >= 1, Wait);
        QCOMPARE(VisibleWindows<TfrmDownloadLevel>().size(), 1);
        const QString local = m_dir->path() + QStringLiteral("/dl/levels/city.mn3");
        QCOMPARE(window->lblDownloadLocation->text(), QDir::toNativeSeparators(local));
        QCOMPARE(window->lblFileSize->text(), QStringLiteral("200000"));
        QCOMPARE(window->lblBytesReceived->text().toLongLong() + window->lblBytesLeft->text().toLongLong(), 200000);
        QVERIFY(window->lblBytesSecond->text().toLongLong() > 0 && window->pgbDownload->value() > 0);
        QVERIFY(downloaded.wait(Wait));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(QFileInfo(local).size(), 200000);
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // A failure stays on show until the user closes the window, also a folder that cannot be
    // made; Cancel stops the transfer and leaves no file.
    void windowFailureAndCancel()
    {
        QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
        window->show();
        QCOMPARE(window->StartDownload(m_http.Url("status=404/city.mn3")), TLevelDownload::TStart::Started);
        QTRY_VERIFY_WITH_TIMEOUT(window->lblStatus->text().contains(QStringLiteral("HTTP 404")), Wait);
        QTest::qWait(50);
        QVERIFY(window);
        QTest::mouseClick(window->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        m_kit->Config->edtDescentPath->setText(Local(QStringLiteral("city.mn3/x")));
        PlaceOldLevel();
        window = new TfrmDownloadLevel;
        window->show();
        QCOMPARE(window->StartDownload(m_http.Url("size=10/city.mn3")), TLevelDownload::TStart::FileError);
        QVERIFY2(window->lblStatus->text().contains(QStringLiteral("cannot be created")),
                 qPrintable(window->lblStatus->text()));
        window->close();
        QFile::remove(Local(QStringLiteral("city.mn3")));

        m_kit->Config->edtDescentPath->setText(m_dir->path() + QStringLiteral("\\d3"));
        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3"));
        QTRY_COMPARE(VisibleWindows<TfrmDownloadLevel>().size(), 1);
        window = VisibleWindows<TfrmDownloadLevel>().first();
        QTRY_VERIFY_WITH_TIMEOUT(window->HTTP->Received() > 0, Wait);
        QTest::mouseClick(window->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(Files(), QStringList{});
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // An address that names no file or is not http warns, from the event loop, and opens
    // nothing.
    void unusableAddressWarnsLater()
    {
        for (const char *address : {"http://127.0.0.1:1/levels/", "ftp://127.0.0.1/levels/city.mn3", "   "}) {
            m_kit->Boxes.clear();
            TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), QLatin1String(address));
            QVERIFY(m_kit->Boxes.isEmpty());
            QTRY_COMPARE(m_kit->Boxes, QStringList{"Unable to get level from Arena"});
            QVERIFY(VisibleWindows<TfrmDownloadLevel>().isEmpty());
        }
        QVERIFY(!QFileInfo::exists(m_dir->path() + QStringLiteral("/d3")));
    }
};

QTEST_MAIN(tst_LevelDownload)
#include "tst_LevelDownload.moc"
