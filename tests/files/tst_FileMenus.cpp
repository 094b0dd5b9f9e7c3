// The frame's two file sharing items: hidden unless asked for, server ports from the pool.
#include "app/UfrmMain.h"
#include "common/Loopback.h"
#include "common/StoreFixture.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestFileMenus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hiddenUnlessAskedFor();
    void fileServersTakePortsFromThePool();
    void getFileOpensAnEmptyTransferWindow();

private:
    void StartMain(bool showHidden)
    {
        TMainOptions options;
        options.showHidden = showHidden;
        options.peerAddress = RandomLoopback();
        m_main = std::make_unique<TfrmMain>(options);
    }
    QAction *Item(const char *name) const { return m_main->findChild<QAction *>(QLatin1String(name)); }

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TfrmMain> m_main;
    QStringList m_messages;
};

void TestFileMenus::init()
{
    m_store = std::make_unique<TStoreFixture>();
    m_config = std::make_unique<TfrmConfig>();
    SetConfig(m_config.get());
    m_config->Startup();
    m_messages.clear();
    MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
        m_messages << text;
        return QMessageBox::Ok;
    });
}

void TestFileMenus::cleanup()
{
    m_main.reset();
    MessageBox::SetHook({});
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
}

void TestFileMenus::hiddenUnlessAskedFor()
{
    StartMain(false);
    QVERIFY(!Item("mnuFileServer")->isVisible());
    QVERIFY(!Item("mnuGetFile")->isVisible());
    StartMain(true);
    QVERIFY(Item("mnuFileServer")->isVisible() && Item("mnuFileServer")->isEnabled());
    QVERIFY(Item("mnuGetFile")->isVisible() && Item("mnuGetFile")->isEnabled());
}

void TestFileMenus::fileServersTakePortsFromThePool()
{
    StartMain(true);
    // Ports of the test's own, on a loopback address of its own.
    const quint16 first = quint16(QRandomGenerator::global()->bounded(20000, 60000));
    SetMemoLines(m_config->memFileServerPorts,
                 {QStringLiteral("0"), QString::number(first), QString::number(first + 1)});
    Item("mnuFileServer")->trigger();
    Item("mnuFileServer")->trigger();
    const QList<TfrmFileServer *> servers = m_main->ChildWindowsOf<TfrmFileServer>();
    QCOMPARE(servers.size(), 2);
    QList<quint16> ports{servers.at(0)->ServerPort(), servers.at(1)->ServerPort()};
    std::sort(ports.begin(), ports.end());
    QCOMPARE(ports, (QList<quint16>{first, quint16(first + 1)}));
    for (TfrmFileServer *server : servers)
        QVERIFY(server->windowTitle().startsWith(QStringLiteral("File server (port ")));
    QCOMPARE(m_messages, QStringList());
    Item("mnuFileServer")->trigger();
    QCOMPARE(m_messages, QStringList{QStringLiteral("Not enough file server ports configured!")});
    QCOMPARE(m_main->ChildWindowsOf<TfrmFileServer>().size(), 2);
    // A closed server gives its port back.
    QPointer<TfrmFileServer> closing = servers.at(0);
    const quint16 freed = closing->ServerPort();
    closing->btnClose->click();
    QTRY_VERIFY(!closing);
    QCOMPARE(FreeFileServerPort(), freed);
}

void TestFileMenus::getFileOpensAnEmptyTransferWindow()
{
    StartMain(true);
    Item("mnuGetFile")->trigger();
    const QList<TfrmFileTransfer *> windows = m_main->ChildWindowsOf<TfrmFileTransfer>();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows.first()->edtHost->text(), QString());
    QCOMPARE(windows.first()->edtPort->text(), QStringLiteral("28050"));
    QCOMPARE(windows.first()->windowTitle(), QStringLiteral("File transfer"));
}

QTEST_MAIN(TestFileMenus)
#include "tst_FileMenus.moc"
