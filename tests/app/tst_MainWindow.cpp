// The frame against real loopback sockets and a settings file of the test's own.
#include "app/UfrmAbout.h"
#include "app/UfrmBanner.h"
#include "app/UfrmHelp.h"
#include "app/UfrmMain.h"
#include "common/Loopback.h"
#include "common/StoreFixture.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "pxo/TrackerPackets.h"
#include "pxo/UfrmLogin.h"
#include "pxo/UfrmPXO.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <optional>
#include <vector>

namespace {
// One "other copy of Orlo": a socket on its own loopback address at port 28045.
struct TPeer
{
    QHostAddress address = RandomLoopback();
    QUdpSocket socket;
    bool Bind() { return socket.bind(address, PeerPackets::Port); }
    void Send(const QHostAddress &to, const QByteArray &bytes) { socket.writeDatagram(bytes, to, PeerPackets::Port); }
    std::optional<QByteArray> Receive(int timeoutMs = 2000)
    {
        // The frame answers on this thread: keep its event loop running while waiting.
        QDeadlineTimer deadline(timeoutMs);
        while (!socket.hasPendingDatagrams() && !deadline.hasExpired())
            QTest::qWait(5);
        if (!socket.hasPendingDatagrams())
            return std::nullopt;
        return socket.receiveDatagram().data();
    }
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void probeIsAnsweredOncePerSecond();
    void probeReplyReportsBuild();
    void talkRequestAcceptance_data();
    void talkRequestAcceptance();
    void talkRequestWindowsAreLimited();
    void talkRequestAliasOnTheWire();
    void shortDatagramsAreDropped();
    void takenPortIsReportedNotFatal();
    void noFreePortMessages();
    void firstActivationLogsInBeforePlacement();
    void lobbyFromMenuLogsIn();
    void placementSavedAtShutdown();
    void bannerBorderRules_data();
    void bannerBorderRules();
    void bannerComesBackOnScreen();
    void bannerPlacementSaved();
    void aboutBoxAndHelpText();
    void arrangeCascadesFrontLast();
    void closingFrameClosesEveryChild();
    void notificationsOnlyWhileInactive();
    void linksReachTheirWindows();

private:
    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TfrmMain> m_main;
    QHostAddress m_mainAddress;
    QStringList m_messages;
    void StartMain()
    {
        m_mainAddress = RandomLoopback();
        TMainOptions options;
        options.peerAddress = m_mainAddress;
        m_main = std::make_unique<TfrmMain>(options);
    }
};

void TestMainWindow::init()
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
    StartMain();
}

void TestMainWindow::cleanup()
{
    m_main.reset();
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
    MessageBox::SetHook({});
}

void TestMainWindow::probeIsAnsweredOncePerSecond()
{
    TPeer peer;
    QVERIFY(peer.Bind());
    peer.Send(m_mainAddress, PeerPackets::EncodeProbe());
    const auto reply = peer.Receive();
    QVERIFY(reply);
    QCOMPARE(*reply, QByteArray::fromHex("0226000000"));
    // A second probe at once gets no answer; one a second later does.
    peer.Send(m_mainAddress, PeerPackets::EncodeProbe());
    QVERIFY(!peer.Receive(300));
    QTest::qWait(1000);
    peer.Send(m_mainAddress, PeerPackets::EncodeProbe());
    QVERIFY(peer.Receive());
}

void TestMainWindow::probeReplyReportsBuild()
{
    TPeer peer;
    QVERIFY(peer.Bind());
    QSignalSpy spy(&m_main->Peer(), &TPeerSocket::ProbeReplyReceived);
    m_main->SendClientProbe(QStringLiteral("  ") + peer.address.toString() + QStringLiteral(" "));
    const auto probe = peer.Receive();
    QVERIFY(probe);
    QCOMPARE(*probe, QByteArray::fromHex("01"));
    peer.Send(m_mainAddress, QByteArray::fromHex("0227010000"));
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.at(0).at(0).toString(), peer.address.toString());
    QCOMPARE(spy.at(0).at(1).toUInt(), 295u);
    m_main->SendClientProbe(QStringLiteral("   ")); // an empty host sends nothing
    QVERIFY(!peer.Receive(200));
}

