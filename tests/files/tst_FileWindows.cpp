// The file server and file transfer windows wired together on loopback, as a user drives
// them: share, connect, double-click, and every message on the way.
#include "FilePeers.h"
#include "common/StoreFixture.h"
#include "files/FileProtocol.h"
#include "files/FileServerEngine.h"
#include "files/FileTransferClient.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace FileProtocol;

class TestFileWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void shareAndFetch();
    void invalidHostOrPort_data();
    void invalidHostOrPort();
    void failedConnectRestoresTheCaption();
    void serverThatCannotListenSaysSo();
    void sharingRefusalsAreShown();
    void disconnectDuringDownloadSaysNothingWasSaved();
    void replacingALocalFileIsAsked();
    void missingDownloadDirectoryIsReported();

private:
    QString Shared(const QString &name, const QByteArray &bytes) const
    {
        return WriteFile(m_root->filePath(name), bytes);
    }
    void Click(QTreeWidget *list, int row)
    {
        QTreeWidgetItem *item = list->topLevelItem(row);
        QVERIFY(item);
        list->setCurrentItem(item);
        emit list->itemDoubleClicked(item, 0);
    }
    // A transfer window connected to the scripted server, its list answered.
    TfrmFileTransfer *ConnectToScript(const QByteArray &list)
    {
        auto *window = new TfrmFileTransfer(m_script->Port(), QStringLiteral("127.0.0.1"));
        window->show();
        window->btnConnect->click();
        if (!QTest::qWaitFor([this] { return m_script->Received() == ListRequest(); }, 5000))
            return window;
        m_script->Take();
        m_script->Send(list);
        (void)QTest::qWaitFor([window] { return window->lblStatus->text().contains(QStringLiteral("listed")); }, 5000);
        return window;
    }

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TScriptedServer> m_script;
    QString m_downloads;
    QStringList m_messages;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
};

void TestFileWindows::init()
{
    m_store = std::make_unique<TStoreFixture>();
    m_config = std::make_unique<TfrmConfig>();
    SetConfig(m_config.get());
    m_config->Startup();
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_root->path()).mkdir(QStringLiteral("in")));
    m_downloads = m_root->filePath(QStringLiteral("in"));
    m_config->edtFileDownload->setText(m_downloads);
    m_script = std::make_unique<TScriptedServer>();
    QVERIFY(m_script->Open());
    m_messages.clear();
    m_answer = QMessageBox::Ok;
    MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons buttons) {
        m_messages << text;
        return buttons.testFlag(m_answer) ? m_answer : QMessageBox::Ok;
    });
}

void TestFileWindows::cleanup()
{
    MessageBox::SetHook({});
    m_script.reset();
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
    m_root.reset();
}

