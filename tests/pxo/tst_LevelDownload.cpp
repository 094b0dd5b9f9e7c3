// Levels fetched from the address a game server gives: where they go, the download against a
// real HTTP server on loopback that can also fail, cut a transfer short, lie about its length
// and stall, and the window that shows it.
#include "base/SafeName.h"
#include "common/FileSizeLimit.h"
#include "common/HttpTestServer.h"
#include "common/StoreFixture.h"
#include "pxo/LevelDownload.h"
#include "pxo/LevelTarget.h"
#include "pxo/UfrmDownloadLevel.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <sys/stat.h>

namespace {
constexpr int Wait = 15000;
const QByteArray OldLevel = "the level that was there before";

QList<TfrmDownloadLevel *> Windows()
{
    QList<TfrmDownloadLevel *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmDownloadLevel *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}

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
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    QStringList m_boxes;

    QString Missions() const { return m_dir->path() + QStringLiteral("/d3\\missions"); }
    QString Local(const QString &name = {}) const { return m_dir->path() + QStringLiteral("/d3/missions/") + name; }
    QStringList Files() const { return QDir(Local()).entryList(QDir::Files | QDir::Hidden); }
    void PlaceOldLevel(const QString &name = QStringLiteral("city.mn3"))
    {
        QVERIFY(QDir().mkpath(Local()));
        QFile file(Local(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(OldLevel);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_http.Start(), "the HTTP server did not start");
        MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons) {
            m_boxes << (icon == QMessageBox::Warning ? "warning: " : "") + text;
            return QMessageBox::Ok;
        });
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TStoreFixture>();
        m_config = std::make_unique<TfrmConfig>();
        SetConfig(m_config.get());
        m_config->edtDescentPath->setText(m_dir->path() + QStringLiteral("\\d3"));
        m_config->cbxDescentDLMissionsDir->setChecked(true);
        m_boxes.clear();
    }
    void cleanup()
    {
        for (TfrmDownloadLevel *window : Windows())
            window->close();
        QTRY_VERIFY(Windows().isEmpty());
        SetConfig(nullptr);
        m_config.reset();
        m_store.reset();
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        QTest::newRow("after the last slash") << "http://h/levels/city.mn3"
                                              << "city.mn3";
        QTest::newRow("after the last backslash") << "http://h\\levels\\city.mn3"
                                                  << "city.mn3";
        QTest::newRow("blanks around") << "  http://h/city.mn3 "
                                       << "city.mn3";
        QTest::newRow("blank inside kept") << "http://h/city pack.mn3"
                                           << "city pack.mn3";
        for (const char *none : {"http://h/levels/", "http://h/levels/.", "http://h/levels/..", "http://h",
                                 "http://h/city.mn3?x=1", "http://h/c:city.mn3"})
            QTest::newRow(none) << none << "";
    }
    void fileName()
    {
        QFETCH(QString, address);
        QTEST(LevelTarget::FileName(address), "name");
    }

    // One plain name or none, whatever a peer sends.
    void plainName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "city.mn3"
                               << "city.mn3";
        QTest::newRow("directories dropped") << "../../etc/passwd"
                                             << "passwd";
        QTest::newRow("backslash directories dropped") << "..\\..\\win.ini"
                                                       << "win.ini";
        QTest::newRow("drive dropped") << "c:boot.ini"
                                       << "boot.ini";
        QTest::newRow("CONSOLE is a file") << "console.log"
                                           << "console.log";
        QTest::newRow("255 UTF-8 bytes") << QString(255, u'n') << QString(255, u'n');
        for (const QString &none : {QString(), QStringLiteral("a/."), QStringLiteral(".."), QStringLiteral("city.mn3."),
                                    QStringLiteral("a\nb"), QStringLiteral("gpj\u202Eexe.txt"), QStringLiteral("a|b"),
                                    QStringLiteral("com1.txt"), QString(256, u'n')})
            QTest::newRow(qPrintable(none.left(12).toUtf8().toPercentEncoding())) << none << "";
    }
    void plainName()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(SafeName::PlainName(text), name);
        QCOMPARE(SafeName::IsPlain(text), !name.isEmpty() && name == text);
    }

    void fetchable()
    {
        for (const char *yes : {"http://127.0.0.1/x.mn3", "https://levels.example.org/x.mn3"})
            QVERIFY(LevelTarget::IsFetchable(QLatin1String(yes)));
        for (const char *no : {"ftp://h/x.mn3", "file:///etc/passwd", "http:///x.mn3", ""})
            QVERIFY(!LevelTarget::IsFetchable(QLatin1String(no)));
    }

    // Folders as the settings write them; "c:" means the drive's current folder.
    void target_data()
    {
        QTest::addColumn<bool>("toMissions");
        QTest::addColumn<QString>("folder"); // the game's folder, or the download folder
        QTest::addColumn<QString>("joined");
        QTest::addColumn<QString>("local");
        QTest::newRow("missions") << true << "c:\\games\\descent3"
                                  << "c:\\games\\descent3\\missions\\city.mn3"
                                  << "c:/games/descent3/missions/city.mn3";
        QTest::newRow("missions, slashes") << true << "/home/p/d3"
                                           << "/home/p/d3\\missions\\city.mn3"
                                           << "/home/p/d3/missions/city.mn3";
        QTest::newRow("c:") << false << "c:"
                            << "c:city.mn3"
                            << "c:city.mn3";
        QTest::newRow("c:\\temp") << false << "c:\\temp"
                                  << "c:\\temp\\city.mn3"
                                  << "c:/temp/city.mn3";
        QTest::newRow("c:/temp") << false << "c:/temp"
                                 << "c:/temp\\city.mn3"
                                 << "c:/temp/city.mn3";
        QTest::newRow("ending in a backslash") << false << "c:\\temp\\"
                                               << "c:\\temp\\city.mn3"
                                               << "c:/temp/city.mn3";
        QTest::newRow("empty download folder") << false << ""
                                               << "city.mn3"
                                               << "city.mn3";
    }
    void target()
    {
        QFETCH(bool, toMissions);
        QFETCH(QString, folder);
        QFETCH(QString, local);
        const QString path = LevelTarget::Join(
            LevelTarget::Directory(toMissions, folder, toMissions ? QString() : folder), QStringLiteral("city.mn3"));
        QTEST(path, "joined");
        QCOMPARE(LevelTarget::LocalPath(path), QDir::toNativeSeparators(local));
    }

    // A whole level replaces the old one, saved as plain data (rw-r--r--) whatever the process
    // mask and the old file's mode; progress runs up to the total, unknown when not announced.
    void arrives_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("total");
        QTest::newRow("announced, in chunks") << "size=100000/chunk=8192/levels/city.mn3" << qint64(100000);
        QTest::newRow("not announced") << "announce=none/size=3000/city.mn3" << qint64(-1);
    }
    void arrives()
    {
        QFETCH(QString, path);
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
        QCOMPARE(ReadAll(Local("city.mn3")), THttpTestServer::Body(total < 0 ? 3000 : int(total)));
        QCOMPARE(Files(), QStringList{"city.mn3"});
        QCOMPARE(QFileInfo(Local("city.mn3")).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(connected.count(), 1);
        QCOMPARE(download.Total(), total);
        for (qsizetype i = 1; i < progress.size(); ++i)
            QVERIFY(progress.at(i).at(0).toLongLong() >= progress.at(i - 1).at(0).toLongLong());
        QVERIFY(!download.IsRunning() && !TLevelDownload::Running(Local("city.mn3")));
    }

    // A failure leaves the old level whole and nothing beside it.
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
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(qint64, maxBytes);
        QFETCH(int, stallMs);
        QFETCH(QString, reason);
        PlaceOldLevel();
        std::optional<TFileSizeLimit> full;
        if (QTest::currentDataTag() == QLatin1String("full disk"))
            QVERIFY(full.emplace(64 * 1024).IsActive());
        TLevelDownload download;
        download.SetMaxBytes(maxBytes);
        download.SetStallTimeout(stallMs);
        QSignalSpy failed(&download, &TLevelDownload::Failed);
        QCOMPARE(download.Start(path.startsWith("http") ? path : m_http.Url(path), Missions()),
                 TLevelDownload::TStart::Started);
        QVERIFY(failed.wait(Wait));
        full.reset();
        QVERIFY2(failed.at(0).at(0).toString().contains(reason), qPrintable(failed.at(0).at(0).toString()));
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());
        QCOMPARE(download.ErrorText(), failed.at(0).at(0).toString());
        QCOMPARE(ReadAll(Local("city.mn3")), OldLevel);
        QCOMPARE(Files(), QStringList{"city.mn3"});
    }

    // A cancelled download leaves nothing, says nothing, and frees its file; one file is fetched
    // once at a time however its folder is written, another file beside it may go.
    void cancelAndOnePerFile()
    {
        auto first = std::make_unique<TLevelDownload>();
        QSignalSpy failed(first.get(), &TLevelDownload::Failed);
        QCOMPARE(first->Start(m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3"), Missions()),
                 TLevelDownload::TStart::Started);
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
        QCOMPARE(first->Start(m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3"), Missions()),
                 TLevelDownload::TStart::Started);
        first.reset();
        QCOMPARE(Files(), QStringList{"other.mn3"});
        QCOMPARE(second.Start(m_http.Url("size=10/city.mn3"), Missions()), TLevelDownload::TStart::Started);
        QVERIFY(done.wait(Wait));
    }

    // The window opens from the event loop, shows the transfer, and closes once the level is in
    // its folder; a second reply for the same level opens no second window.
    void windowFollowsTheTransfer()
    {
        const QString slow = m_http.Url("size=200000/chunk=20000/delay=300/levels/city.mn3");
        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
        QVERIFY(Windows().isEmpty());
        QTRY_COMPARE(Windows().size(), 1);
        QPointer<TfrmDownloadLevel> window = Windows().first();
        QCOMPARE(window->windowTitle(), QStringLiteral("Downloading city.mn3"));
        QCOMPARE(window->lblBytesSecond->text(), QStringLiteral("Unknown"));
        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
        QSignalSpy downloaded(window.data(), &TfrmDownloadLevel::LevelDownloaded);
        QTRY_VERIFY_WITH_TIMEOUT(window->lblTime->text().toInt() >= 1, Wait);
        QCOMPARE(Windows().size(), 1);
        QCOMPARE(window->lblDownloadLocation->text(), QDir::toNativeSeparators(Local("city.mn3")));
        QCOMPARE(window->lblFileSize->text(), QStringLiteral("200000"));
        QCOMPARE(window->lblBytesReceived->text().toLongLong() + window->lblBytesLeft->text().toLongLong(), 200000);
        QVERIFY(window->lblBytesSecond->text().toLongLong() > 0 && window->pgbDownload->value() > 0);
        QVERIFY(downloaded.wait(Wait));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(QFileInfo(Local("city.mn3")).size(), 200000);
        QVERIFY(m_boxes.isEmpty());
    }

    // Into the download folder when not into the missions folder, as the settings write it.
    void windowUsesTheDownloadFolder()
    {
        m_config->cbxDescentDLMissionsDir->setChecked(false);
        m_config->edtFileDownload->setText(m_dir->path() + QStringLiteral("\\dl\\levels"));
        QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
        window->show();
        QCOMPARE(window->StartDownload(m_http.Url("size=100/city.mn3")), TLevelDownload::TStart::Started);
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), Wait);
        QVERIFY(QFileInfo::exists(m_dir->path() + QStringLiteral("/dl/levels/city.mn3")));
        m_config->edtFileDownload->setText(m_dir->path() + QStringLiteral("/dl/levels/city.mn3/x"));
        window = new TfrmDownloadLevel;
        window->show();
        QCOMPARE(window->StartDownload(m_http.Url("size=10/city.mn3")), TLevelDownload::TStart::FileError);
        QVERIFY2(window->lblStatus->text().contains(QStringLiteral("cannot be created")),
                 qPrintable(window->lblStatus->text()));
    }

    // A failure stays on show until the user closes the window; Cancel stops the transfer and
    // leaves no file.
    void windowFailureAndCancel()
    {
        QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
        window->show();
        QCOMPARE(window->StartDownload(m_http.Url("status=404/city.mn3")), TLevelDownload::TStart::Started);
        QTRY_VERIFY_WITH_TIMEOUT(window->lblStatus->text().contains(QStringLiteral("HTTP 404")), Wait);
        QCOMPARE(window->btnCancel->text(), QStringLiteral("&Close"));
        QTest::qWait(50);
        QVERIFY(window);
        QTest::mouseClick(window->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(window.isNull());

        TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), m_http.Url("size=100000/chunk=1000/hold=20000/city.mn3"));
        QTRY_COMPARE(Windows().size(), 1);
        window = Windows().first();
        QTRY_VERIFY_WITH_TIMEOUT(window->HTTP->Received() > 0, Wait);
        QTest::mouseClick(window->btnCancel, Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(Files(), QStringList{});
        QVERIFY(m_boxes.isEmpty());
    }

    // An address that names no file or is not http warns, from the event loop, and opens
    // nothing.
    void unusableAddressWarnsLater()
    {
        for (const char *address : {"http://127.0.0.1:1/levels/", "ftp://127.0.0.1/levels/city.mn3"}) {
            m_boxes.clear();
            TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), QLatin1String(address));
            QVERIFY(m_boxes.isEmpty());
            QTRY_COMPARE(m_boxes, QStringList{"warning: Unable to get level from Arena"});
            QVERIFY(Windows().isEmpty());
        }
        QVERIFY(!QFileInfo::exists(m_dir->path() + QStringLiteral("/d3")));
    }
};

QTEST_MAIN(tst_LevelDownload)
#include "tst_LevelDownload.moc"
