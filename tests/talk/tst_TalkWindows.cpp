// Talk windows inside a real frame, talking to each other (and to raw hostile peers) over
// loopback; invitations go through the frame's peer socket on a loopback address of the
// test's own.
#include "app/UfrmMain.h"
#include "common/Loopback.h"
#include "common/StoreFixture.h"
#include "net/SocketEventScope.h"
#include "settings/UfrmConfig.h"
#include "talk/ChatWindow.h"
#include "talk/RedTalk.h"
#include "talk/TalkLauncher.h"
#include "talk/TalkTestKit.h"
#include "talk/UfrmDirectChat.h"
#include "talk/UfrmDirectChatConnect.h"
#include "talk/UfrmTalkRequest.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QtTest>

#include <QTextBlock>
#include <QTextDocument>

#include <functional>
#include <memory>

namespace {
const QString AcceptQuestion = QStringLiteral("Accept new talk connection?");
const QString NoSeed = QStringLiteral("Unable to generate random number, random seed not initialized!");

struct TPair
{
    TfrmDirectChat *accepting = nullptr;
    TfrmDirectChat *initiating = nullptr;
    TChatWindow *atAccepting = nullptr;
    TChatWindow *atInitiating = nullptr;
};

QString Shown(const TChatWindow *conversation)
{
    return conversation->Display->toPlainText();
}

// Waits (events running) until Done holds or five seconds pass; usable inside a hook.
bool WaitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(5);
    return done();
}
} // namespace

class TestTalkWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void invitationPath();
    void typingArrivesKeyByKey();
    void sendToUncheckedStopsAtOnce();
    void declineTellsInitiator();
    void unreachablePort_data();
    void unreachablePort();
    void disconnectItemEndsConversation();
    void menuOnEndedConversationDoesNothing();
    void longLinesAndFloodsStayBounded();
    void hostilePeers_data();
    void hostilePeers();
    void acceptQuestionsOneAtATime();
    void yesAfterPeerLeftAddsNothing();
    void busyPortMovesToNextOfPool();
    void noSeedNoWindow();
    void noSeedDropsAcceptedConnection();
    void connectDialogRules();

private:
    TfrmDirectChat *OpenWindow(const QString &alias);
    TPair Pair();
    int Count(const QString &text) const { return int(m_messages.count(text)); }

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TfrmMain> m_main;
    QHostAddress m_address;
    QStringList m_messages;
    QList<QMessageBox::Icon> m_icons;
    std::function<bool()> m_acceptAnswer;
    bool m_boxInSocketEvent = false;
};

void TestTalkWindows::init()
{
    m_store = std::make_unique<TStoreFixture>();
    m_config = std::make_unique<TfrmConfig>();
    SetConfig(m_config.get());
    m_config->Startup();
    if (!m_config->RandomGenerator)
        m_config->RandomGenerator = std::make_unique<TRC4>();
    m_config->RandomGenerator->SetKey(QStringLiteral("1100101011110000101"));
    m_config->RandomSeeded = true;
    SetMemoLines(m_config->memTalkServerPorts, FreeTcpPorts(4));
    m_messages.clear();
    m_icons.clear();
    m_acceptAnswer = [] { return true; };
    MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons) {
        m_messages << text;
        m_icons << icon;
        m_boxInSocketEvent = m_boxInSocketEvent || TSocketEventScope::InSocketEvent();
        if (text == AcceptQuestion)
            return m_acceptAnswer() ? QMessageBox::Yes : QMessageBox::No;
        return QMessageBox::Ok;
    });
    m_address = RandomLoopback();
    TMainOptions options;
    options.peerAddress = m_address;
    m_main = std::make_unique<TfrmMain>(options);
    m_main->SetTalkRequestFactory(&OpenTalkRequestWindow);
}

void TestTalkWindows::cleanup()
{
    const bool boxInSocketEvent = m_boxInSocketEvent;
    m_boxInSocketEvent = false;
    m_main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
    MessageBox::SetHook({});
    // Boxes run an event loop: never one inside a socket's own event.
    QVERIFY(!boxInSocketEvent);
}

TfrmDirectChat *TestTalkWindows::OpenWindow(const QString &alias)
{
    return OpenTalkWindow(alias, FreeTalkPort());
}