void TestFileWindows::shareAndFetch()
{
    QPointer<TfrmFileServer> server = new TfrmFileServer(0, nullptr, QHostAddress::LocalHost);
    server->show();
    const quint16 port = server->ServerPort();
    QVERIFY(port != 0);
    QCOMPARE(server->windowTitle(), QStringLiteral("File server (port %1)").arg(port));
    QCOMPARE(server->pgcPages->tabText(0), QStringLiteral("&Files"));
    QCOMPARE(server->pgcPages->tabText(1), QStringLiteral("&Users"));
    const QByteArray bytes = FileBytes(300000, 11);
    const QString big = Shared(QStringLiteral("b-level.mn3"), bytes);
    QVERIFY(server->AddSharedFile(Shared(QStringLiteral("a-small.txt"), "hello")));
    QVERIFY(server->AddSharedFile(big));
    QCOMPARE(server->lvwFiles->topLevelItemCount(), 2);
    QCOMPARE(server->lvwFiles->topLevelItem(1)->text(0), big);
    QCOMPARE(server->lvwFiles->topLevelItem(1)->text(1), QStringLiteral("293 kb"));
    QVERIFY(server->AddSharedFile(Shared(QStringLiteral("c-gone"), "x")));
    server->btnRemove->click(); // nothing selected: nothing removed
    QCOMPARE(server->lvwFiles->topLevelItemCount(), 3);
    server->lvwFiles->setCurrentItem(server->lvwFiles->topLevelItem(2));
    server->btnRemove->click();
    QCOMPARE(server->lvwFiles->topLevelItemCount(), 2);

    QPointer<TfrmFileTransfer> transfer = new TfrmFileTransfer(port, QStringLiteral("127.0.0.1"));
    transfer->show();
    QCOMPARE(transfer->windowTitle(), QStringLiteral("File transfer"));
    QCOMPARE(transfer->edtPort->text(), QString::number(port));
    QVERIFY(transfer->btnConnect->isVisible());
    QVERIFY(!transfer->btnDisconnect->isVisible());
    transfer->btnConnect->click();
    QCOMPARE(transfer->windowTitle(), QStringLiteral("File transfer, connecting..."));
    QTRY_COMPARE_WITH_TIMEOUT(transfer->lvwFiles->topLevelItemCount(), 2, 5000);
    QCOMPARE(transfer->windowTitle(), QStringLiteral("File transfer"));
    QVERIFY(transfer->btnDisconnect->isVisible());
    QVERIFY(!transfer->btnConnect->isVisible());
    QCOMPARE(transfer->lvwFiles->topLevelItem(1)->text(0), QStringLiteral("b-level.mn3"));
    QTRY_COMPARE_WITH_TIMEOUT(server->lvwUsers->topLevelItemCount(), 1, 5000);

    Click(transfer->lvwFiles, 1);
    QTRY_VERIFY_WITH_TIMEOUT(transfer->lblStatus->text().startsWith(QStringLiteral("Saved")), 10000);
    const QString local = QDir::toNativeSeparators(m_downloads + QStringLiteral("/b-level.mn3"));
    QVERIFY(ReadFile(local) == bytes);
    QCOMPARE(transfer->lblFileName->text(), local);
    QCOMPARE(transfer->lblBytesIn->text(), QStringLiteral("300000"));
    QCOMPARE(transfer->lblFileSize->text(), QStringLiteral("300000"));
    QCOMPARE(transfer->pgbProgress->value(), transfer->pgbProgress->maximum());
    QCOMPARE(server->lvwUsers->topLevelItem(0)->text(1), big);
    QCOMPARE(m_messages, QStringList());

    transfer->btnDisconnect->click();
    QTRY_VERIFY_WITH_TIMEOUT(transfer->btnConnect->isVisible(), 5000);
    QCOMPARE(transfer->lvwFiles->topLevelItemCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(server->lvwUsers->topLevelItemCount(), 0, 5000);
    // Closing frees both windows.
    transfer->BitBtn1->click();
    server->btnClose->click();
    QTRY_VERIFY(!transfer && !server);
}

void TestFileWindows::invalidHostOrPort_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addRow("no host") << QStringLiteral("   ") << QStringLiteral("28050");
    QTest::addRow("port 0") << QStringLiteral("127.0.0.1") << QStringLiteral("0");
    QTest::addRow("port not a number") << QStringLiteral("127.0.0.1") << QStringLiteral("x1");
    QTest::addRow("port past 65535") << QStringLiteral("127.0.0.1") << QStringLiteral("65536");
}

void TestFileWindows::invalidHostOrPort()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    TfrmFileTransfer window;
    window.edtHost->setText(host);
    window.edtPort->setText(port);
    window.btnConnect->click();
    QCOMPARE(m_messages, QStringList{QStringLiteral("Invalid hostname or portnumber!")});
    QCOMPARE(window.windowTitle(), QStringLiteral("File transfer"));
    QCOMPARE(window.Client().GetState(), TFileTransferClient::State::Idle);
}

