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
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTextBlock>
#include <QtTest>

namespace {
const QString AcceptQuestion = QStringLiteral("Accept new talk connection?");
const QString Gone = QStringLiteral("User disconnected");
const QString NoSeed = QStringLiteral("Unable to generate random number, random seed not initialized!");

QString Shown(const TChatWindow *conversation)
{
    return conversation->Display->toPlainText();
}
} // namespace

class TestTalkWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void invitationPath();
    void typingReachesThePeersChosen();
    void conversationsThatEnd();
    void hostileAndFloodingPeers();
    void acceptQuestionsOneAtATime();
    void portsAndSeed();
    void connectDialog();

private:
    TfrmDirectChat *OpenWindow(const QString &alias) { return OpenTalkWindow(alias, FreeTalkPort()); }
    // A conversation from From to To, both ends keyed; the one at From's end.
    TChatWindow *Connect(TfrmDirectChat *from, TfrmDirectChat *to)
    {
        const int before = int(to->Conversations().size());
        TChatWindow *out = from->ConnectTo(m_address.toString(), QString::number(to->ServerPort()));
        const bool keyed = QTest::qWaitFor([&] {
            return to->Conversations().size() > before && to->Conversations().first()->SendTo->isChecked() &&
                   out->SendTo->isChecked();
        });
        return keyed ? out : nullptr;
    }

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TfrmMain> m_main;
    QHostAddress m_address;
    QStringList m_messages;
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
    m_acceptAnswer = [] { return true; };
    MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
        m_messages << text;
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
    const bool boxInSocketEvent = std::exchange(m_boxInSocketEvent, false);
    m_main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetConfig(nullptr);
    m_config.reset();
    m_store.reset();
    MessageBox::SetHook({});
    // Boxes run an event loop: never one inside a socket's own event.
    QVERIFY(!boxInSocketEvent);
}

void TestTalkWindows::invitationPath()
{
    m_config->edtTalkAlias->setText(QStringLiteral("Invited"));
    // The inviting window; the invitation goes to the frame's own address, where this same
    // frame receives it as another copy of Orlo would.
    QVERIFY(m_main->TalkWithUser(m_address.toString(), QStringLiteral("Inviter")));
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    TfrmDirectChat *inviting = TfrmDirectChat::OpenWindows().first();
    QTRY_COMPARE(m_main->ChildWindowsOf<TfrmTalkRequest>().size(), 1);
    QPointer<TfrmTalkRequest> request = m_main->ChildWindowsOf<TfrmTalkRequest>().first();
    QVERIFY(request->pnlCaption->text().contains(QStringLiteral("Inviter")));
    QCOMPARE(request->Host(), m_address.toString());
    QCOMPARE(request->Port(), inviting->ServerPort());
    QTest::mouseClick(request->btnOk, Qt::LeftButton);
    QTRY_VERIFY(!request);

    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 2);
    TfrmDirectChat *invited = TfrmDirectChat::OpenWindows().last();
    QCOMPARE(invited->Alias(), QStringLiteral("Invited"));
    QTRY_COMPARE(inviting->Conversations().size(), 1);
    QCOMPARE(m_messages, QStringList{AcceptQuestion});
    TChatWindow *atInviting = inviting->Conversations().first();
    TChatWindow *atInvited = invited->Conversations().first();
    QVERIFY(!atInviting->Initiator() && atInvited->Initiator());
    QTRY_COMPARE(atInviting->lblCaption->text(), QStringLiteral("Invited"));
    QTRY_COMPARE(atInvited->lblCaption->text(), QStringLiteral("Inviter"));
    // Each direction has its own key, made on its own side.
    const TTalkProtocol &a = atInviting->Connection().Protocol();
    const TTalkProtocol &b = atInvited->Connection().Protocol();
    QVERIFY(a.SentKey() != b.SentKey());
    QCOMPARE(a.KeyBuffer(), b.SentKey());
    QCOMPARE(b.KeyBuffer(), a.SentKey());
}