TPair TestTalkWindows::Pair()
{
    TPair pair;
    pair.accepting = OpenWindow(QStringLiteral("Ace"));
    pair.initiating = OpenWindow(QStringLiteral("Bee"));
    if (!pair.accepting || !pair.initiating)
        return {};
    pair.atInitiating = pair.initiating->ConnectTo(m_address.toString(), QString::number(pair.accepting->ServerPort()));
    if (!WaitFor([&] { return pair.accepting->Conversations().size() == 1; }))
        return {};
    pair.atAccepting = pair.accepting->Conversations().first();
    if (!WaitFor([&] { return pair.atAccepting->SendTo->isChecked() && pair.atInitiating->SendTo->isChecked(); }))
        return {};
    return pair;
}

void TestTalkWindows::invitationPath()
{
    m_config->edtTalkAlias->setText(QStringLiteral("Invited"));
    // The inviting window; the invitation goes to the frame's own address, where this same
    // frame receives it as another copy of Orlo would.
    QVERIFY(m_main->TalkWithUser(m_address.toString(), QStringLiteral("Inviter")));
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    TfrmDirectChat *inviting = TfrmDirectChat::OpenWindows().first();
    const quint16 invitingPort = inviting->ServerPort();
    QCOMPARE(inviting->windowTitle(), QStringLiteral("Talk (alias: Inviter, port: %1)").arg(invitingPort));

    QTRY_COMPARE_WITH_TIMEOUT(m_main->ChildWindowsOf<TfrmTalkRequest>().size(), 1, 5000);
    auto *request = m_main->ChildWindowsOf<TfrmTalkRequest>().first();
    QVERIFY(request);
    QCOMPARE(request->pnlCaption->text(), QStringLiteral("Respond to incoming talk request from Inviter?"));
    QCOMPARE(request->Host(), m_address.toString());
    QCOMPARE(request->Port(), invitingPort);
    QPointer<TfrmTalkRequest> requestGuard(request);
    QTest::mouseClick(request->btnOk, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!requestGuard, 5000);

    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 2);
    TfrmDirectChat *invited = TfrmDirectChat::OpenWindows().last();
    QVERIFY(invited->ServerPort() != invitingPort);
    QCOMPARE(invited->Alias(), QStringLiteral("Invited"));
    QTRY_COMPARE_WITH_TIMEOUT(inviting->Conversations().size(), 1, 5000);
    QCOMPARE(m_messages.count(AcceptQuestion), 1);
    QCOMPARE(m_icons.at(m_messages.indexOf(AcceptQuestion)), QMessageBox::Information);
    TChatWindow *atInviting = inviting->Conversations().first();
    TChatWindow *atInvited = invited->Conversations().first();
    QVERIFY(!atInviting->Initiator());
    QVERIFY(atInvited->Initiator());
    QTRY_COMPARE_WITH_TIMEOUT(atInviting->lblCaption->text(), QStringLiteral("Invited"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(atInvited->lblCaption->text(), QStringLiteral("Inviter"), 5000);
    QVERIFY(atInviting->SendTo->isEnabled() && atInviting->SendTo->isChecked());
    QVERIFY(atInvited->SendTo->isEnabled() && atInvited->SendTo->isChecked());
    // Each direction has its own key, made on its own side.
    const TTalkProtocol &a = atInviting->Connection().Protocol();
    const TTalkProtocol &b = atInvited->Connection().Protocol();
    QVERIFY(a.SentKey() != b.SentKey());
    QCOMPARE(a.KeyBuffer(), b.SentKey());
    QCOMPARE(b.KeyBuffer(), a.SentKey());
}

void TestTalkWindows::typingArrivesKeyByKey()
{
    const TPair pair = Pair();
    QVERIFY(pair.atAccepting);
    const QString typed = QStringLiteral("Hi there!");
    for (int i = 0; i < typed.size(); ++i) {
        QTest::keyClick(pair.initiating->RedTalk, typed[i].toLatin1());
        QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), typed.left(i + 1), 5000);
    }
    QTest::keyClick(pair.initiating->RedTalk, Qt::Key_Return);
    QTest::keyClick(pair.initiating->RedTalk, 'x');
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), typed + QStringLiteral("\nx"), 5000);
    QTest::keyClick(pair.initiating->RedTalk, Qt::Key_Backspace);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), typed + QStringLiteral("\n"), 5000);
    // The line break goes as a whole: the peer's text ends as before the enter.
    QTest::keyClick(pair.initiating->RedTalk, Qt::Key_Backspace);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), typed, 5000);
    QCOMPARE(pair.initiating->RedTalk->toPlainText(), typed);
    // Unsendable characters are neither typed nor sent.
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("\u00E9"));
    QApplication::sendEvent(pair.initiating->RedTalk, &accented);
    QCOMPARE(pair.initiating->RedTalk->toPlainText(), typed);
    // Control with a letter sends nothing; control with backspace removes one character on
    // both sides, as a plain backspace does.
    QTest::keyClick(pair.initiating->RedTalk, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pair.initiating->RedTalk, Qt::Key_Backspace, Qt::ControlModifier);
    const QString shortened = typed.chopped(1);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), shortened, 5000);
    QCOMPARE(pair.initiating->RedTalk->toPlainText(), shortened);

    // The other way round, with the caret put back to the end first.
    pair.accepting->RedTalk->setPlainText(QStringLiteral("old"));
    pair.accepting->RedTalk->moveCursor(QTextCursor::Start);
    QTest::keyClick(pair.accepting->RedTalk, 'k');
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atInitiating), QStringLiteral("k"), 5000);
    QCOMPARE(pair.accepting->RedTalk->toPlainText(), QStringLiteral("oldk"));

    QSignalSpy beeps(pair.atAccepting, &TChatWindow::BeepSounded);
    pair.initiating->SetMenuConversation(pair.atInitiating);
    pair.initiating->mnuBeep->trigger();
    QVERIFY(beeps.wait(5000));
    QCOMPARE(Shown(pair.atAccepting), shortened);
}