void TestMainWindow::talkRequestAcceptance_data()
{
    QTest::addColumn<bool>("global");
    QTest::addColumn<bool>("friends");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<bool>("accepted");
    QTest::addRow("both off") << false << false << "Ace" << false;
    QTest::addRow("global on") << true << false << "Stranger" << true;
    QTest::addRow("friends only, a friend") << false << true << "ace" << true;
    QTest::addRow("friends only, a stranger") << false << true << "Stranger" << false;
    QTest::addRow("friends only, friend in other case with blanks") << false << true << " ACE " << true;
}

void TestMainWindow::talkRequestAcceptance()
{
    QFETCH(bool, global);
    QFETCH(bool, friends);
    QFETCH(QString, alias);
    QFETCH(bool, accepted);
    m_config->cbxTalkGlobalRequests->setChecked(global);
    m_config->cbxTalkFriendRequests->setChecked(friends);
    SetMemoLines(m_config->memChatFriends, {QStringLiteral("Ace")});
    QStringList opened;
    std::vector<std::unique_ptr<QWidget>> windows;
    m_main->SetTalkRequestFactory([&opened, &windows](const QString &host, quint16 port, const QString &who) {
        opened << host + QLatin1Char(' ') + QString::number(port) + QLatin1Char(' ') + who;
        windows.push_back(std::make_unique<QWidget>());
        return windows.back().get();
    });
    TPeer peer;
    QVERIFY(peer.Bind());
    peer.Send(m_mainAddress, PeerPackets::EncodeTalkRequest(28046, alias.toUtf8()));
    peer.Send(m_mainAddress, PeerPackets::EncodeProbe()); // a marker: its reply means the request was handled
    QVERIFY(peer.Receive());
    QCOMPARE(opened.size(), accepted ? 1 : 0);
    if (accepted)
        QCOMPARE(opened.first(), peer.address.toString() + QStringLiteral(" 28046 ") + alias);
}

void TestMainWindow::talkRequestWindowsAreLimited()
{
    QList<QWidget *> windows;
    m_main->SetTalkRequestFactory([&windows](const QString &, quint16, const QString &) {
        windows << new QWidget;
        return windows.last();
    });
    std::vector<std::unique_ptr<TPeer>> peers;
    for (int i = 0; i < 7; ++i) {
        peers.push_back(std::make_unique<TPeer>());
        QVERIFY(peers.back()->Bind());
        // Two requests from each sender: only the first opens a window.
        peers.back()->Send(m_mainAddress, PeerPackets::EncodeTalkRequest(28046, "x"));
        peers.back()->Send(m_mainAddress, PeerPackets::EncodeTalkRequest(28047, "x"));
        peers.back()->Send(m_mainAddress, PeerPackets::EncodeProbe());
        QVERIFY(peers.back()->Receive());
    }
    QCOMPARE(windows.size(), TfrmMain::MaxTalkRequestWindows);
    QCOMPARE(m_main->OpenTalkRequestCount(), 5);
    // A closed question makes room for the next sender.
    delete windows.takeFirst();
    peers[6]->Send(m_mainAddress, PeerPackets::EncodeTalkRequest(28046, "x"));
    QTRY_COMPARE_WITH_TIMEOUT(windows.size(), 5, 2000);
    QCOMPARE(m_main->OpenTalkRequestCount(), 5);
    qDeleteAll(windows);
}

void TestMainWindow::talkRequestAliasOnTheWire()
{
    TPeer peer;
    QVERIFY(peer.Bind());
    const QString forty = QStringLiteral("0123456789012345678901234567890123456789");
    m_main->SendTalkRequest(peer.address.toString(), 28048, forty);
    const auto datagram = peer.Receive();
    QVERIFY(datagram);
    QCOMPARE(datagram->size(), 31);
    QCOMPARE(datagram->left(3), QByteArray::fromHex("03906d"));
    QCOMPARE(datagram->mid(3), forty.left(28).toLatin1());
}

