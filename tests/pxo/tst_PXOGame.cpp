// The server list filled by the simulated network, the serialized ping, auto-join, and
// running a game (a script standing in for it) while the lobby waits.
#include "PXOTestKit.h"

#include "chat/Server.h"
#include "common/ScriptedServer.h"
#include "demo/SimProcess.h"
#include "settings/ConfigControls.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTreeWidget>

#include <algorithm>

namespace {
constexpr int Wait = 20000;

int CountPingState(const TfrmPXO *form, int state)
{
    int n = 0;
    for (const TServer *server : form->Servers)
        n += server->PingState == state ? 1 : 0;
    return n;
}

int VisibleCount(const TfrmPXO *form)
{
    int visible = 0;
    for (const TServer *server : form->Servers)
        visible += server->Visible ? 1 : 0;
    return visible;
}

int NamedCount(const TfrmPXO *form)
{
    int named = 0;
    for (const TServer *server : form->Servers)
        named += server->Name.isEmpty() ? 0 : 1;
    return named;
}

bool AllNamed(const TfrmPXO *form, int expected)
{
    return form->lvwServers->topLevelItemCount() == expected && NamedCount(form) == expected;
}

// What a stalled list looks like from both ends: each server's requests and replies as the
// lobby and the simulator count them, and what waits in the lobby's socket and queue.
QString ListState(TfrmPXO *form, TSimProcess &sim)
{
    QStringList lines;
    int index = 0;
    for (const TServer *s : form->Servers) {
        lines << QStringLiteral("%1 seq %2/%3 ping state %4; simulator: %5 requests, %6 replies")
                     .arg(s->IP)
                     .arg(s->AnsweredSeq)
                     .arg(s->RequestSeq)
                     .arg(s->PingState)
                     .arg(sim.ServerCounter(index, QStringLiteral("requests"), QStringLiteral("gameInfo")))
                     .arg(sim.ServerCounter(index, QStringLiteral("replies"), QStringLiteral("gameInfo")));
        ++index;
    }
    lines << QStringLiteral("datagram waiting: %1; queue %2, sent %3, failed %4")
                 .arg(form->UDP->hasPendingDatagrams())
                 .arg(form->UDPQueue->Count())
                 .arg(form->UDPQueue->SentCount())
                 .arg(form->UDPQueue->FailedCount());
    return lines.join(QLatin1Char('\n'));
}
} // namespace