void TestTalkWindows::sendToUncheckedStopsAtOnce()
{
    const TPair pair = Pair();
    QVERIFY(pair.atAccepting);
    TfrmDirectChat *third = OpenWindow(QStringLiteral("Cee"));
    QVERIFY(third);
    TChatWindow *toThird = pair.initiating->ConnectTo(m_address.toString(), QString::number(third->ServerPort()));
    QTRY_VERIFY_WITH_TIMEOUT(toThird->SendTo->isChecked(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(third->Conversations().size(), 1, 5000);
    TChatWindow *atThird = third->Conversations().first();
    // Newest first.
    QCOMPARE(pair.initiating->Conversations().first(), toThird);

    QTest::keyClick(pair.initiating->RedTalk, 'a');
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), QStringLiteral("a"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(atThird), QStringLiteral("a"), 5000);
    pair.atInitiating->SendTo->setChecked(false);
    QTest::keyClick(pair.initiating->RedTalk, 'b');
    QTRY_COMPARE_WITH_TIMEOUT(Shown(atThird), QStringLiteral("ab"), 5000);
    pair.atInitiating->SendTo->setChecked(true);
    QTest::keyClick(pair.initiating->RedTalk, 'c');
    QTRY_COMPARE_WITH_TIMEOUT(Shown(atThird), QStringLiteral("abc"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(Shown(pair.atAccepting), QStringLiteral("ac"), 5000);
}

void TestTalkWindows::declineTellsInitiator()
{
    TfrmDirectChat *accepting = OpenWindow(QStringLiteral("Ace"));
    TfrmDirectChat *initiating = OpenWindow(QStringLiteral("Bee"));
    QVERIFY(accepting && initiating);
    m_acceptAnswer = [] { return false; };
    QSignalSpy removed(initiating, &TfrmDirectChat::ConversationRemoved);
    initiating->ConnectTo(m_address.toString(), QString::number(accepting->ServerPort()));
    QVERIFY(removed.wait(5000));
    QCOMPARE(Count(AcceptQuestion), 1);
    QCOMPARE(Count(QStringLiteral("User disconnected")), 1);
    QCOMPARE(m_icons.last(), QMessageBox::Information);
    QVERIFY(initiating->Conversations().isEmpty());
    QVERIFY(accepting->Conversations().isEmpty());
}

void TestTalkWindows::unreachablePort_data()
{
    QTest::addColumn<bool>("portIsText");
    QTest::addRow("nobody listens") << false;
    QTest::addRow("port text is no number") << true;
}

void TestTalkWindows::unreachablePort()
{
    QFETCH(bool, portIsText);
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Bee"));
    QVERIFY(window);
    QSignalSpy removed(window, &TfrmDirectChat::ConversationRemoved);
    TChatWindow *conversation = window->ConnectTo(RandomLoopback().toString(),
                                                  portIsText ? QStringLiteral("port") : QString::number(FreeTcpPort()));
    QVERIFY(conversation);
    QCOMPARE(conversation->lblCaption->text(), QStringLiteral("Connecting..."));
    QVERIFY(!conversation->SendTo->isEnabled());
    if (portIsText)
        QCOMPARE(conversation->Port(), quint16(0));
    QVERIFY(removed.wait(5000));
    QCOMPARE(m_messages, QStringList{QStringLiteral("Unable to establish connection!")});
    QCOMPARE(m_icons.last(), QMessageBox::Critical);
    QVERIFY(window->Conversations().isEmpty());
}

void TestTalkWindows::disconnectItemEndsConversation()
{
    const TPair pair = Pair();
    QVERIFY(pair.atAccepting);
    // On the accepting side it ends silently; the initiator hears "User disconnected".
    QSignalSpy initiatorRemoved(pair.initiating, &TfrmDirectChat::ConversationRemoved);
    pair.accepting->SetMenuConversation(pair.atAccepting);
    pair.accepting->mnuDisconnect->trigger();
    QVERIFY(initiatorRemoved.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(pair.accepting->Conversations().isEmpty(), 5000);
    QCOMPARE(m_messages, QStringList({AcceptQuestion, QStringLiteral("User disconnected")}));

    // Closing a whole window ends its conversations the same way.
    const TPair again = Pair();
    QVERIFY(again.atAccepting);
    QSignalSpy removed(again.initiating, &TfrmDirectChat::ConversationRemoved);
    again.accepting->parentWidget()->close();
    QVERIFY(removed.wait(5000));
    QCOMPARE(Count(QStringLiteral("User disconnected")), 2);
}

void TestTalkWindows::menuOnEndedConversationDoesNothing()
{
    // A conversation still connecting gets no beep: nothing reaches the peer.
    QTcpServer silent;
    const QHostAddress address = RandomLoopback();
    QVERIFY(silent.listen(address, 0));
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Bee"));
    QVERIFY(window);
    TChatWindow *connecting = window->ConnectTo(address.toString(), QString::number(silent.serverPort()));
    QVERIFY(silent.waitForNewConnection(5000));
    std::unique_ptr<QTcpSocket> peer(silent.nextPendingConnection());
    window->SetMenuConversation(connecting);
    window->mnuBeep->trigger();
    QTest::qWait(50);
    QCOMPARE(peer->bytesAvailable(), 0);

    // The peer goes; the menu, opened on the conversation before, now acts on nothing.
    QSignalSpy removed(window, &TfrmDirectChat::ConversationRemoved);
    peer->abort();
    QVERIFY(removed.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!window->MenuConversation(), 5000);
    m_messages.clear();
    window->mnuBeep->trigger();
    window->mnuDisconnect->trigger();
    QTest::qWait(50);
    QVERIFY(m_messages.isEmpty());
}

// A peer that never ends its line, or sends nothing but line breaks, neither freezes the view
// (one huge line is laid out again at every key) nor fills the memory; backspaces still take
// off what the peer typed, not the pieces a long line shows in.
void TestTalkWindows::longLinesAndFloodsStayBounded()
{
    const TPair pair = Pair();
    QVERIFY(pair.atAccepting);
    QTextDocument *shown = pair.atAccepting->Display->document();
    pair.atInitiating->SendToPeer(QByteArray(9000, 'a') + QByteArray("\0\x08", 2).repeated(4001));
    QTRY_COMPARE_WITH_TIMEOUT(QString(Shown(pair.atAccepting)).remove(QLatin1Char('\n')), QString(4999, u'a'), 5000);
    for (QTextBlock block = shown->begin(); block.isValid(); block = block.next())
        QVERIFY(block.length() <= 2001);
    pair.atInitiating->SendToPeer(QByteArray("\0\x0d", 2).repeated(20000) + "z");
    QTRY_VERIFY_WITH_TIMEOUT(Shown(pair.atAccepting).endsWith(QLatin1String("\nz")), 5000);
    QVERIFY(shown->blockCount() <= 8192 + 1024);
}

void TestTalkWindows::hostilePeers_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("reason");
    QTest::addRow("key not hexadecimal") << QByteArray("12XY=") << "'X'";
    QTest::addRow("key without end") << QByteArray(TTalkProtocol::MaxKeyDigits + 1, '7') << "4096 digits";
    QTest::addRow("alias without end")
        << EncodeStream("ABC", QByteArray(TTalkProtocol::MaxNameBytes + 1, 'n'), {}).chopped(1) << "1024 bytes";
}

void TestTalkWindows::hostilePeers()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, reason);
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    QVERIFY(window);
    QTcpSocket peer;
    peer.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->Conversations().size(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.bytesAvailable() > 0, 5000); // our key
    QSignalSpy removed(window, &TfrmDirectChat::ConversationRemoved);
    peer.write(stream);
    QVERIFY(removed.wait(5000));
    QCOMPARE(m_messages.size(), 2);
    QVERIFY2(m_messages.last().startsWith(
                 QStringLiteral("The talk connection with %1 was dropped: ").arg(peer.localAddress().toString())),
             qPrintable(m_messages.last()));
    QVERIFY2(m_messages.last().contains(reason), qPrintable(m_messages.last()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::UnconnectedState, 5000);
    // The window carries on.
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    QTcpSocket next;
    next.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->Conversations().size(), 1, 5000);
}

void TestTalkWindows::acceptQuestionsOneAtATime()
{
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    QVERIFY(window);
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    int depth = 0;
    int maxDepth = 0;
    int asked = 0;
    bool insideSocketEvent = false;
    bool limitHeld = false;
    m_acceptAnswer = [&] {
        ++asked;
        maxDepth = std::max(maxDepth, ++depth);
        insideSocketEvent = insideSocketEvent || TSocketEventScope::InSocketEvent();
        if (asked == 1) {
            // While the first question is open, five more knock: three wait, two are refused.
            for (int i = 0; i < 5; ++i) {
                peers.push_back(std::make_unique<QTcpSocket>());
                peers.back()->connectToHost(RandomLoopback(), window->ServerPort());
            }
            limitHeld = WaitFor([&] {
                return peers[3]->state() == QAbstractSocket::UnconnectedState &&
                       peers[4]->state() == QAbstractSocket::UnconnectedState && window->WaitingCount() == 4;
            });
        }
        --depth;
        return asked == 1;
    };
    QTcpSocket first;
    first.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_VERIFY_WITH_TIMEOUT(asked >= 4 && window->WaitingCount() == 0, 5000);
    QVERIFY(limitHeld);
    QCOMPARE(asked, 4);
    QCOMPARE(maxDepth, 1);
    QVERIFY(!insideSocketEvent);
    QCOMPARE(window->Conversations().size(), 1);
    QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(peers.cbegin(), peers.cend(),
                                         [](const auto &p) { return p->state() == QAbstractSocket::UnconnectedState; }),
                             5000);
}