void TestMainWindow::shortDatagramsAreDropped()
{
    int opened = 0;
    m_main->SetTalkRequestFactory([&opened](const QString &, quint16, const QString &) {
        ++opened;
        return nullptr;
    });
    QSignalSpy replies(&m_main->Peer(), &TPeerSocket::ProbeReplyReceived);
    TPeer peer;
    QVERIFY(peer.Bind());
    peer.Send(m_mainAddress, QByteArray::fromHex("02260000"));
    peer.Send(m_mainAddress, PeerPackets::EncodeTalkRequest(28046, "abc").left(30));
    peer.Send(m_mainAddress, QByteArray(5000, '\x03')); // longer than we read: cut, still a request
    peer.Send(m_mainAddress, PeerPackets::EncodeProbe());
    QVERIFY(peer.Receive());
    QCOMPARE(replies.size(), 0);
    QCOMPARE(opened, 1);
}

void TestMainWindow::takenPortIsReportedNotFatal()
{
    TMainOptions options;
    options.peerAddress = m_mainAddress; // the first window holds this address and port
    TfrmMain second(options);
    QVERIFY(!second.Peer().IsBound());
    QVERIFY(second.statusBar()->currentMessage().contains(QStringLiteral("28045")));
    second.SendClientProbe(QStringLiteral("127.0.0.1")); // nothing to send with, nothing breaks
    StartMain(); // the first frame is replaced; the second still works without the port
}

void TestMainWindow::noFreePortMessages()
{
    SetMemoLines(m_config->memTalkServerPorts, {QStringLiteral("none")});
    SetMemoLines(m_config->memFileServerPorts, {});
    QCOMPARE(FreeTalkPort(), quint16(0));
    QCOMPARE(FreeFileServerPort(), quint16(0));
    SetMemoLines(m_config->memTalkServerPorts, {QStringLiteral("x"), QStringLiteral("$6D8F")});
    QCOMPARE(FreeTalkPort(), quint16(0x6D8F));
}

void TestMainWindow::firstActivationLogsInBeforePlacement()
{
    {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyMainWindow)));
        reg.WriteInteger(QLatin1String(StoreNames::Top), 40);
        reg.WriteInteger(QLatin1String(StoreNames::Left), 30);
        reg.WriteInteger(QLatin1String(StoreNames::Width), 500);
        reg.WriteInteger(QLatin1String(StoreNames::Height), 400);
    }
    m_config->cbxDescentAutoLogin->setChecked(true);
    QList<QRect> seen;
    m_main->SetAutoLoginHandler([this, &seen] { seen << m_main->geometry(); });
    m_main->HandleFirstActivation();
    m_main->HandleFirstActivation(); // only once
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().size(), QSize(652, 492)); // the placement was not applied yet
    QCOMPARE(m_main->geometry(), QRect(30, 40, 500, 400));

    StartMain();
    m_config->cbxDescentAutoLogin->setChecked(false);
    int calls = 0;
    m_main->SetAutoLoginHandler([&calls] { ++calls; });
    m_main->HandleFirstActivation();
    QCOMPARE(calls, 0);
}

// "Connect" > "PXO" > "Descent 3": the login dialog, then a lobby whose first datagram is the
// login request at the configured user tracker.
void TestMainWindow::lobbyFromMenuLogsIn()
{
    QUdpSocket tracker;
    const QHostAddress address = RandomLoopback();
    QVERIFY(tracker.bind(address, 2092));
    m_config->edtPXOUserServer->setText(address.toString());
    m_config->edtPXOChatServer->setText(address.toString());
    m_main->show();
    bool filled = false;
    QTimer::singleShot(0, m_main.get(), [&filled] {
        auto *login = qobject_cast<TfrmLogin *>(QApplication::activeModalWidget());
        if (!login)
            return;
        login->edtUserName->setText(QStringLiteral("pilot"));
        login->edtPassword->setText(QStringLiteral("secret"));
        login->edtAlias->setText(QStringLiteral("Pilot One"));
        filled = true;
        login->btnOk->click();
    });
    QAction *item = m_main->findChild<QAction *>(QStringLiteral("mnuDescent3"));
    QVERIFY(item);
    item->trigger();
    QVERIFY(filled);
    QTRY_VERIFY_WITH_TIMEOUT(tracker.hasPendingDatagrams(), 5000);
    QCOMPARE(tracker.receiveDatagram().data(), TrackerPackets::LoginRequest("pilot", "secret"));
    const QList<TfrmDescent *> lobbies = m_main->findChildren<TfrmDescent *>();
    QCOMPARE(lobbies.size(), 1);
    QCOMPARE(lobbies.first()->Alias, QStringLiteral("Pilot One"));
}