void TestFileWindows::failedConnectRestoresTheCaption()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    TfrmFileTransfer window(closed.serverPort(), QStringLiteral(" 127.0.0.1 "));
    closed.close();
    window.show();
    window.btnConnect->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_messages.size(), 1, 5000);
    QVERIFY(m_messages.first().contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    QCOMPARE(window.windowTitle(), QStringLiteral("File transfer"));
    QVERIFY(window.btnConnect->isVisible());
    QVERIFY(!window.btnDisconnect->isVisible());
}

void TestFileWindows::serverThatCannotListenSaysSo()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    TfrmFileServer window(taken.serverPort(), nullptr, QHostAddress::LocalHost);
    QVERIFY(!window.Listening());
    QCOMPARE(window.ServerPort(), taken.serverPort());
    QVERIFY(window.lblStatus->text().startsWith(QStringLiteral("Not listening")));
    QTRY_COMPARE_WITH_TIMEOUT(m_messages.size(), 1, 5000);
    QVERIFY(m_messages.first().contains(QStringLiteral("cannot listen on port %1").arg(taken.serverPort())));
}

void TestFileWindows::sharingRefusalsAreShown()
{
    TfrmFileServer window(0, nullptr, QHostAddress::LocalHost);
    QFile huge(m_root->filePath(QStringLiteral("huge.bin")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(3) << 30));
    huge.close();
    QVERIFY(!window.AddSharedFile(huge.fileName()));
    QVERIFY(!window.AddSharedFile(m_root->filePath(QStringLiteral("missing.bin"))));
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(m_messages.at(0).contains(QStringLiteral("2147483647")));
    QCOMPARE(window.lvwFiles->topLevelItemCount(), 0);
}

void TestFileWindows::disconnectDuringDownloadSaysNothingWasSaved()
{
    std::unique_ptr<TfrmFileTransfer> window(ConnectToScript(ListReply({{"part", 5000}})));
    QCOMPARE(window->lvwFiles->topLevelItemCount(), 1);
    Click(window->lvwFiles, 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_script->Received().size() == 25, 5000);
    m_script->Send(BlockReplyHeader(0) + QByteArray(1024, 'p'));
    QTRY_COMPARE_WITH_TIMEOUT(window->lblBytesIn->text(), QStringLiteral("1024"), 5000);
    QCOMPARE(window->pgbProgress->value(), window->pgbProgress->maximum() * 1024 / 5000);
    window->btnDisconnect->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->btnConnect->isVisible(), 5000);
    QVERIFY2(window->lblStatus->text().contains(QStringLiteral("nothing was saved")),
             qPrintable(window->lblStatus->text()));
    QCOMPARE(QDir(m_downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestFileWindows::replacingALocalFileIsAsked()
{
    const QString local = WriteFile(m_downloads + QStringLiteral("/kept"), "mine");
    std::unique_ptr<TfrmFileTransfer> window(ConnectToScript(ListReply({{"kept", 3}})));
    m_answer = QMessageBox::No;
    Click(window->lvwFiles, 0);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(!QTest::qWaitFor([this] { return !m_script->Received().isEmpty(); }, 200));
    QCOMPARE(ReadFile(local), QByteArray("mine"));
    m_answer = QMessageBox::Yes;
    Click(window->lvwFiles, 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_script->Received(), OpenRequest(0) + BlockRequest(0), 5000);
    QCOMPARE(ReadFile(local), QByteArray("mine")); // replaced only once complete
    m_script->Send(BlockReplyHeader(0) + "new");
    QTRY_COMPARE_WITH_TIMEOUT(ReadFile(local), QByteArray("new"), 5000);
}

void TestFileWindows::missingDownloadDirectoryIsReported()
{
    m_config->edtFileDownload->setText(m_root->filePath(QStringLiteral("nowhere")));
    std::unique_ptr<TfrmFileTransfer> window(ConnectToScript(ListReply({{"f", 3}})));
    Click(window->lvwFiles, 0);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(QStringLiteral("does not exist")));
    QVERIFY(!QTest::qWaitFor([this] { return !m_script->Received().isEmpty(); }, 200));
}

QTEST_MAIN(TestFileWindows)
#include "tst_FileWindows.moc"
