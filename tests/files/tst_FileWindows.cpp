// The file server and file transfer windows wired together on loopback, as a user drives
// them from the frame: share, connect, double-click, and every message on the way.
#include "FilePeers.h"
#include "app/UfrmMain.h"
#include "common/Loopback.h"
#include "common/StoreFixture.h"
#include "files/FileProtocol.h"
#include "files/FileTransferClient.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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
    void connectErrors_data();
    void connectErrors();
    void serverRefusals();
    void downloadFolderAndLocalFiles();
    void fileServersTakePortsFromThePool();

private:
    QString Shared(const QString &name, const QByteArray &bytes) const
    {
        return WriteFile(m_root->filePath(name), bytes);
    }
    static void Click(QTreeWidget *list, int row)
    {
        list->setCurrentItem(list->topLevelItem(row));
        emit list->itemDoubleClicked(list->topLevelItem(row), 0);
    }

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_root;
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
    const QByteArray bytes = SeededBytes(300000, 11);
    const QString big = Shared(QStringLiteral("b-level.mn3"), bytes);
    QVERIFY(server->AddSharedFile(Shared(QStringLiteral("a-small.txt"), "hello")));
    QVERIFY(server->AddSharedFile(big));
    QVERIFY(server->AddSharedFile(Shared(QStringLiteral("c-gone"), "x")));
    server->btnRemove->click(); // nothing selected: nothing removed
    QCOMPARE(server->lvwFiles->topLevelItemCount(), 3);
    server->lvwFiles->setCurrentItem(server->lvwFiles->topLevelItem(2));
    server->btnRemove->click();
    QCOMPARE(server->lvwFiles->topLevelItemCount(), 2);
    QCOMPARE(server->lvwFiles->topLevelItem(1)->text(0), big);

    QPointer<TfrmFileTransfer> transfer = new TfrmFileTransfer(port, QStringLiteral("127.0.0.1"));
    transfer->show();
    transfer->btnConnect->click();
    QTRY_COMPARE(transfer->lvwFiles->topLevelItemCount(), 2);
    QVERIFY(transfer->btnDisconnect->isVisible() && !transfer->btnConnect->isVisible());
    QCOMPARE(transfer->lvwFiles->topLevelItem(1)->text(0), QStringLiteral("b-level.mn3"));
    QTRY_COMPARE(server->lvwUsers->topLevelItemCount(), 1);

    Click(transfer->lvwFiles, 1);
    QTRY_VERIFY_WITH_TIMEOUT(transfer->lblStatus->text().startsWith(QStringLiteral("Saved")), 10000);
    const QString local = QDir::toNativeSeparators(m_downloads + QStringLiteral("/b-level.mn3"));
    QVERIFY(ReadFile(local) == bytes);
    QCOMPARE(transfer->lblBytesIn->text(), QStringLiteral("300000"));
    QCOMPARE(transfer->pgbProgress->value(), transfer->pgbProgress->maximum());
    QCOMPARE(server->lvwUsers->topLevelItem(0)->text(1), big);
    QCOMPARE(m_messages, QStringList());

    transfer->btnDisconnect->click();
    QTRY_VERIFY(transfer->btnConnect->isVisible());
    QCOMPARE(transfer->lvwFiles->topLevelItemCount(), 0);
    QTRY_COMPARE(server->lvwUsers->topLevelItemCount(), 0);
    // Closing frees both windows.
    transfer->BitBtn1->click();
    server->btnClose->click();
    QTRY_VERIFY(!transfer && !server);
}

void TestFileWindows::connectErrors_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port"); // empty: a port nobody listens on
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("Invalid hostname or portnumber!");
    QTest::addRow("no host") << QStringLiteral("   ") << QStringLiteral("28050") << invalid;
    QTest::addRow("port past 65535") << QStringLiteral("127.0.0.1") << QStringLiteral("65536") << invalid;
    QTest::addRow("refused") << QStringLiteral(" 127.0.0.1 ") << QString() << QStringLiteral("refused");
}