void TestMainWindow::placementSavedAtShutdown()
{
    m_main->setGeometry(11, 22, 600, 450);
    m_main->show();
    QVERIFY(m_main->close());
    m_main.reset();
    const QJsonObject placement = m_store->Key(QLatin1String(StoreNames::KeyMainWindow));
    QCOMPARE(placement.value(QStringLiteral("Left")).toInt(), 11);
    QCOMPARE(placement.value(QStringLiteral("Top")).toInt(), 22);
    QCOMPARE(placement.value(QStringLiteral("Width")).toInt(), 600);
    QCOMPARE(placement.value(QStringLiteral("Height")).toInt(), 450);
    StartMain();
}

void TestMainWindow::bannerBorderRules_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QSize>("size");
    QTest::addRow("none") << 0 << false << QSize(316, 96);
    QTest::addRow("dialog") << 3 << true << QSize(312, 93);
    QTest::addRow("2 is dialog") << 2 << true << QSize(312, 93);
    QTest::addRow("-5 is dialog") << -5 << true << QSize(312, 93);
}

void TestMainWindow::bannerBorderRules()
{
    QFETCH(int, stored);
    QFETCH(bool, checked);
    QFETCH(QSize, size);
    {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyBannerWindow)));
        reg.WriteInteger(QLatin1String(StoreNames::BorderStyle), stored);
    }
    TfrmBanner banner;
    QCOMPARE(banner.mnuBorder->isChecked(), checked);
    QCOMPARE(banner.size(), size);
    QCOMPARE(bool(banner.windowFlags() & Qt::FramelessWindowHint), !checked);
    banner.mnuBorder->trigger(); // "&Border" toggles
    QCOMPARE(banner.mnuBorder->isChecked(), !checked);
    QCOMPARE(banner.size(), checked ? QSize(316, 96) : QSize(312, 93));
}

void TestMainWindow::bannerComesBackOnScreen()
{
    TfrmBanner banner;
    banner.mnuBorder->setChecked(false);
    banner.ApplyBorder();
    const QRect screen = banner.screen()->geometry();
    banner.move(screen.width() - 100, -20);
    banner.KeepOnScreen();
    QCOMPARE(banner.pos(), QPoint(screen.width() - banner.frameGeometry().width(), 0));
    banner.move(-50, screen.height() + 10);
    banner.KeepOnScreen();
    QCOMPARE(banner.pos(), QPoint(0, screen.height() - banner.frameGeometry().height()));
}

void TestMainWindow::bannerPlacementSaved()
{
    {
        TfrmBanner banner;
        banner.mnuBorder->trigger(); // to no border
        banner.move(123, 45);
    }
    const QJsonObject stored = m_store->Key(QLatin1String(StoreNames::KeyBannerWindow));
    QCOMPARE(stored.value(QStringLiteral("Left")).toInt(), 123);
    QCOMPARE(stored.value(QStringLiteral("Top")).toInt(), 45);
    QCOMPARE(stored.value(QStringLiteral("BorderStyle")).toInt(), 0);
    TfrmBanner again;
    QCOMPARE(again.pos(), QPoint(123, 45));
    QVERIFY(!again.mnuBorder->isChecked());
}