class tst_PXOGame : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QPointer<TfrmPXO> m_form;
    QTemporaryDir m_gameDir;

    TfrmPXO *NewLobby()
    {
        m_form = new TfrmDescent;
        m_form->setAttribute(Qt::WA_DontShowOnScreen);
        m_form->show();
        m_form->TimerServers->stop();
        m_form->TimerPing->stop();
        return m_form;
    }

    // A game that writes its working folder and arguments, one a line, then waits for
    // the stop file (so the test sees the lobby while it runs).
    QString WriteFakeGame()
    {
        const QString script = m_gameDir.filePath(QStringLiteral("main.sh"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write("#!/bin/sh\n"
                   "pwd > args.tmp\n"
                   "for a in \"$@\"; do printf '%s\\n' \"$a\" >> args.tmp; done\n"
                   "mv args.tmp args.txt\n"
                   "i=0\n"
                   "while [ ! -e stop ] && [ $i -lt 300 ]; do sleep 0.05; i=$((i+1)); done\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(m_gameDir.filePath(QStringLiteral("args.txt")));
        QFile::remove(m_gameDir.filePath(QStringLiteral("stop")));
        m_kit->Config->edtDescentPath->setText(m_gameDir.path());
        m_kit->Config->edtDescentExe->setText(QStringLiteral("main.sh"));
        return script;
    }
    QStringList GameArguments() const
    {
        QFile file(m_gameDir.filePath(QStringLiteral("args.txt")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    void StopGame()
    {
        QFile stop(m_gameDir.filePath(QStringLiteral("stop")));
        QVERIFY(stop.open(QIODevice::WriteOnly));
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init()
    {
        m_kit->Reset();
        m_kit->Config->cbxServersAutoJoin->setChecked(false);
        m_kit->Config->cbxServerJoinLevelExist->setChecked(false);
    }
    void cleanup() { delete m_form.data(); }
    void cleanupTestCase() { m_kit.reset(); }

    // Servers appear with names and pings; a serialized ping starts 4 of 23 (then 3 of
    // 10) and walks the rest as replies arrive; a silent server is removed.
    // A server that answers once and then falls silent leaves the list after four unanswered
    // queries; the others stay, with their rows and the header's count.
    void serverAnsweringOnceLeaves()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start(
                     {QStringLiteral("--servers"), QStringLiteral("3"), QStringLiteral("--once"), QStringLiteral("1")}),
                 qPrintable(sim.ErrorString()));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->RequestGameList();
        QTRY_VERIFY_WITH_TIMEOUT(NamedCount(form) == 3, Wait);
        const QJsonObject once = sim.Server(1);
        TServer *quiet = form->FindServer(once.value("address").toString(), 0);
        QVERIFY(quiet);
        QCOMPARE(quiet->Name, once.value("name").toString());
        for (int round = 0; round < 4 && form->Servers.size() == 3; ++round) {
            const quint16 answered = quiet->AnsweredSeq;
            form->QueryAllServers();
            // Wait until the other two answered this round, so the quiet one had its chance.
            QTRY_VERIFY_WITH_TIMEOUT(
                std::all_of(form->Servers.cbegin(), form->Servers.cend(),
                            [quiet](const TServer *s) { return s == quiet || s->AnsweredSeq == s->RequestSeq; }),
                Wait);
            QCOMPARE(quiet->AnsweredSeq, answered);
        }
        form->QueryAllServers();
        QCOMPARE(form->Servers.size(), qsizetype(2));
        QVERIFY(!form->FindServer(once.value("address").toString(), 0));
        QCOMPARE(form->lvwServers->topLevelItemCount(), 2);
        QCOMPARE(form->lvwServers->headerItem()->text(0), QStringLiteral("Name (2)"));
    }

    void serversPingAndSilence()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("23"), QStringLiteral("--silent"),
                            QStringLiteral("0")}),
                 qPrintable(sim.ErrorString()));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->RequestGameList();
        QTRY_COMPARE_WITH_TIMEOUT(form->Servers.size(), qsizetype(23), Wait);
        const bool filled = QTest::qWaitFor(
            [&] { return NamedCount(form) == 22 && form->lvwServers->topLevelItemCount() == VisibleCount(form); },
            Wait);
        if (!filled)
            QFAIL(qPrintable(ListState(form, sim)));
        // Only the servers the filter lets through have rows.
        QVERIFY(VisibleCount(form) > 10);
        QCOMPARE(form->lvwServers->headerItem()->text(0),
                 QStringLiteral("Name (%1)").arg(form->lvwServers->topLevelItemCount()));
        TServer *named = nullptr;
        QJsonObject first;
        for (int i = 1; i < 23 && !named; ++i) {
            first = sim.Server(i);
            named = form->FindServer(first.value("address").toString(), 0);
            if (named && !named->Visible)
                named = nullptr;
        }
        QVERIFY(named);
        QCOMPARE(named->Name, first.value("name").toString());
        QTreeWidgetItem *row = form->RowOf(named);
        QVERIFY(row);
        QCOMPARE(row->text(0), named->Name);
        QCOMPARE(row->text(7), QString::number(named->Ping));
        QCOMPARE(row->text(6), QStringLiteral("%1/%2").arg(named->Players).arg(named->MaxPlayers));

        form->PingAllServers();
        const int shown = 23 - [&] {
            int filtered = 0;
            for (const TServer *s : form->Servers)
                filtered += s->FilteredOut ? 1 : 0;
            return filtered;
        }();
        QCOMPARE(CountPingState(form, 2), qMin(4, shown));
        QCOMPARE(CountPingState(form, 1), shown - qMin(4, shown));
        // Everyone but the silent server has its turn.
        if (!QTest::qWaitFor([&] { return CountPingState(form, 1) == 0 && CountPingState(form, 2) == 1; }, Wait))
            QFAIL(qPrintable(ListState(form, sim)));

        // The silent server goes after enough unanswered requests.
        const QString silent = sim.Server(0).value("address").toString();
        for (int pass = 0; pass < 6 && form->FindServer(silent, 0); ++pass) {
            form->PingAllServers();
            QTest::qWait(100);
        }
        QVERIFY(!form->FindServer(silent, 0));
        QCOMPARE(form->Servers.size(), qsizetype(22));
        QCOMPARE(form->lvwServers->topLevelItemCount(), VisibleCount(form));

        while (form->Servers.size() > 10)
            form->RemoveServer(form->Servers.last());
        QCOMPARE(form->lvwServers->topLevelItemCount(), VisibleCount(form));
        for (TServer *s : form->Servers)
            s->FilteredOut = false;
        form->PingAllServers();
        QCOMPARE(CountPingState(form, 2), 3);
        QCOMPARE(CountPingState(form, 1), 7);
    }

    // A full server is not joined; once a refresh shows a free slot it is, after the question.
    void autoJoinWhenSlotFrees()
    {
        WriteFakeGame();
        TSimProcess sim;
        QVERIFY2(sim.Start(
                     {QStringLiteral("--servers"), QStringLiteral("2"), QStringLiteral("--full"), QStringLiteral("1")}),
                 qPrintable(sim.ErrorString()));
        const int max = sim.Server(1).value("maxPlayers").toInt();
        QVERIFY(max > 1);
        m_kit->Config->cbxServersAutoJoin->setChecked(true);
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->RequestGameList();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamed(form, 2), Wait);
        TServer *full = form->FindServer(sim.Server(1).value("address").toString(), 0);
        QVERIFY(full);
        // Both the game info and the player list say it is full.
        QTRY_COMPARE_WITH_TIMEOUT(full->PlayerList.size(), qsizetype(max), Wait);
        QCOMPARE(full->Players, quint16(max));
        full->AutoJoin = true;
        form->QueryAllServers();
        QTest::qWait(500);
        QVERIFY2(m_kit->Boxes.isEmpty(), qPrintable(m_kit->Boxes.join('|')));
        QVERIFY(!form->GameRunning());

        QVERIFY(!sim.Command(QStringLiteral("set-players 1 %1").arg(max - 1)).isEmpty());
        form->QueryAllServers();
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes.size(), 1, Wait);
        QCOMPARE(m_kit->Boxes.first(), QStringLiteral("Would you like to join ") + full->Name + QLatin1Char('?'));
        QTRY_VERIFY_WITH_TIMEOUT(form->GameRunning(), Wait);
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        QVERIFY(GameArguments().contains(sim.Server(1).value("address").toString()));
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->GameRunning(), Wait);
        QCOMPARE(m_kit->Boxes.filter(QStringLiteral("Would you like to join")).size(), 1);
    }

    // The game gets its command line without a shell, the lobby is inert while it runs
    // (port released, queue paused, joins refused), and logs in again when it ends.
    void launchAndReturn_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("alias");
        QTest::newRow("pxo join") << false << QStringLiteral("Big Bad");
        QTest::newRow("alias with $port, quotes and blanks") << true << QStringLiteral("a$port \"q\" $ip x");
    }
    void launchAndReturn()
    {
        QFETCH(bool, direct);
        QFETCH(QString, alias);
        WriteFakeGame();
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9,
                             QStringLiteral("127.0.0.1"), chat.Port());
        form->TrackerId = QStringLiteral("0123456789");
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), alias);
        QVERIFY(chat.WaitForClient());
        QVERIFY(chat.WaitForLineStarting(QStringLiteral("NICK ")).size() > 0);
        const quint16 port = form->UDPLocalPort();
        QVERIFY(port != 0);

        const QStringList params =
            MemoLines(direct ? m_kit->Config->memDescentDirectIPParams : m_kit->Config->memDescentParams);
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, params);
        QVERIFY(form->InGame);
        QCOMPARE(form->UDPLocalPort(), quint16(0));
        QVERIFY(form->UDPQueue->Paused());
        QVERIFY(chat.WaitForLine(QStringLiteral("QUIT")));
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        QVERIFY(!form->lblGameRunning->isHidden());
        QVERIFY(!form->lvwServers->isEnabled());

        const QStringList args = GameArguments();
        QCOMPARE(QFileInfo(args.first()).canonicalFilePath(), QFileInfo(m_gameDir.path()).canonicalFilePath());
        const QStringList expected{QStringLiteral("-launched"),
                                   QStringLiteral("+name"),
                                   alias,
                                   direct ? QStringLiteral("-directip") : QStringLiteral("-pxo"),
                                   QStringLiteral("127.0.0.9"),
                                   QStringLiteral("-hostport"),
                                   QStringLiteral("2092"),
                                   QStringLiteral("-nointro")};
        QCOMPARE(args.mid(1), expected);

        // Every way to join is refused while the game runs.
        form->LaunchGame(QStringLiteral("127.0.0.10"), 2092, params);
        QCOMPARE(m_kit->Boxes.size(), 1);
        QVERIFY(form->GameRunning());

        chat.DropClient();
        StopGame();
        QTRY_VERIFY_WITH_TIMEOUT(!form->InGame, Wait);
        QCOMPARE(form->UDPLocalPort(), port);
        QVERIFY(!form->UDPQueue->Paused());
        QVERIFY(form->lblGameRunning->isHidden());
        QVERIFY(chat.WaitForClient(Wait));
        QCOMPARE(chat.WaitForLineStarting(QStringLiteral("USER ")),
                 QStringLiteral("USER user user user :0123456789 pilot"));
        QCOMPARE(form->LoginTries, 1);
    }

    // A game that cannot start: the table's text, and the lobby comes back.
    void missingGame()
    {
        m_kit->Config->edtDescentPath->setText(m_gameDir.path());
        m_kit->Config->edtDescentExe->setText(QStringLiteral("no-such-game"));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9);
        form->TimerLoginRetry->setInterval(60000);
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, {QStringLiteral("-launched")});
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{QStringLiteral("File was not found")}, Wait);
        QVERIFY(!form->InGame);
        QVERIFY(form->UDPLocalPort() != 0);
        QCOMPARE(form->LoginTries, 1);
    }

    // Closing the lobby leaves the game running.
    void closingLeavesGame()
    {
        WriteFakeGame();
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9);
        form->LaunchGame(QStringLiteral("127.0.0.9"), 2092, {QStringLiteral("-launched")});
        QTRY_VERIFY_WITH_TIMEOUT(!GameArguments().isEmpty(), Wait);
        delete form;
        QFile::remove(m_gameDir.filePath(QStringLiteral("args.txt")));
        QTest::qWait(200);
        // Still running: it has not seen the stop file, so it is alive to see it now.
        const auto running = [this] {
            QProcess pgrep;
            pgrep.start(QStringLiteral("pgrep"), {QStringLiteral("-f"), m_gameDir.filePath(QStringLiteral("main.sh"))});
            return pgrep.waitForFinished(10000) && pgrep.exitCode() == 0;
        };
        QVERIFY(running());
        StopGame();
        // Once the game ends, the process object it left behind goes too.
        QTRY_VERIFY_WITH_TIMEOUT(!running(), Wait);
        QTest::qWait(100);
    }
};

QTEST_MAIN(tst_PXOGame)
#include "tst_PXOGame.moc"