// The window says why, and is back where it was: ready to connect again.
void TestFileWindows::connectErrors()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, message);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    closed.close();
    TfrmFileTransfer window(closed.serverPort(), host);
    if (!port.isEmpty())
        window.edtPort->setText(port);
    window.show();
    window.btnConnect->click();
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(message, Qt::CaseInsensitive), qPrintable(m_messages.first()));
    QCOMPARE(window.windowTitle(), QStringLiteral("File transfer"));
    QVERIFY(window.btnConnect->isVisible() && !window.btnDisconnect->isVisible());
    QCOMPARE(window.Client().GetState(), TFileTransferClient::State::Idle);
}

void TestFileWindows::serverRefusals()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    TfrmFileServer busy(taken.serverPort(), nullptr, QHostAddress::LocalHost);
    QVERIFY(!busy.Listening());
    QVERIFY(busy.lblStatus->text().startsWith(QStringLiteral("Not listening")));
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(QStringLiteral("cannot listen on port %1").arg(taken.serverPort())));

    TfrmFileServer window(0, nullptr, QHostAddress::LocalHost);
    QFile huge(m_root->filePath(QStringLiteral("huge.bin")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(3) << 30));
    huge.close();
    QVERIFY(!window.AddSharedFile(huge.fileName()));
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(m_messages.at(1).contains(QStringLiteral("2147483647")));
}

// A missing download folder is reported before anything is asked for; a local file of the
// same name is replaced only when the user says so, and only once the new one is whole.
void TestFileWindows::downloadFolderAndLocalFiles()
{
    TScriptedFileServer script;
    QVERIFY(script.Open());
    const QString local = WriteFile(m_downloads + QStringLiteral("/kept"), "mine");
    TfrmFileTransfer window(script.Port(), QStringLiteral("127.0.0.1"));
    window.show();
    window.btnConnect->click();
    QTRY_COMPARE(script.Received(), ListRequest());
    script.Take();
    script.Send(ListReply({{"kept", 3}}));
    QTRY_COMPARE(window.lvwFiles->topLevelItemCount(), 1);

    m_config->edtFileDownload->setText(m_root->filePath(QStringLiteral("nowhere")));
    Click(window.lvwFiles, 0);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(QStringLiteral("does not exist")));
    m_config->edtFileDownload->setText(m_downloads);
    m_answer = QMessageBox::No;
    Click(window.lvwFiles, 0);
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(!QTest::qWaitFor([&] { return !script.Received().isEmpty(); }, 200));
    QCOMPARE(ReadFile(local), QByteArray("mine"));
    m_answer = QMessageBox::Yes;
    Click(window.lvwFiles, 0);
    QTRY_COMPARE(script.Received(), OpenRequest(0) + BlockRequest(0));
    QCOMPARE(ReadFile(local), QByteArray("mine"));
    script.Send(BlockReplyHeader(0) + "new");
    QTRY_COMPARE(ReadFile(local), QByteArray("new"));
}

// Each file server the frame opens takes a port of the pool and gives it back when closed.
void TestFileWindows::fileServersTakePortsFromThePool()
{
    TMainOptions options;
    options.showHidden = true;
    options.peerAddress = RandomLoopback();
    TfrmMain main(options);
    QAction *open = main.findChild<QAction *>(QStringLiteral("mnuFileServer"));
    const quint16 first = quint16(QRandomGenerator::global()->bounded(20000, 60000));
    SetMemoLines(m_config->memFileServerPorts,
                 {QStringLiteral("0"), QString::number(first), QString::number(first + 1)});
    open->trigger();
    open->trigger();
    const QList<TfrmFileServer *> servers = main.ChildWindowsOf<TfrmFileServer>();
    QCOMPARE(servers.size(), 2);
    QList<quint16> ports{servers.at(0)->ServerPort(), servers.at(1)->ServerPort()};
    std::sort(ports.begin(), ports.end());
    QCOMPARE(ports, (QList<quint16>{first, quint16(first + 1)}));
    QCOMPARE(m_messages, QStringList());
    open->trigger();
    QCOMPARE(m_messages, QStringList{QStringLiteral("Not enough file server ports configured!")});
    QCOMPARE(main.ChildWindowsOf<TfrmFileServer>().size(), 2);
    QPointer<TfrmFileServer> closing = servers.at(0);
    const quint16 freed = closing->ServerPort();
    closing->btnClose->click();
    QTRY_VERIFY(!closing);
    QCOMPARE(FreeFileServerPort(), freed);
}

QTEST_MAIN(TestFileWindows)
#include "tst_FileWindows.moc"
