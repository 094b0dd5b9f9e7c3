// What the lobby does for the user beyond the list: the login dialog, the chat registration,
// auto-join, running a game (a script stands in for it) while the lobby waits, a join link whose
// level comes from a local HTTP server, "Who is?" and private channels; the chat server is a
// scripted peer.
#include "PXOTestKit.h"

#include "chat/Chat.h"
#include "common/HttpTestServer.h"
#include "pxo/UfrmDownloadLevel.h"
#include "pxo/UfrmJoinPrivateChannel.h"
#include "pxo/UfrmLogin.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "settings/ConfigControls.h"
#include "settings/Registry.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableWidget>
#include <QTreeWidget>

namespace {
constexpr int Wait = 15000;
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
        for (TfrmDownloadLevel *window : VisibleWindows<TfrmDownloadLevel>())
            window->close();
        QTRY_VERIFY(VisibleWindows<TfrmDownloadLevel>().isEmpty());
    }
    void cleanupTestCase()
    {
        m_kit.reset();
        m_http.Stop();
    }

    // The login dialog keeps its values for the next one, the password only while "Save
    // password" is on; Escape, and Enter on an alias that gives no nick (said in a box), write
    // nothing. A stored player of the configuration fills the edits.
    void loginDialog()
    {
        const auto enter = [](const QString &alias, bool save, Qt::Key key) {
            TfrmLogin login;
            login.setAttribute(Qt::WA_DontShowOnScreen);
            login.show();
            login.edtUserName->setText(QStringLiteral("pilot"));
            login.edtPassword->setText(QStringLiteral("se cret$"));
            login.edtAlias->setText(alias);
            login.cbxSavePassword->setChecked(save);
            QTest::keyClick(login.edtAlias, key);
            return login.result() == QDialog::Accepted;
        };
        for (const bool save : {true, false}) {
            QVERIFY(enter(QStringLiteral("O'Neil"), save, Qt::Key_Return));
            QVERIFY(!enter(QStringLiteral("Other"), !save, Qt::Key_Escape));
            for (const char *refused : {"", ".hidden", "'quote"})
                QVERIFY(!enter(QLatin1String(refused), !save, Qt::Key_Return));
            TfrmLogin again;
            QCOMPARE(again.edtAlias->text(), QStringLiteral("O'Neil"));
            QCOMPARE(again.cbxSavePassword->isChecked(), save);
            QCOMPARE(again.edtPassword->text(), save ? QStringLiteral("se cret$") : QString());
        }
        QCOMPARE(m_kit->Boxes.size(), 6);
        TRegistry reg;
        reg.OpenKey(OrloKey(QStringLiteral("\\PXO"))); // the lobby's section, where the tracker hosts are
        QCOMPARE(reg.ReadString(QStringLiteral("User name")), QStringLiteral("pilot"));

        QTableWidget *grid = m_kit->Config->sgrLogin;
        const int rows = grid->rowCount();
        grid->setRowCount(3);
        for (int row : {1, 2}) {
            for (int c = 1; c <= 4; ++c)
                grid->setItem(row, c, new QTableWidgetItem(QStringLiteral("%1.%2").arg(row).arg(c)));
        }
        TfrmLogin login;
        QCOMPARE(login.cmbStoredPlayers->itemText(1), QStringLiteral("2.3 (2.4)"));
        login.cmbStoredPlayers->setCurrentIndex(1);
        QCOMPARE(login.edtUserName->text() + login.edtPassword->text() + login.edtAlias->text(),
                 QStringLiteral("2.12.22.3"));
        grid->setRowCount(rows);
    }

    // The registration carries the tracker id. A login-accepted reply while the chat is
    // connected is acknowledged and changes nothing: no second registration, the same id. A
    // refused nick is said after the handler, the connection stays.
    void chatRegistration_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("431") << ":irc.test 431 * :No nickname given";
        QTest::newRow("432") << ":irc.test 432 * bad! :Erroneous nickname";
        QTest::newRow("433") << ":irc.test 433 * pilot :Nickname is already in use";
    }
    void chatRegistration()
    {
        QFETCH(QString, line);
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = m_kit->ChattingLobby(chat);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Chat (pilot)"));
        form->UDPQueue()->Pause();
        FromUserTracker(form, TrackerDatagrams::EncodeLoginAccepted(77, "AGAIN00000"));
        QCOMPARE(SentTexts(form->UDPQueue()), QStringList{"ack login 77@127.0.0.1:9"});
        QCOMPARE(form->Tracker->TrackerId(), QStringLiteral("0123456789"));
        chat.SendLine(line);
        QTRY_COMPARE(m_kit->Boxes, QStringList{"Someone else is using your alias, you need to change it!"});
        form->SendLine(QStringLiteral("PING :marker"));
        QVERIFY(chat.WaitForLine(QStringLiteral("PING :marker")));
        QCOMPARE(chat.Received().filter(QStringLiteral("USER ")).size(), 1);
        QCOMPARE(form->Session()->Status(), TIrcSession::TStatus::Connected);
        QCOMPARE(form->windowTitle(), QStringLiteral("Chat (pilot)"));
    }

    // A full server marked for auto-join is joined once a reply shows a free slot, after the
    // question; joining another server by hand ends the wait.
    void autoJoin()
    {
        WriteFakeGame();
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = m_kit->ChattingLobby(chat);
        QVERIFY(form);
        TServer *full = Listed(form, 1, {"Full", 8, 8});
        TServer *open = Listed(form, 2, {"Open", 1, 8});
        const auto mark = [form, full] {
            form->lvwServers->setCurrentItem(form->RowOf(full));
            form->mnuAutojoin->trigger();
        };
        const auto answer = [form, full](quint16 players) {
            full->RequestGameInfo();
            Answer(form, full, {"Full", players, 8});
        };
        mark();
        QVERIFY(full->AutoJoin);
        form->JoinServer(open);
        QVERIFY(!full->AutoJoin);
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
        answer(7);
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());

        WriteFakeGame();
        answer(8);
        mark();
        answer(8);
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());
        answer(7);
        answer(7);
        QTRY_VERIFY_WITH_TIMEOUT(form->GameRunning(), Wait);
        QCOMPARE(m_kit->Boxes, QStringList{"Would you like to join Full?"});
        QTRY_VERIFY_WITH_TIMEOUT(GameArguments().contains(full->IP), Wait);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
    }

    // The game gets its command line without a shell, in its folder; the lobby is inert while it
    // runs (port released, nothing sent, joins refused) and logs in again when it ends. A game
    // that cannot start brings the lobby back with the reason.
    void launchAndReturn()
    {
        WriteFakeGame();
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        const QString alias = QStringLiteral("a$port \"q\" $ip x");
        TfrmPXO *form = m_kit->ChattingLobby(chat, alias);
        QVERIFY(form);
        const quint16 port = form->Datagrams->LocalPort();
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, MemoLines(m_kit->Config->memDescentDirectIPParams));
        QVERIFY(form->InGame);
        QCOMPARE(form->Datagrams->LocalPort(), quint16(0));
        QVERIFY(form->UDPQueue()->Paused());
        QVERIFY(chat.WaitForLine(QStringLiteral("QUIT")));
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        QVERIFY(!form->lblGameRunning->isHidden() && !form->lvwServers->isEnabled());
        const QStringList args = GameArguments();
        QCOMPARE(QFileInfo(args.first()).canonicalFilePath(), QFileInfo(m_game.path()).canonicalFilePath());
        QCOMPARE(args.mid(1),
                 (QStringList{"-launched", "+name", alias, "-directip", "127.0.0.9", "-hostport", "2092", "-nointro"}));
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

        m_kit->Boxes.clear();
        m_kit->Config->edtDescentExe->setText(QStringLiteral("no-such-game"));
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, {QStringLiteral("-launched")});
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{"File was not found"}, Wait);
        QVERIFY(!form->InGame && form->Datagrams->LocalPort() == port);
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

    // A missing level refuses the join. A join link asks before anything starts: No leaves the
    // list and the game alone. Yes on a server not listed yet has it tell its level, offers the
    // missing level, fetches it from the address the server gives (the first answer only,
    // through a redirect) and only then starts the game. "Copy link" gives the link back.
    void levelAndJoinLink()
    {
        WriteFakeGame();
        m_kit->Config->cbxServerJoinLevelExist->setChecked(true);
        QFile::remove(m_game.filePath(QStringLiteral("missions/linked.mn3")));
        TfrmPXO *form = m_kit->NewLobby();
        TServer *arena = Listed(form, 1, {"Arena", 1, 8, "linked.mn3"});
        form->lvwServers->setCurrentItem(form->RowOf(arena));
        form->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes, QStringList{"Unable to join game, level is missing!"});
        form->ServerList->RemoveServer(arena);
        m_kit->Boxes.clear();
        m_kit->AnswerYes = false;
        form->JoinLink(QStringLiteral("127.0.0.9"), 2092);
        QCOMPARE(m_kit->Boxes, QStringList{"Join the game at 127.0.0.9:2092?\n\norlo://join/127.0.0.9:2092"});
        QTest::qWait(100);
        QVERIFY(form->Servers().isEmpty() && GameArguments().isEmpty() && !form->GameRunning());

        m_kit->AnswerYes = true;
        m_kit->Boxes.clear();
        form->JoinLink(QStringLiteral("127.0.0.9"), 2092);
        QTRY_VERIFY(form->ServerList->FindServer(QStringLiteral("127.0.0.9"), 2092));
        TServer *server = form->ServerList->FindServer(QStringLiteral("127.0.0.9"), 2092);
        QVERIFY(!form->GameRunning());
        Answer(form, server, {"Linked", 1, 8, "linked.mn3"});
        QTRY_COMPARE(m_kit->Boxes.size(), 2);
        QCOMPARE(
            m_kit->Boxes.last(),
            QStringLiteral("The level linked.mn3 is missing. Download it now? The game starts once it has arrived."));
        QVERIFY(server->LevelRequested && !form->GameRunning());
        for (const char *path : {"redirect=301/size=2000/chunk=1000/delay=100/levels/linked.mn3", "size=9/other.mn3"})
            form->Datagrams->Feed(ServerDatagrams::EncodeLevelReply({m_http.Url(QLatin1String(path)).toLatin1()}),
                                  server->IP, server->Port);
        QTRY_VERIFY_WITH_TIMEOUT(server->LevelPresent, Wait);
        QTRY_VERIFY_WITH_TIMEOUT(GameArguments().contains(QStringLiteral("127.0.0.9")), Wait);
        QCOMPARE(QFileInfo(m_game.filePath(QStringLiteral("missions/linked.mn3"))).size(), 2000);
        QVERIFY(!QFileInfo::exists(m_game.filePath(QStringLiteral("missions/other.mn3"))));
        QCOMPARE(m_kit->Boxes.size(), 2);
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
        form->lvwServers->setCurrentItem(form->RowOf(server));
        form->mnuCopyLink->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orlo://join/127.0.0.9:2092"));
    }

    // A double-click on a chat user runs "Who is?": the WHOIS goes out, the player window opens.
    // A private channel name with blanks is refused; the channel is joined, or only brought
    // forward when its tab is open.
    void whoIsAndPrivateChannel()
    {
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = m_kit->ChattingLobby(chat);
        QVERIFY(form);
        chat.SendLine(QStringLiteral(":pilot!u@h JOIN :#lobby"));
        chat.SendLine(QStringLiteral(":wingman!w@127.0.0.1 JOIN :#lobby"));
        const auto wingman = [form] {
            TChat *lobby = form->FindChat(QStringLiteral("#lobby"));
            const auto found =
                lobby ? lobby->UserGrid->findItems("wingman", Qt::MatchExactly) : QList<QTableWidgetItem *>();
            return found.isEmpty() ? nullptr : found.first();
        };
        QTRY_VERIFY(wingman());
        TChat *lobby = form->FindChat(QStringLiteral("#lobby"));
        lobby->UserGrid->setCurrentItem(wingman());
        form->sgrUsersDblClick(lobby);
        QVERIFY(chat.WaitForLine(QStringLiteral("WHOIS wingman")));
        QVERIFY(TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman")));
        delete TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));

        TfrmJoinPrivateChannel dialog;
        dialog.setAttribute(Qt::WA_DontShowOnScreen);
        dialog.show();
        for (const char *typed : {"a b", "a,b", "  Pilots "}) {
            dialog.edtChannel->setText(QLatin1String(typed));
            QTest::keyClick(dialog.edtChannel, Qt::Key_Return);
        }
        QCOMPARE(m_kit->Boxes.size(), 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        form->JoinPrivateChannelNamed(dialog.Channel());
        QVERIFY(chat.WaitForLine(QStringLiteral("JOIN +Pilots")));
        chat.SendLine(QStringLiteral(":pilot!u@h JOIN :+Pilots"));
        QTRY_VERIFY(form->FindChat(QStringLiteral("+Pilots")));
        form->ActivateChat(lobby);
        chat.ClearReceived();
        form->JoinPrivateChannelNamed(QStringLiteral("+Pilots"));
        QCOMPARE(form->ActiveChat(), form->FindChat(QStringLiteral("+Pilots")));
        form->SendLine(QStringLiteral("PING :marker"));
        QVERIFY(chat.WaitForLine(QStringLiteral("PING :marker")));
        QVERIFY(!chat.Received().contains(QStringLiteral("JOIN +Pilots")));
    }
};

QTEST_MAIN(tst_LobbyJoin)
#include "tst_LobbyJoin.moc"