void TestMainWindow::aboutBoxAndHelpText()
{
    TfrmAbout about;
    QCOMPARE(about.lblBuild->text(), QStringLiteral("Lobbex build 38"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About..."));
    about.show();
    QTest::keyClick(&about, Qt::Key_A);
    QVERIFY(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Rejected));

    const QStringList lines = TfrmHelp::HelpLines();
    QCOMPARE(lines.size(), 49);
    QCOMPARE(lines.first(), QStringLiteral("Orlo beta release"));
    QCOMPARE(lines.at(43), QStringLiteral("Filetransfers are not yet available."));
    const QList<int> spaced{10, 13, 14, 15, 18, 22, 24, 25, 26, 30, 31, 32, 38, 39};
    for (int i = 1; i <= 47; ++i)
        QVERIFY2(lines.at(i - 1).endsWith(QLatin1Char(' ')) == spaced.contains(i), qPrintable(QString::number(i)));
    TfrmHelp help;
    QVERIFY(!help.isVisible());
    QCOMPARE(frmHelp(), &help);
}

void TestMainWindow::arrangeCascadesFrontLast()
{
    QList<QWidget *> forms;
    for (int i = 0; i < 3; ++i) {
        forms << new QWidget;
        forms.last()->setWindowTitle(QString::number(i));
        m_main->AddChildWindow(forms.last());
    }
    m_main->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(forms[1]->parentWidget()));
    QCOMPARE(m_main->ChildForms().first(), forms[1]);
    m_main->ArrangeChildren();
    // The front child (index 0 of 3) goes furthest: (3 - 0 - 1) * 24.
    QCOMPARE(forms[1]->parentWidget()->pos(), QPoint(48, 48));
    const QList<QWidget *> order = m_main->ChildForms();
    QCOMPARE(order.last()->parentWidget()->pos(), QPoint(0, 0));
}

void TestMainWindow::closingFrameClosesEveryChild()
{
    QList<QPointer<QWidget>> forms;
    for (int i = 0; i < 4; ++i) {
        auto *form = new QWidget;
        form->setAttribute(Qt::WA_DeleteOnClose);
        forms << form;
        m_main->AddChildWindow(form);
    }
    QSignalSpy closed(m_main.get(), &TfrmMain::Closed);
    m_main->show();
    QVERIFY(m_main->close());
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(forms.cbegin(), forms.cend(), [](const auto &f) { return f.isNull(); }), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->MdiArea()->subWindowList().size(), 0, 2000);
    StartMain();
}

// A notification is for a user who looks elsewhere: while an Orlo window is active the chat
// itself shows the news.
void TestMainWindow::notificationsOnlyWhileInactive()
{
    StartMain();
    m_main->show();
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_main->ShowNotification(QStringLiteral("Message from wingman"), QStringLiteral("psst"));
    QCOMPARE(m_main->NotificationCount(), 0);
    // No Orlo window is active any more: the user looks elsewhere.
    QApplication::setActiveWindow(nullptr);
    QVERIFY(!QApplication::activeWindow());
    m_main->ShowNotification(QStringLiteral("Friend online"), QStringLiteral("wingman joined #d3"));
    QCOMPARE(m_main->NotificationCount(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"

// A later start's request: a join opens the lobby and asks first, files opens the transfer
// window on the link's address, anything else is said in the status bar.
void TestMainWindow::linksReachTheirWindows()
{
    // No lobby is open: the link opens one, through the login.
    m_config->edtPXOUserServer->setText(QStringLiteral("127.0.0.1"));
    m_config->edtPXOChatServer->setText(QStringLiteral("127.0.0.1"));
    QTimer answerLogin;
    connect(&answerLogin, &QTimer::timeout, this, [] {
        if (auto *login = qobject_cast<TfrmLogin *>(QApplication::activeModalWidget())) {
            login->edtUserName->setText(QStringLiteral("pilot"));
            login->edtPassword->setText(QStringLiteral("secret"));
            login->edtAlias->setText(QStringLiteral("Pilot"));
            login->btnOk->click();
        }
    });
    answerLogin.start(20);
    m_main->HandleRequest(QStringLiteral("orlo://join/127.0.0.9:2092"));
    QTRY_COMPARE(m_messages, QStringList{"Join the game at 127.0.0.9:2092?\n\norlo://join/127.0.0.9:2092"});
    QCOMPARE(m_main->findChildren<TfrmDescent *>().size(), 1);
    QVERIFY(m_main->findChildren<TfrmDescent *>().first()->Servers().isEmpty());

    m_main->HandleRequest(QStringLiteral("orlo://files/127.0.0.1:1"));
    QTRY_COMPARE(m_main->findChildren<TfrmFileTransfer *>().size(), 1);
    m_main->HandleRequest(QStringLiteral("orlo://launch/rm -rf"));
    QTRY_VERIFY(m_main->statusBar()->currentMessage().startsWith(QStringLiteral("Link ignored: ")));
    QCOMPARE(m_messages.size(), 1);
}