// Every key goes out as it is typed, to the conversations whose "send to" is checked, and
// the peer's display follows the typist's own.
void TestTalkWindows::typingReachesThePeersChosen()
{
    TfrmDirectChat *typist = OpenWindow(QStringLiteral("Bee"));
    TfrmDirectChat *ace = OpenWindow(QStringLiteral("Ace"));
    TfrmDirectChat *cee = OpenWindow(QStringLiteral("Cee"));
    TChatWindow *toAce = Connect(typist, ace);
    QVERIFY(toAce && Connect(typist, cee));
    QCOMPARE(typist->Conversations().last(), toAce); // newest first
    TChatWindow *atAce = ace->Conversations().first();
    TChatWindow *atCee = cee->Conversations().first();
    for (const char c : {'H', 'i'}) {
        QTest::keyClick(typist->RedTalk, c);
        QTRY_COMPARE(Shown(atAce), typist->RedTalk->toPlainText());
    }
    // A backspace after the enter takes the line break as a whole; unsendable characters
    // and control with a letter are neither typed nor sent; control with backspace is a backspace.
    QTest::keyClick(typist->RedTalk, Qt::Key_Return);
    QTest::keyClick(typist->RedTalk, 'x');
    QTRY_COMPARE(Shown(atAce), QStringLiteral("Hi\nx"));
    QTest::keyClick(typist->RedTalk, Qt::Key_Backspace);
    QTest::keyClick(typist->RedTalk, Qt::Key_Backspace);
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("\u00E9"));
    QApplication::sendEvent(typist->RedTalk, &accented);
    QTest::keyClick(typist->RedTalk, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(typist->RedTalk, Qt::Key_Backspace, Qt::ControlModifier);
    QTRY_COMPARE(Shown(atAce), QStringLiteral("H"));
    QCOMPARE(typist->RedTalk->toPlainText(), QStringLiteral("H"));
    QTRY_COMPARE(Shown(atCee), QStringLiteral("H"));

    toAce->SendTo->setChecked(false);
    QTest::keyClick(typist->RedTalk, 'b');
    QTRY_COMPARE(Shown(atCee), QStringLiteral("Hb"));
    toAce->SendTo->setChecked(true);
    QTest::keyClick(typist->RedTalk, 'c');
    QTRY_COMPARE(Shown(atAce), QStringLiteral("Hc"));
    // Typed at the end whatever the caret; a beep shows nothing.
    typist->RedTalk->moveCursor(QTextCursor::Start);
    QTest::keyClick(typist->RedTalk, 'k');
    QCOMPARE(typist->RedTalk->toPlainText(), QStringLiteral("Hbck"));
    QSignalSpy beeps(atAce, &TChatWindow::BeepSounded);
    typist->SetMenuConversation(toAce);
    typist->mnuBeep->trigger();
    QVERIFY(beeps.wait(5000));
    QCOMPARE(Shown(atAce), QStringLiteral("Hck"));
}

// The initiator hears "User disconnected" when the other side declines, disconnects or
// closes its window; a port nobody answers on is reported; the menu of a conversation
// that has ended acts on nothing.
void TestTalkWindows::conversationsThatEnd()
{
    TfrmDirectChat *ace = OpenWindow(QStringLiteral("Ace"));
    TfrmDirectChat *bee = OpenWindow(QStringLiteral("Bee"));
    QSignalSpy removed(bee, &TfrmDirectChat::ConversationRemoved);
    m_acceptAnswer = [] { return false; };
    bee->ConnectTo(m_address.toString(), QString::number(ace->ServerPort()));
    QVERIFY(removed.wait(5000));
    QVERIFY(bee->Conversations().isEmpty() && ace->Conversations().isEmpty());
    QCOMPARE(m_messages, QStringList({AcceptQuestion, Gone}));
    m_acceptAnswer = [] { return true; };

    QVERIFY(Connect(bee, ace));
    ace->SetMenuConversation(ace->Conversations().first());
    ace->mnuDisconnect->trigger();
    QVERIFY(removed.wait(5000));
    QTRY_VERIFY(ace->Conversations().isEmpty());
    QCOMPARE(m_messages.count(Gone), 2); // the accepting side ends silently
    QVERIFY(Connect(bee, ace));
    ace->parentWidget()->close();
    QVERIFY(removed.wait(5000));
    QCOMPARE(m_messages.count(Gone), 3);
    QCOMPARE(removed.size(), 3);

    m_messages.clear();
    for (const QString &port : {FreeTcpPorts(1).first(), QStringLiteral("port")}) {
        TChatWindow *conversation = bee->ConnectTo(RandomLoopback().toString(), port);
        QVERIFY(!conversation->SendTo->isEnabled());
        bee->SetMenuConversation(conversation);
        QVERIFY(removed.wait(5000));
    }
    QCOMPARE(m_messages, QStringList(2, QStringLiteral("Unable to establish connection!")));
    QTRY_VERIFY(!bee->MenuConversation());
    bee->mnuBeep->trigger();
    bee->mnuDisconnect->trigger();
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(bee->Conversations().isEmpty());
}

