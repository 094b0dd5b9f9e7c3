// What the lobby does for the user beyond the list: login failure, the chat registration,
// auto-join, running a game (a script stands in for it) while the lobby waits, levels fetched
// from a local HTTP server, "Who is?" and private channels; the chat server is a scripted peer.
#include "PXOTestKit.h"

#include "chat/Chat.h"
#include "common/HttpTestServer.h"
#include "common/ScriptedServer.h"
#include "pxo/UfrmDownloadLevel.h"
#include "pxo/UfrmJoinPrivateChannel.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "settings/ConfigControls.h"
#include "settings/Registry.h"
#include "sim/TrackerDatagrams.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSplitter>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTreeWidget>

namespace {
constexpr int Wait = 15000;

QList<TfrmDownloadLevel *> DownloadWindows()
{
    QList<TfrmDownloadLevel *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfrmDownloadLevel *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}
} // namespace

class tst_LobbyJoin : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QTemporaryDir m_game;
    THttpTestServer m_http;

    // A game that writes its folder and arguments, one a line, then waits for the stop file.
    void WriteFakeGame()
    {
        QFile file(m_game.filePath(QStringLiteral("main.sh")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(
            "#!/bin/sh\npwd > args.tmp\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> args.tmp; done\n"
            "mv args.tmp args.txt\ni=0\nwhile [ ! -e stop ] && [ $i -lt 300 ]; do sleep 0.05; i=$((i+1)); done\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(m_game.filePath(QStringLiteral("args.txt")));
        QFile::remove(m_game.filePath(QStringLiteral("stop")));
        m_kit->Config->edtDescentExe->setText(QStringLiteral("main.sh"));
    }
    QStringList GameArguments() const
    {
        QFile file(m_game.filePath(QStringLiteral("args.txt")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }
    void StopGame() { QFile(m_game.filePath(QStringLiteral("stop"))).open(QIODevice::WriteOnly); }
    // A lobby logged in to the scripted chat server with a known tracker id.
    TfrmPXO *ChattingLobby(TScriptedServer &chat, const QString &alias = QStringLiteral("pilot"))
    {
        TfrmPXO *form = m_kit->NewLobby(QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9, chat.Port());
        form->Tracker->SetTrackerId(QStringLiteral("0123456789"));
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), alias);
        return chat.WaitForClient() &&
                       chat.WaitForLineStarting(QStringLiteral("USER ")) == u"USER user user user :0123456789 pilot" &&
                       !chat.WaitForLineStarting(QStringLiteral("NICK ")).isEmpty()
                   ? form
                   : nullptr;
    }

private slots:
    void initTestCase()
    {
        m_kit = std::make_unique<TPXOTestKit>();
        QVERIFY2(m_http.Start(), "the HTTP server did not start");
    }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->edtDescentPath->setText(m_game.path());
        m_kit->Config->cbxDescentDLMissionsDir->setChecked(true);
        m_kit->Config->cbxServersAutoJoin->setChecked(true);
        m_kit->Config->cbxServerJoinLevelExist->setChecked(false);
    }
    void cleanup()
    {
        for (TfrmDownloadLevel *window : DownloadWindows())
            window->close();
        QTRY_VERIFY(DownloadWindows().isEmpty());
    }
    void cleanupTestCase()
    {
        m_kit.reset();
        m_http.Stop();
    }

    // The list pane keeps the height the user gave it from one lobby to the next; a larger
    // window grows the chat.
    void paneHeightKept()
    {
        TfrmPXO *form = m_kit->NewLobby();
        form->resize(700, 600);
        QTRY_VERIFY(form->splGames->height() > 400);
        QVERIFY(form->pnlGames->height() > 100);
        const QList<int> sizes = form->splGames->sizes();
        form->splGames->setSizes({sizes.value(0) + sizes.value(1) - 157, 157});
        form = m_kit->NewLobby();
        QTRY_COMPARE(form->splGames->sizes().value(1), 157);
        form->resize(800, 760);
        QTRY_VERIFY(form->splGames->height() > 500);
        QCOMPARE(form->splGames->sizes().value(1), 157);
    }

    // A user tracker that never answers: "Login failed!" once, the retry timer off by then, and
    // the lobby closes.
    void loginFailedClosesTheLobby()
    {
        TfrmPXO *form = m_kit->NewLobby();
        form->Tracker->TimerLoginRetry->setInterval(10);
        bool timerOff = false;
        m_kit->OnBox = [&](const QString &) {
            timerOff = m_kit->Lobby && !m_kit->Lobby->Tracker->TimerLoginRetry->isActive();
        };
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Connecting... try: 1"));
        QTRY_VERIFY_WITH_TIMEOUT(m_kit->Lobby.isNull(), Wait);
        QCOMPARE(m_kit->Boxes, QStringList{"Login failed!"});
        QVERIFY(timerOff);
    }

    // The registration carries the tracker id; a refused nick is said after the handler, the
    // connection stays.
    void nickRefused_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("431") << ":irc.test 431 * :No nickname given";
        QTest::newRow("432") << ":irc.test 432 * bad! :Erroneous nickname";
        QTest::newRow("433") << ":irc.test 433 * pilot :Nickname is already in use";
    }
    void nickRefused()
    {
        QFETCH(QString, line);
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = ChattingLobby(chat);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Chat (pilot)"));
        chat.SendLine(line);
        QTRY_COMPARE(m_kit->Boxes, QStringList{"Someone else is using your alias, you need to change it!"});
        QCOMPARE(form->Session()->Status(), TIrcSession::TStatus::Connected);
    }

    // Game lists go to the list through the lobby's dispatcher, which stops at its cap and
    // says so once.
    void gameListsFillTheList()
    {
        TfrmPXO *form = m_kit->NewLobby();
        QStringList notes;
        form->OnStatus = [&](const QString &text) { notes << text; };
        for (int r = 0; r < 48; ++r) {
            QList<TrackerDatagrams::TListEntry> entries;
            for (int i = 0; i < TrackerDatagrams::MaxListEntries; ++i)
                entries.append({0x7F500000u + quint32(r * 200 + i), 2092, {}});
            form->Datagrams->Feed(TrackerDatagrams::EncodeListReply(quint32(r), entries), QStringLiteral("127.0.0.1"),
                                  9);
        }
        QCOMPARE(form->Servers().size(), qsizetype(TServerList::MaxServers));
        QCOMPARE(notes.filter(QStringLiteral("The server list is full (5000 servers)")).size(), 1);
    }

    // A full server marked for auto-join is joined once a reply shows a free slot, after the
    // question; joining another server by hand ends the wait.
    void autoJoin()
    {
        WriteFakeGame();
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = ChattingLobby(chat);
        QVERIFY(form);
        TServer *full = Listed(form, 1, {"Full", 8, 8});
        TServer *open = Listed(form, 2, {"Open", 1, 8});
        const auto mark = [form, full] {
            form->lvwServers->setCurrentItem(form->RowOf(full));
            form->mnuAutojoin->trigger();
        };
        mark();
        QVERIFY(full->AutoJoin);
        form->JoinServer(open);
        QVERIFY(!full->AutoJoin);
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
        full->RequestGameInfo();
        Answer(form, full, {"Full", 7, 8});
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());

        WriteFakeGame();
        Answer(form, full, {"Full", 8, 8});
        mark();
        full->RequestGameInfo();
        Answer(form, full, {"Full", 8, 8});
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());
        full->RequestGameInfo();
        Answer(form, full, {"Full", 7, 8});
        full->RequestGameInfo();
        Answer(form, full, {"Full", 7, 8});
        QTRY_VERIFY_WITH_TIMEOUT(form->GameRunning(), Wait);
        QCOMPARE(m_kit->Boxes, QStringList{"Would you like to join Full?"});
        QTRY_VERIFY_WITH_TIMEOUT(GameArguments().contains(full->IP), Wait);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
    }

    // The game gets its command line without a shell, in its folder; the lobby is inert while it
    // runs (port released, nothing sent, joins refused) and logs in again when it ends.
    void launchAndReturn_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("alias");
        QTest::newRow("pxo join") << false << QStringLiteral("Big Bad");
        QTest::newRow("direct IP, alias with $port, quotes and blanks") << true << QStringLiteral("a$port \"q\" $ip x");
    }
    void launchAndReturn()
    {
        QFETCH(bool, direct);
        QFETCH(QString, alias);
        WriteFakeGame();
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = ChattingLobby(chat, alias);
        QVERIFY(form);
        const quint16 port = form->Datagrams->LocalPort();
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092,
                         MemoLines(direct ? m_kit->Config->memDescentDirectIPParams : m_kit->Config->memDescentParams));
        QVERIFY(form->InGame);
        QCOMPARE(form->Datagrams->LocalPort(), quint16(0));
        QVERIFY(form->UDPQueue()->Paused());
        QVERIFY(chat.WaitForLine(QStringLiteral("QUIT")));
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        QVERIFY(!form->lblGameRunning->isHidden() && !form->lvwServers->isEnabled());
        const QStringList args = GameArguments();
        QCOMPARE(QFileInfo(args.first()).canonicalFilePath(), QFileInfo(m_game.path()).canonicalFilePath());
        QCOMPARE(args.mid(1), (QStringList{"-launched", "+name", alias, direct ? "-directip" : "-pxo", "127.0.0.9",
                                           "-hostport", "2092", "-nointro"}));
        form->LaunchGame(QStringLiteral("127.0.0.10"), 2092, {});
        QCOMPARE(m_kit->Boxes, QStringList{"The game is still running: join another one after it has ended."});

        chat.DropClient();
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->InGame, Wait);
        QCOMPARE(form->Datagrams->LocalPort(), port);
        QVERIFY(!form->UDPQueue()->Paused() && form->lblGameRunning->isHidden());
        QVERIFY(chat.WaitForClient(Wait));
        QCOMPARE(chat.WaitForLineStarting(QStringLiteral("USER ")),
                 QStringLiteral("USER user user user :0123456789 pilot"));
        QCOMPARE(form->Tracker->LoginTries(), 1);
    }

    // A game that cannot start: the lobby comes back and says why.
    void missingGame()
    {
        m_kit->Config->edtDescentExe->setText(QStringLiteral("no-such-game"));
        TfrmPXO *form = m_kit->NewLobby();
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, {QStringLiteral("-launched")});
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{"File was not found"}, Wait);
        QVERIFY(!form->InGame);
        QVERIFY(form->Datagrams->LocalPort() != 0);
        QCOMPARE(form->Tracker->LoginTries(), 1);
    }

    // Closing the lobby leaves the game running; its process object goes when the game ends.
    void closingLeavesTheGame()
    {
        WriteFakeGame();
        TfrmPXO *form = m_kit->NewLobby();
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, {QStringLiteral("-launched")});
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        delete form;
        const auto running = [this] {
            QProcess pgrep;
            pgrep.start(QStringLiteral("pgrep"), {QStringLiteral("-f"), m_game.filePath(QStringLiteral("main.sh"))});
            return pgrep.waitForFinished(10000) && pgrep.exitCode() == 0;
        };
        QVERIFY(running());
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!running(), Wait);
    }

    // A missing level refuses the join; "Download Level" fetches it from the address the
    // server gives, once per request; an unasked or empty answer opens nothing.
    void levelDownload()
    {
        m_kit->Config->cbxServerJoinLevelExist->setChecked(true);
        QFile::remove(m_game.filePath(QStringLiteral("missions/city2.mn3")));
        TfrmPXO *form = m_kit->NewLobby();
        TServer *server = Listed(form, 1, {"Arena", 1, 8, "city2.mn3"});
        QVERIFY(!server->LevelPresent);
        form->lvwServers->setCurrentItem(form->RowOf(server));
        form->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes, QStringList{"Unable to join game, level is missing!"});
        const auto reply = [&](const QByteArray &address) {
            form->Datagrams->Feed(ServerDatagrams::EncodeLevelReply({address}), server->IP, server->Port);
        };
        const QByteArray url = m_http.Url(QStringLiteral("size=3000/chunk=1000/delay=200/levels/city2.mn3")).toLatin1();
        reply(url);
        QTest::qWait(50);
        QVERIFY(DownloadWindows().isEmpty());

        form->DownloadLevel1->trigger();
        reply(url);
        reply(m_http.Url(QStringLiteral("levels/other.mn3")).toLatin1());
        QTRY_COMPARE(DownloadWindows().size(), 1);
        QCOMPARE(DownloadWindows().first()->windowTitle(), QStringLiteral("Downloading city2.mn3"));
        QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);
        QCOMPARE(form->RowOf(server)->foreground(3).color(), QColor(0, 0, 0));
        QVERIFY(!QFileInfo::exists(m_game.filePath(QStringLiteral("missions/other.mn3"))));
        m_kit->Boxes.clear();
        form->DownloadLevel1->trigger();
        reply("   ");
        QTRY_COMPARE(m_kit->Boxes, QStringList{"Unable to get level from Arena"});
        QVERIFY(DownloadWindows().isEmpty());
    }

    // A join link asks before anything starts: No leaves the list and the game alone. Yes on a
    // server not listed yet has it tell its level, offers the missing level, fetches it and
    // only then starts the game. "Copy link" gives the link that leads back here.
    void joinLink()
    {
        WriteFakeGame();
        m_kit->Config->cbxServerJoinLevelExist->setChecked(true);
        QFile::remove(m_game.filePath(QStringLiteral("missions/linked.mn3")));
        TfrmPXO *form = m_kit->NewLobby();
        m_kit->AnswerYes = false;
        form->JoinLink(QStringLiteral("127.0.0.9"), 2092);
        QCOMPARE(m_kit->Boxes, QStringList{"Join the game at 127.0.0.9:2092?\n\norlo://join/127.0.0.9:2092"});
        QTest::qWait(100);
        QVERIFY(form->Servers().isEmpty());
        QVERIFY(GameArguments().isEmpty() && !form->GameRunning());

        m_kit->AnswerYes = true;
        m_kit->Boxes.clear();
        form->JoinLink(QStringLiteral("127.0.0.9"), 2092);
        QTRY_VERIFY(form->ServerList->FindServer(QStringLiteral("127.0.0.9"), 2092));
        TServer *server = form->ServerList->FindServer(QStringLiteral("127.0.0.9"), 2092);
        QVERIFY(!form->GameRunning());
        Answer(form, server, {"Linked", 1, 8, "linked.mn3"});
        QTRY_COMPARE(m_kit->Boxes.size(), 2);
        QCOMPARE(m_kit->Boxes.last(),
                 QStringLiteral("The level linked.mn3 is missing. Download it now? The game starts once it has arrived."));
        QVERIFY(server->LevelRequested && !form->GameRunning());
        const QByteArray url = m_http.Url(QStringLiteral("size=2000/chunk=1000/delay=100/levels/linked.mn3")).toLatin1();
        form->Datagrams->Feed(ServerDatagrams::EncodeLevelReply({url}), server->IP, server->Port);
        QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);
        QTRY_VERIFY_WITH_TIMEOUT(GameArguments().contains(QStringLiteral("127.0.0.9")), Wait);
        QCOMPARE(m_kit->Boxes.size(), 2);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);

        form->lvwServers->setCurrentItem(form->RowOf(server));
        form->mnuCopyLink->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orlo://join/127.0.0.9:2092"));
    }

    // A double-click on a chat user runs "Who is?": the WHOIS goes out, the player window opens.
    // A private channel is joined, or only brought forward when its tab is open.
    void whoIsAndPrivateChannel()
    {
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = ChattingLobby(chat);
        QVERIFY(form);
        chat.SendLine(QStringLiteral(":pilot!u@h JOIN :#lobby"));
        chat.SendLine(QStringLiteral(":wingman!w@127.0.0.1 JOIN :#lobby"));
        QTRY_VERIFY(
            form->FindChat(QStringLiteral("#lobby")) &&
            !form->FindChat(QStringLiteral("#lobby"))->UserGrid->findItems("wingman", Qt::MatchExactly).isEmpty());
        TChat *lobby = form->FindChat(QStringLiteral("#lobby"));
        lobby->UserGrid->setCurrentItem(lobby->UserGrid->findItems("wingman", Qt::MatchExactly).first());
        form->sgrUsersDblClick(lobby);
        QVERIFY(chat.WaitForLine(QStringLiteral("WHOIS wingman")));
        QVERIFY(TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman")));
        delete TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));

        // Fills the dialog once it is open and presses Enter (Escape when that was refused).
        std::function<void(const QString &)> type = [&](const QString &typed) {
            QTimer::singleShot(10, this, [&type, typed] {
                auto *dialog = qobject_cast<TfrmJoinPrivateChannel *>(QApplication::activeModalWidget());
                if (!dialog)
                    return type(typed);
                dialog->edtChannel->setText(typed);
                QTest::keyClick(dialog->edtChannel, Qt::Key_Return);
                if (dialog->isVisible())
                    dialog->reject();
            });
        };
        type(QStringLiteral("a b"));
        form->JoinPrivateChannel();
        QCOMPARE(m_kit->Boxes, QStringList{"A channel name cannot contain blanks, commas or control characters."});
        type(QStringLiteral("  Pilots "));
        form->btnJoinPrivateChannel->click();
        QVERIFY(chat.WaitForLine(QStringLiteral("JOIN +Pilots")));
        chat.SendLine(QStringLiteral(":pilot!u@h JOIN :+Pilots"));
        QTRY_VERIFY(form->FindChat(QStringLiteral("+Pilots")));
        form->ActivateChat(lobby);
        chat.ClearReceived();
        type(QStringLiteral("Pilots"));
        form->JoinPrivatechannel1->trigger();
        QTRY_COMPARE(form->ActiveChat(), form->FindChat(QStringLiteral("+Pilots")));
        form->SendLine(QStringLiteral("PING :marker"));
        QVERIFY(chat.WaitForLine(QStringLiteral("PING :marker")));
        QVERIFY(!chat.Received().contains(QStringLiteral("JOIN +Pilots")));
    }
};

QTEST_MAIN(tst_LobbyJoin)
#include "tst_LobbyJoin.moc"