void TestTalkWindows::yesAfterPeerLeftAddsNothing()
{
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    QVERIFY(window);
    QTcpSocket peer;
    bool settled = false;
    m_acceptAnswer = [&] {
        peer.abort();
        settled = WaitFor([&] { return window->WaitingCount() == 0; });
        return true;
    };
    peer.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_VERIFY_WITH_TIMEOUT(settled, 5000);
    QTest::qWait(50);
    QVERIFY(window->Conversations().isEmpty());
}

void TestTalkWindows::busyPortMovesToNextOfPool()
{
    const QStringList pool = MemoLines(m_config->memTalkServerPorts);
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::Any, pool[0].toUShort()));
    QAction *talk = m_main->findChild<QAction *>(QStringLiteral("mnuTalk"));
    QVERIFY(talk && talk->isEnabled());
    m_config->edtTalkAlias->setText(QStringLiteral("Menu"));
    talk->trigger();
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    TfrmDirectChat *window = TfrmDirectChat::OpenWindows().first();
    QCOMPARE(window->ServerPort(), pool[1].toUShort());
    QCOMPARE(window->windowTitle(), QStringLiteral("Talk (alias: Menu, port: %1)").arg(pool[1]));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(pool[0]) && m_messages.first().contains(pool[1]));
    QCOMPARE(m_main->ChildWindowsOf<TfrmDirectChat>().size(), 1);

    // Every other port taken too: no window, and the user is told why.
    std::vector<std::unique_ptr<QTcpServer>> more;
    for (int i = 2; i < pool.size(); ++i) {
        more.push_back(std::make_unique<QTcpServer>());
        QVERIFY(more.back()->listen(QHostAddress::Any, pool[i].toUShort()));
    }
    m_messages.clear();
    talk->trigger();
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().startsWith(QStringLiteral("Unable to listen for talk connections")));
    // And with the whole pool in use by talk windows, the frame says so.
    SetMemoLines(m_config->memTalkServerPorts, {pool[1]});
    m_messages.clear();
    talk->trigger();
    QCOMPARE(m_messages, QStringList{QStringLiteral("Not enough talk server ports configured!")});
}

