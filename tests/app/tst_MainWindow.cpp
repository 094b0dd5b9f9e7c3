// The frame against real loopback sockets and a settings file of the test's own.
#include "app/UfrmMain.h"
#include "chat/Chat.h"
#include "common/Loopback.h"
#include "common/ScriptedServer.h"
#include "common/StoreFixture.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "irc/User.h"
#include "pxo/TrackerPackets.h"
#include "pxo/UfrmLogin.h"
#include "pxo/UfrmPXO.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QNetworkDatagram>
#include <QPushButton>
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
    // The frame answers on this thread: its event loop runs while this waits.
    std::optional<QByteArray> Receive(int timeoutMs = 2000)
    {
        if (!QTest::qWaitFor([this] { return socket.hasPendingDatagrams(); }, timeoutMs))
            return std::nullopt;
        return socket.receiveDatagram().data();
    }
};

// A chat window as the lobby has it, on a scripted chat server.
class TChatForm : public TfrmChat
{
public:
    using TfrmChat::OpenConnection;
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void probeIsAnsweredOncePerSecond();
    void probeReplyMarksChatUser();
    void talkRequestAcceptance_data();
    void talkRequestAcceptance();
    void talkRequestWindowsAreLimited();
    void takenPortIsReportedNotFatal();
    void closingSavesPlacementAutoLoginFirst();
    void lobbyFromLinksAndMenu();

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

// Another copy of Orlo answers the probe sent when a chat user is pinged: the user of that
// host is marked with its build in the chat window; a reply from no user's host changes nothing.
void TestMainWindow::probeReplyMarksChatUser()
{
    TPeer ace;
    TPeer stranger;
    QVERIFY(ace.Bind());
    QVERIFY(stranger.Bind());
    TScriptedServer server;
    QVERIFY(server.Listen());
    auto *form = new TChatForm;
    form->Session()->SetNick(QStringLiteral("me"));
    form->OpenConnection(QStringLiteral("127.0.0.1"), server.Port());
    m_main->AddChatWindow(form);
    QVERIFY(server.WaitForClient());
    server.Send(":me!~me@127.0.0.1 JOIN :#d3\r\n:ace!~a@" + ace.address.toString().toLatin1() +
                " JOIN :#d3\r\n:bob!~b@" + RandomLoopback().toString().toLatin1() + " JOIN :#d3\r\n");
    QTRY_VERIFY(form->FindUser(QStringLiteral("ace")) && form->FindUser(QStringLiteral("bob")));
    TUser *user = form->FindUser(QStringLiteral("ace"));
    TUser *bob = form->FindUser(QStringLiteral("bob"));

    form->PingUser(user);
    QCOMPARE(ace.Receive(), std::optional<QByteArray>(QByteArray::fromHex("01")));
    stranger.Send(m_mainAddress, QByteArray::fromHex("02ffff0000"));
    ace.Send(m_mainAddress, QByteArray::fromHex("0227010000"));
    QTRY_COMPARE(user->ClientBuild, 295u);
    QCOMPARE(bob->ClientBuild, 0u);
}

void TestMainWindow::talkRequestAcceptance_data()
{
    QTest::addColumn<bool>("global");
    QTest::addColumn<bool>("friends");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<bool>("accepted");
    QTest::addRow("both off") << false << false << "Ace" << false;
    QTest::addRow("global on") << true << false << "Stranger" << true;
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

// Closing the frame closes every child and saves the placement; the next start applies it
// at the first activation, after the automatic login has opened its lobby.
void TestMainWindow::closingSavesPlacementAutoLoginFirst()
{
    QList<QPointer<QWidget>> forms;
    for (int i = 0; i < 4; ++i) {
        forms << new QWidget;
        forms.last()->setAttribute(Qt::WA_DeleteOnClose);
        m_main->AddChildWindow(forms.last());
    }
    const QRect placement(30, 40, 500, 400);
    m_main->setGeometry(placement);
    QSignalSpy closed(m_main.get(), &TfrmMain::Closed);
    m_main->show();
    QVERIFY(m_main->close());
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY(std::all_of(forms.cbegin(), forms.cend(), [](const auto &f) { return f.isNull(); }));
    QTRY_COMPARE(m_main->MdiArea()->subWindowList().size(), 0);

    StartMain();
    QVERIFY(m_main->geometry() != placement);
    m_config->cbxDescentAutoLogin->setChecked(true);
    QList<QRect> seen;
    m_main->SetAutoLoginHandler([this, &seen] { seen << m_main->geometry(); });
    m_main->HandleFirstActivation();
    m_main->HandleFirstActivation(); // only once
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen.first() != placement);
    QCOMPARE(m_main->geometry(), placement);

    StartMain();
    m_config->cbxDescentAutoLogin->setChecked(false);
    int calls = 0;
    m_main->SetAutoLoginHandler([&calls] { ++calls; });
    m_main->HandleFirstActivation();
    QCOMPARE(calls, 0);
}

void TestMainWindow::lobbyFromLinksAndMenu()
{
    QUdpSocket tracker;
    const QHostAddress address = RandomLoopback();
    QVERIFY(tracker.bind(address, 2092));
    m_config->edtPXOUserServer->setText(address.toString());
    m_config->edtPXOChatServer->setText(address.toString());
    m_main->show();
    QString alias = QStringLiteral("Pilot One");
    QTimer answerLogin;
    connect(&answerLogin, &QTimer::timeout, this, [&alias] {
        if (auto *login = qobject_cast<TfrmLogin *>(QApplication::activeModalWidget())) {
            login->edtUserName->setText(QStringLiteral("pilot"));
            login->edtPassword->setText(QStringLiteral("secret"));
            login->edtAlias->setText(alias);
            login->btnOk->click();
        }
    });
    answerLogin.start(20);
    m_main->HandleRequest(QStringLiteral("orlo://join/127.0.0.9:2092"));
    QTRY_COMPARE(m_messages, QStringList{"Join the game at 127.0.0.9:2092?\n\norlo://join/127.0.0.9:2092"});
    QTRY_VERIFY_WITH_TIMEOUT(tracker.hasPendingDatagrams(), 5000);
    QCOMPARE(tracker.receiveDatagram().data(), TrackerPackets::LoginRequest("pilot", "secret"));
    QCOMPARE(m_main->findChildren<TfrmDescent *>().size(), 1);
    QCOMPARE(m_main->findChildren<TfrmDescent *>().first()->Alias, alias);

    m_main->HandleRequest(QStringLiteral("orlo://files/127.0.0.1:1"));
    QTRY_COMPARE(m_main->findChildren<TfrmFileTransfer *>().size(), 1);
    m_main->HandleRequest(QStringLiteral("orlo://launch/rm -rf"));
    QTRY_VERIFY(m_main->statusBar()->currentMessage().startsWith(QStringLiteral("Link ignored: ")));
    QCOMPARE(m_messages.size(), 1);

    alias = QStringLiteral("Pilot Two");
    QAction *item = m_main->findChild<QAction *>(QStringLiteral("mnuDescent3"));
    QVERIFY(item);
    item->trigger();
    const QList<TfrmDescent *> lobbies = m_main->findChildren<TfrmDescent *>();
    QCOMPARE(lobbies.size(), 2);
    QVERIFY(lobbies[0]->Alias == alias || lobbies[1]->Alias == alias);
}

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
