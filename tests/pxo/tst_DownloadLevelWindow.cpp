// The level download window with the real settings holder and a real HTTP server on loopback.
#include "common/HttpTestServer.h"
#include "common/StoreFixture.h"
#include "pxo/UfrmDownloadLevel.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int WaitMs = 15000;

struct TBox
{
    QMessageBox::Icon icon;
    QString text;
};

QList<TfrmDownloadLevel *> Windows()
{
    QList<TfrmDownloadLevel *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmDownloadLevel *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}
} // namespace

class TestDownloadLevelWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void levelArrivesAndWindowCloses();
    void folderRule_data();
    void folderRule();
    void labelsFollowTheTransfer();
    void failureShownInWindow_data();
    void failureShownInWindow();
    void folderThatCannotBeMade();
    void cancelClosesAndLeavesNoFile();
    void unusableAddressWarnsLater_data();
    void unusableAddressWarnsLater();
    void sameLevelTwiceOpensOneWindow();

private:
    QString Path(const QString &relative) const { return m_dir->path() + QLatin1Char('/') + relative; }
    QString Url(const QString &path) const { return m_http.Url(path); }

    THttpTestServer m_http;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    QList<TBox> m_boxes;
};

void TestDownloadLevelWindow::initTestCase()
{
    QVERIFY2(m_http.Start(), "the HTTP server did not start");
    MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons) {
        m_boxes.append({icon, text});
        return QMessageBox::Ok;
    });
}

void TestDownloadLevelWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_store = std::make_unique<TStoreFixture>();
    m_config = std::make_unique<TfrmConfig>();
    SetConfig(m_config.get());
    m_config->Startup();
    m_config->edtDescentPath->setText(m_dir->path() + QStringLiteral("\\descent3"));
    m_config->cbxDescentDLMissionsDir->setChecked(true);
    m_config->edtFileDownload->setText(m_dir->path() + QStringLiteral("\\downloads"));
    m_boxes.clear();
}

void TestDownloadLevelWindow::cleanup()
{
    for (TfrmDownloadLevel *window : Windows())
        window->close();
    QTRY_VERIFY(Windows().isEmpty());
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
}

void TestDownloadLevelWindow::levelArrivesAndWindowCloses()
{
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), Url("size=60000/chunk=10000/delay=200/levels/city.mn3"));
    QVERIFY(Windows().isEmpty()); // opened from the event loop, not inside the caller
    QTRY_COMPARE_WITH_TIMEOUT(Windows().size(), 1, WaitMs);
    QPointer<TfrmDownloadLevel> window = Windows().first();
    QCOMPARE(window->windowTitle(), QStringLiteral("Downloading city.mn3"));
    QSignalSpy downloaded(window.data(), &TfrmDownloadLevel::LevelDownloaded);
    QVERIFY(downloaded.wait(WaitMs));
    QTRY_VERIFY(window.isNull());
    const QString level = Path("descent3/missions/city.mn3");
    QCOMPARE(QFileInfo(downloaded.at(0).at(0).toString()).absoluteFilePath(), QFileInfo(level).absoluteFilePath());
    QCOMPARE(QFileInfo(level).size(), 60000);
    QVERIFY(m_boxes.isEmpty());
}

void TestDownloadLevelWindow::folderRule_data()
{
    QTest::addColumn<bool>("toMissions");
    QTest::addColumn<QString>("gamePath");     // under the test's folder
    QTest::addColumn<QString>("downloadPath"); // under the test's folder
    QTest::addColumn<QString>("lands");
    QTest::addRow("missions folder") << true << "d3"
                                     << "dl"
                                     << "d3/missions/city.mn3";
    QTest::addRow("download folder with backslash") << false << "d3"
                                                    << "dl\\levels"
                                                    << "dl/levels/city.mn3";
    QTest::addRow("download folder with slash") << false << "d3"
                                                << "dl/levels"
                                                << "dl/levels/city.mn3";
}

void TestDownloadLevelWindow::folderRule()
{
    QFETCH(bool, toMissions);
    QFETCH(QString, gamePath);
    QFETCH(QString, downloadPath);
    QFETCH(QString, lands);
    m_config->cbxDescentDLMissionsDir->setChecked(toMissions);
    m_config->edtDescentPath->setText(m_dir->path() + QLatin1Char('\\') + gamePath);
    m_config->edtFileDownload->setText(m_dir->path() + QLatin1Char('\\') + downloadPath);
    QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
    window->show();
    QSignalSpy downloaded(window.data(), &TfrmDownloadLevel::LevelDownloaded);
    QCOMPARE(window->StartDownload(Url("size=100/city.mn3")), TLevelDownload::TStart::Started);
    QVERIFY(downloaded.wait(WaitMs));
    QVERIFY2(QFileInfo::exists(Path(lands)), qPrintable(downloaded.at(0).at(0).toString()));
    QTRY_VERIFY(window.isNull());
}