void TestTalkWindows::noSeedNoWindow()
{
    m_config->RandomSeeded = false;
    // The seed window is asked for, and closed without a seed.
    QTimer closer;
    int seedWindows = 0;
    connect(&closer, &QTimer::timeout, this, [&seedWindows] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++seedWindows;
            dialog->reject();
        }
    });
    closer.start(10);
    m_main->findChild<QAction *>(QStringLiteral("mnuTalk"))->trigger();
    QCOMPARE(seedWindows, 1);
    QVERIFY(TfrmDirectChat::OpenWindows().isEmpty());
    QCOMPARE(m_messages, QStringList{NoSeed});
    QVERIFY(!m_main->TalkWithUser(m_address.toString(), QStringLiteral("x")));
    QVERIFY(TfrmDirectChat::OpenWindows().isEmpty());
}

void TestTalkWindows::noSeedDropsAcceptedConnection()
{
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    QVERIFY(window);
    m_config->RandomSeeded = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    closer.start(10);
    QTcpSocket peer;
    peer.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList({AcceptQuestion, NoSeed}), 5000);
    // Nothing half-keyed: no conversation, not a byte sent, the connection closed.
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(peer.bytesAvailable(), 0);
    QVERIFY(window->Conversations().isEmpty());
}

void TestTalkWindows::connectDialogRules()
{
    TfrmDirectChatConnect dialog;
    dialog.show();
    dialog.edtHost->setText(QStringLiteral("   "));
    QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{QStringLiteral("You must enter a hostname")});
    QVERIFY(dialog.isVisible());
    dialog.edtHost->setText(QStringLiteral("127.0.0.1"));
    QTest::keyClick(dialog.edtHost, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    // The toolbar's dialog starts with the window's own port and an empty host.
    TfrmDirectChat *listening = OpenWindow(QStringLiteral("Ace"));
    TfrmDirectChat *connecting = OpenWindow(QStringLiteral("Cee"));
    QVERIFY(listening && connecting);
    QString offered;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *modal = qobject_cast<TfrmDirectChatConnect *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        answer.stop();
        offered = modal->edtHost->text() + QLatin1Char(':') + modal->edtPort->text();
        modal->edtHost->setText(m_address.toString());
        modal->edtPort->setText(QString::number(listening->ServerPort()));
        QTest::mouseClick(modal->btnOk, Qt::LeftButton);
    });
    answer.start(10);
    connecting->tbtConnect->trigger();
    QCOMPARE(offered, QStringLiteral(":%1").arg(connecting->ServerPort()));
    QCOMPARE(connecting->Conversations().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(connecting->Conversations().first()->lblCaption->text(), QStringLiteral("Ace"), 5000);

    // A port above 65535 keeps its low 16 bits.
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Bee"));
    QVERIFY(window);
    TChatWindow *conversation = window->ConnectTo(QStringLiteral(" 127.0.0.1 "), QStringLiteral("94582"));
    QCOMPARE(conversation->Port(), quint16(29046));
    QCOMPARE(conversation->Host(), QStringLiteral("127.0.0.1"));
}

QTEST_MAIN(TestTalkWindows)
#include "tst_TalkWindows.moc"