// A peer that breaks the protocol is dropped with the reason, and the window carries on.
// One that never ends its line, or sends nothing but line breaks, neither freezes the view
// (one huge line is laid out again at every key) nor fills the memory; backspaces still take
// off what the peer typed, not the pieces a long line shows in.
void TestTalkWindows::hostileAndFloodingPeers()
{
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    QTcpSocket peer;
    peer.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_VERIFY(peer.bytesAvailable() > 0); // our key
    QSignalSpy removed(window, &TfrmDirectChat::ConversationRemoved);
    peer.write("12XY=");
    QVERIFY(removed.wait(5000));
    QCOMPARE(m_messages.size(), 2);
    QVERIFY2(m_messages.last().startsWith(
                 QStringLiteral("The talk connection with %1 was dropped: ").arg(peer.localAddress().toString())) &&
                 m_messages.last().contains("'X'"),
             qPrintable(m_messages.last()));
    QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);

    TChatWindow *flood = Connect(OpenWindow(QStringLiteral("Bee")), window);
    QVERIFY(flood);
    TChatWindow *shown = window->Conversations().first();
    flood->SendToPeer(QByteArray(9000, 'a'));
    QTRY_COMPARE(Shown(shown).remove(QLatin1Char('\n')), QString(9000, u'a'));
    for (QTextBlock block = shown->Display->document()->begin(); block.isValid(); block = block.next())
        QVERIFY(block.length() <= 2001);
    flood->SendToPeer(QByteArray("\0\x08", 2).repeated(4001));
    QTRY_COMPARE(Shown(shown).remove(QLatin1Char('\n')), QString(4999, u'a'));
    flood->SendToPeer(QByteArray("\0\x0d", 2).repeated(20000) + "z");
    QTRY_VERIFY(Shown(shown).endsWith(QLatin1String("\nz")));
    QVERIFY(shown->Display->document()->blockCount() <= 8192 + 1024);
}

// One question at a time, never inside a socket's event; peers knocking meanwhile wait, up
// to a limit; a "yes" for a peer that left meanwhile adds nothing.
void TestTalkWindows::acceptQuestionsOneAtATime()
{
    TfrmDirectChat *window = OpenWindow(QStringLiteral("Ace"));
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    int depth = 0;
    int maxDepth = 0;
    int asked = 0;
    bool limitHeld = false;
    m_acceptAnswer = [&] {
        ++asked;
        maxDepth = std::max(maxDepth, ++depth);
        if (asked == 1) {
            // While the first question is open, five more knock: three wait, two are refused.
            for (int i = 0; i < 5; ++i) {
                peers.push_back(std::make_unique<QTcpSocket>());
                peers.back()->connectToHost(RandomLoopback(), window->ServerPort());
            }
            limitHeld = QTest::qWaitFor([&] {
                return peers[3]->state() == QAbstractSocket::UnconnectedState &&
                       peers[4]->state() == QAbstractSocket::UnconnectedState && window->WaitingCount() == 4;
            });
        } else if (asked == 4) {
            // The last one asked has left by the time the user says yes.
            for (int i = 0; i < 3; ++i)
                peers[i]->abort();
            (void)QTest::qWaitFor([&] { return window->WaitingCount() == 0; });
        }
        --depth;
        return asked == 1 || asked == 4;
    };
    QTcpSocket first;
    first.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_VERIFY(asked >= 4 && window->WaitingCount() == 0);
    QVERIFY(limitHeld);
    QCOMPARE(asked, 4);
    QCOMPARE(maxDepth, 1);
    QTest::qWait(50);
    QCOMPARE(window->Conversations().size(), 1);
    QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
    QTRY_VERIFY(std::all_of(peers.cbegin(), peers.cend(),
                            [](const auto &p) { return p->state() == QAbstractSocket::UnconnectedState; }));
}