void TestDownloadLevelWindow::labelsFollowTheTransfer()
{
    QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
    window->show();
    for (QLabel *label : {window->lblDownloadLocation, window->lblFileSize, window->lblBytesReceived,
                          window->lblBytesLeft, window->lblBytesSecond, window->lblTime, window->lblTimeLeft})
        QCOMPARE(label->text(), QStringLiteral("Unknown"));
    QSignalSpy downloaded(window.data(), &TfrmDownloadLevel::LevelDownloaded);
    QCOMPARE(window->StartDownload(Url("size=200000/chunk=20000/delay=300/city.mn3")), TLevelDownload::TStart::Started);
    // A coarse timer may tick a little early: the first tick can still read 0 seconds.
    QTRY_VERIFY_WITH_TIMEOUT(window->lblTime->text().toInt() >= 1, WaitMs);
    QCOMPARE(window->lblDownloadLocation->text(), QDir::toNativeSeparators(Path("descent3/missions/city.mn3")));
    QCOMPARE(window->lblFileSize->text(), QStringLiteral("200000"));
    const qint64 received = window->lblBytesReceived->text().toLongLong();
    QVERIFY(received > 0);
    QCOMPARE(received + window->lblBytesLeft->text().toLongLong(), 200000);
    QVERIFY(window->lblBytesSecond->text().toLongLong() > 0);
    QVERIFY(window->lblTimeLeft->text() != QStringLiteral("Unknown"));
    QVERIFY(window->pgbDownload->value() > 0);
    QVERIFY(downloaded.wait(WaitMs));
    QTRY_VERIFY(window.isNull());
}

void TestDownloadLevelWindow::failureShownInWindow_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::addRow("404") << "status=404/city.mn3"
                         << "HTTP 404";
}

void TestDownloadLevelWindow::failureShownInWindow()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
    window->show();
    QCOMPARE(window->StartDownload(Url(path)), TLevelDownload::TStart::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!window->lblStatus->text().isEmpty(), WaitMs);
    QVERIFY2(window->lblStatus->text().contains(reason), qPrintable(window->lblStatus->text()));
    QCOMPARE(window->btnCancel->text(), QStringLiteral("&Close"));
    QVERIFY(!QFileInfo::exists(Path("descent3/missions/city.mn3")));
    QTest::qWait(50);
    QVERIFY(!window.isNull()); // the failure stays until the user closes it
    QTest::mouseClick(window->btnCancel, Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
}

void TestDownloadLevelWindow::folderThatCannotBeMade()
{
    QFile blocker(Path("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_config->cbxDescentDLMissionsDir->setChecked(false);
    m_config->edtFileDownload->setText(Path("blocker/levels"));
    QPointer<TfrmDownloadLevel> window = new TfrmDownloadLevel;
    window->show();
    QCOMPARE(window->StartDownload(Url("size=10/city.mn3")), TLevelDownload::TStart::FileError);
    QVERIFY2(window->lblStatus->text().contains(QStringLiteral("cannot be created")),
             qPrintable(window->lblStatus->text()));
    window->close();
}

void TestDownloadLevelWindow::cancelClosesAndLeavesNoFile()
{
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), Url("size=100000/chunk=1000/hold=20000/city.mn3"));
    QTRY_COMPARE_WITH_TIMEOUT(Windows().size(), 1, WaitMs);
    QPointer<TfrmDownloadLevel> window = Windows().first();
    QTRY_VERIFY_WITH_TIMEOUT(window->HTTP->Received() > 0, WaitMs);
    QVERIFY(window->lblDownloadLocation->text() != QStringLiteral("Unknown"));
    const QString target = window->HTTP->TargetPath();
    QTest::mouseClick(window->btnCancel, Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QVERIFY(!TLevelDownload::Running(target));
    QCOMPARE(QDir(Path("descent3/missions")).entryList(QDir::Files | QDir::Hidden), QStringList{});
    QVERIFY(m_boxes.isEmpty());
}

void TestDownloadLevelWindow::unusableAddressWarnsLater_data()
{
    QTest::addColumn<QString>("address");
    QTest::addRow("ends in a slash") << "http://127.0.0.1:1/levels/";
    QTest::addRow("not http") << "ftp://127.0.0.1/levels/city.mn3";
}

void TestDownloadLevelWindow::unusableAddressWarnsLater()
{
    QFETCH(QString, address);
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), address);
    QVERIFY(m_boxes.isEmpty()); // never shown inside the datagram handler
    QTRY_COMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes.first().text, QStringLiteral("Unable to get level from Arena"));
    QVERIFY(Windows().isEmpty());
    QVERIFY(!QFileInfo::exists(Path("descent3")));
}

void TestDownloadLevelWindow::sameLevelTwiceOpensOneWindow()
{
    const QString slow = Url("size=100000/chunk=1000/hold=20000/city.mn3");
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
    QTRY_COMPARE_WITH_TIMEOUT(Windows().size(), 1, WaitMs);
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), slow);
    TfrmDownloadLevel::OpenFor(QStringLiteral("Arena"), Url("levels/city.mn3"));
    QTest::qWait(200);
    QCOMPARE(Windows().size(), 1);
    QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(TestDownloadLevelWindow)
#include "tst_DownloadLevelWindow.moc"