// A busy port moves the talk window to the next of the pool; with none left, or the pool
// used up, the user is told. Without a random seed there is no talk, and a connection
// accepted meanwhile is dropped before a byte goes out.
void TestTalkWindows::portsAndSeed()
{
    const QStringList pool = MemoLines(m_config->memTalkServerPorts);
    std::vector<std::unique_ptr<QTcpServer>> squatters(1);
    QVERIFY((squatters[0] = std::make_unique<QTcpServer>())->listen(QHostAddress::Any, pool[0].toUShort()));
    QAction *talk = m_main->findChild<QAction *>(QStringLiteral("mnuTalk"));
    talk->trigger();
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    TfrmDirectChat *window = TfrmDirectChat::OpenWindows().first();
    QCOMPARE(window->ServerPort(), pool[1].toUShort());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(pool[0]) && m_messages.first().contains(pool[1]));
    for (int i = 2; i < pool.size(); ++i) {
        squatters.push_back(std::make_unique<QTcpServer>());
        QVERIFY(squatters.back()->listen(QHostAddress::Any, pool[i].toUShort()));
    }
    talk->trigger();
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    QVERIFY(m_messages.last().startsWith(QStringLiteral("Unable to listen for talk connections")));
    SetMemoLines(m_config->memTalkServerPorts, {pool[1]});
    talk->trigger();
    QCOMPARE(m_messages.last(), QStringLiteral("Not enough talk server ports configured!"));

    m_config->RandomSeeded = false;
    m_messages.clear();
    QTimer closer; // the seed window is asked for, and closed without a seed
    int seedWindows = 0;
    connect(&closer, &QTimer::timeout, this, [&seedWindows] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++seedWindows;
            dialog->reject();
        }
    });
    closer.start(10);
    SetMemoLines(m_config->memTalkServerPorts, FreeTcpPorts(1));
    talk->trigger();
    QCOMPARE(seedWindows, 1);
    QCOMPARE(m_messages, QStringList{NoSeed});
    QVERIFY(!m_main->TalkWithUser(m_address.toString(), QStringLiteral("x")));
    QCOMPARE(TfrmDirectChat::OpenWindows().size(), 1);
    m_messages.clear();
    QTcpSocket peer;
    peer.connectToHost(RandomLoopback(), window->ServerPort());
    QTRY_COMPARE(m_messages, QStringList({AcceptQuestion, NoSeed}));
    QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(peer.bytesAvailable(), 0);
    QVERIFY(window->Conversations().isEmpty());
}

void TestTalkWindows::connectDialog()
{
    TfrmDirectChatConnect dialog;
    dialog.show();
    dialog.edtHost->setText(QStringLiteral("   "));
    QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{QStringLiteral("You must enter a hostname")});
    QVERIFY(dialog.isVisible());
    // A port above 65535 keeps its low 16 bits.
    TChatWindow *conversation =
        OpenWindow(QStringLiteral("Bee"))->ConnectTo(QStringLiteral(" 127.0.0.1 "), QStringLiteral("94582"));
    QCOMPARE(conversation->Port(), quint16(29046));
    QCOMPARE(conversation->Host(), QStringLiteral("127.0.0.1"));
}

QTEST_MAIN(TestTalkWindows)
#include "tst_TalkWindows.moc"
