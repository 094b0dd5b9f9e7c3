// The lobby against the simulated PXO network, a real IRC server (ngircd) and datagrams
// of the test's own.
#include "PXOTestKit.h"

#include "base/Tick.h"
#include "chat/Chat.h"
#include "chat/Server.h"
#include "common/IrcTestClient.h"
#include "common/Loopback.h"
#include "common/NgircdFixture.h"
#include "common/ScriptedServer.h"
#include "demo/SimProcess.h"
#include "irc/User.h"
#include "pxo/TrackerPackets.h"
#include "settings/Registry.h"
#include "sim/ServerDatagrams.h"
#include "sim/TrackerDatagrams.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QSplitter>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

namespace {
constexpr int Wait = 15000;

// A game-list reply carrying the given entries (address bytes, port) and acknowledgement value.
QByteArray GameList(const QList<QPair<quint32, quint16>> &entries, quint32 ack)
{
    const int n = int(entries.size());
    QByteArray bytes(31 + 38 * n, '\0');
    bytes[0] = 0x03;
    bytes[1] = 0x17;
    qToLittleEndian<quint32>(ack, bytes.data() + 26);
    for (int i = 0; i < n; ++i) {
        qToBigEndian<quint32>(entries[i].first, bytes.data() + 31 + 32 * n + 4 * i);
        qToBigEndian<quint16>(entries[i].second, bytes.data() + 31 + 36 * n + 2 * i);
    }
    return bytes;
}
} // namespace

class tst_PXOLobby : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;
    QPointer<TfrmPXO> m_form;

    TfrmPXO *NewLobby()
    {
        m_form = new TfrmDescent;
        m_form->setAttribute(Qt::WA_DontShowOnScreen);
        m_form->show();
        return m_form;
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanup() { delete m_form.data(); }
    void cleanupTestCase() { m_kit.reset(); }

    // The list pane keeps its height from one lobby to the next, and a larger window grows
    // the chat instead of the list.
    void gamesPaneHeightKept()
    {
        TfrmPXO *form = NewLobby();
        form->resize(700, 600);
        QTRY_VERIFY(form->splGames->height() > 400);
        // A first run shows a usable list, not a pane squeezed to its minimum.
        QVERIFY2(form->pnlGames->height() > 100, qPrintable(QString::number(form->pnlGames->height())));
        const QList<int> sizes = form->splGames->sizes();
        form->splGames->setSizes({sizes.value(0) + sizes.value(1) - 157, 157});
        QCOMPARE(form->splGames->sizes().value(1), 157);
        delete m_form.data();
        {
            TRegistry reg;
            reg.OpenKey(OrloKey(QStringLiteral("\\PXO Chat Window")));
            QCOMPARE(reg.ReadInteger(QStringLiteral("pnlGames Height")), 157);
        }
        form = NewLobby();
        QTRY_COMPARE(form->splGames->sizes().value(1), 157);
        form->resize(800, 760);
        QTRY_VERIFY(form->splGames->height() > 500);
        QCOMPARE(form->splGames->sizes().value(1), 157);
    }

    // Login with unanswered requests, the tracker id in the registration, LIST and the
    // channel after the first PING, and the servers of the game list.
    void loginRegisterAndList()
    {
        QVERIFY2(TNgircd::Available(), "ngircd is needed: scripts/install-deps.sh installs it");
        TNgircd::TOptions options;
        options.PingTimeout = 5;
        TNgircd irc(options);
        QVERIFY2(irc.Start(), qPrintable(irc.Error()));
        TSimProcess sim;
        QVERIFY2(
            sim.Start({QStringLiteral("--servers"), QStringLiteral("3"), QStringLiteral("--ignore-logins"),
                       QStringLiteral("2"), QStringLiteral("--login"), QStringLiteral("pilotlogin:secret=TRK0123456")}),
            qPrintable(sim.ErrorString()));

        TIrcTestClient wingman;
        QVERIFY(wingman.Register(irc.Host(), irc.Port(), QStringLiteral("wingman")));
        wingman.Send(QStringLiteral("JOIN #d3"));
        QVERIFY(wingman.WaitFor(QStringLiteral("366 wingman #d3"), Wait));

        TfrmPXO *form = NewLobby();
        QCOMPARE(form->windowTitle(), QStringLiteral("PXO (Descent)"));
        QCOMPARE(form->UserTrackerPort, quint16(2092));
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort(), irc.Host(), irc.Port());
        form->TimerLoginRetry->setInterval(300);
        form->Login(QStringLiteral("pilotlogin"), QStringLiteral("secret"), QStringLiteral("Big Bad.Wolf"));
        QCOMPARE(form->Session()->Nick(), QStringLiteral("Big_Bad"));

        QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), QStringLiteral("Chat (Big_Bad)"), Wait);
        QCOMPARE(form->TrackerId, QStringLiteral("TRK0123456"));
        QVERIFY(!form->TimerLoginRetry->isActive());
        QVERIFY(form->LoginTries >= 3);
        QVERIFY(sim.Counter(QStringLiteral("requests"), QStringLiteral("login")) >= 3);
        QTRY_VERIFY_WITH_TIMEOUT(sim.Counter(QStringLiteral("acks"), QStringLiteral("login")) >= 1, Wait);

        // The registration's real name carries the tracker id and the login name.
        QTest::qWait(500);
        wingman.Send(QStringLiteral("WHOIS Big_Bad"));
        QVERIFY(wingman.WaitFor(QStringLiteral(":TRK0123456 pilotlogin"), Wait));

        // Servers with the game list, acknowledged to the game tracker.
        QTRY_COMPARE_WITH_TIMEOUT(form->Servers.size(), qsizetype(3), Wait);
        QTRY_VERIFY_WITH_TIMEOUT(sim.Counter(QStringLiteral("acks"), QStringLiteral("gameList")) >= 1, Wait);

        // The first PING brings the channel list and the lobby channel.
        QTRY_VERIFY_WITH_TIMEOUT(form->FindChat(QStringLiteral("#autoselect")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(form->Session()->FindChannel(QStringLiteral("#d3")), Wait);
        QVERIFY(form->FirstPingSeen);
    }

    // A tracker that never answers: nine requests, then "Login failed!" with the retry
    // timer already off, and the lobby closes.
    void silentTrackerFails()
    {
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("0"), QStringLiteral("--silent-tracker")}),
                 qPrintable(sim.ErrorString()));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->TimerLoginRetry->setInterval(30);
        bool timerOffAtBox = false;
        m_kit->OnBox = [&](const QString &) { timerOffAtBox = m_form && !m_form->TimerLoginRetry->isActive(); };
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QTRY_COMPARE_WITH_TIMEOUT(m_kit->Boxes, QStringList{QStringLiteral("Login failed!")}, Wait);
        QVERIFY(timerOffAtBox);
        QTRY_VERIFY_WITH_TIMEOUT(m_form.isNull(), Wait);
        QTRY_COMPARE_WITH_TIMEOUT(sim.Counter(QStringLiteral("requests"), QStringLiteral("login")), qint64(9), Wait);
        QTest::qWait(200);
        QCOMPARE(m_kit->Boxes.size(), 1);
    }

    // Every Login counts its attempts afresh (a re-login after many games still works).
    void loginCountsAfresh()
    {
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9);
        form->TimerLoginRetry->setInterval(60000);
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        for (int i = 0; i < 7; ++i)
            form->LoginAttempt();
        QCOMPARE(form->LoginTries, 8);
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QCOMPARE(form->LoginTries, 1);
        QCOMPARE(form->windowTitle(), QStringLiteral("Connecting... try: 1"));
        QTest::qWait(50);
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // Replies of every kind, byte for byte what the genuine peers send, from sockets that are
    // neither the tracker nor a listed server (another address, or the right address on another
    // port): nothing changes. The genuine replies still log in (a short tracker id padded with
    // zeros is taken up to them) and fill the list.
    void repliesTakenOnlyFromTheirSenders()
    {
        using namespace TrackerDatagrams;
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("1"), QStringLiteral("--login"),
                            QStringLiteral("pilot:pw=SHORT")}),
                 qPrintable(sim.ErrorString()));
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort(), QStringLiteral("127.0.0.1"), chat.Port());
        const QHostAddress elsewhere = RandomLoopback();
        const auto spoof = [form](const QHostAddress &address, quint16 port, const QList<QByteArray> &datagrams) {
            QUdpSocket socket;
            if (!socket.bind(address, port))
                return false;
            for (const QByteArray &datagram : datagrams)
                SendTo(socket, form, datagram);
            return true;
        };
        TUserStats stats;
        stats.displayName = "pilot";
        stats.rating = 999;
        const QByteArray list = EncodeListReply(7, {{0x7F630001, 2092, {}}, {0x7F630002, 2092, {}}});
        QVERIFY(spoof(elsewhere, sim.UserTrackerPort(),
                      {EncodeLoginAccepted(1, "EVIL000001"), EncodeLoginRetry(), EncodeStatsReply(2, stats)}));
        QVERIFY(spoof(elsewhere, sim.GameTrackerPort(), {list}));
        QVERIFY(spoof(QHostAddress(sim.GameTrackerAddress()), 0, {list}));
        QTRY_COMPARE_WITH_TIMEOUT(form->RefusedReplies(), 5u, Wait);
        QVERIFY(form->TrackerId.isEmpty());
        QCOMPARE(form->LoginTries, 0);
        QVERIFY(form->Servers.isEmpty());

        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QTRY_COMPARE_WITH_TIMEOUT(form->TrackerId, QStringLiteral("SHORT"), Wait);
        QVERIFY(chat.WaitForClient());
        QCOMPARE(chat.WaitForLineStarting(QStringLiteral("USER ")), QStringLiteral("USER user user user :SHORT pilot"));
        QTRY_VERIFY_WITH_TIMEOUT(form->Servers.size() == 1 && !form->Servers.first()->Name.isEmpty(), Wait);
        TServer *server = form->Servers.first();
        const QString name = server->Name;
        const quint32 refused = form->RefusedReplies();
        server->LevelRequested = true;
        form->InfoPort = server->Port;
        ServerDatagrams::TGameInfo info;
        info.name = "Spoofed";
        info.level = "spoof.mn3";
        const QList<QByteArray> replies{ServerDatagrams::EncodeGameInfoReply(info, server->RequestSeq),
                                        ServerDatagrams::EncodePlayerListReply({"ghost"}),
                                        ServerDatagrams::EncodeLevelReply({"http://127.0.0.1/spoof.mn3"}),
                                        "\\gamever\\spoof\\player_0\\ghost"};
        QVERIFY(spoof(elsewhere, server->Port, replies));
        QVERIFY(spoof(QHostAddress(server->IP), 0, replies));
        QTRY_COMPARE_WITH_TIMEOUT(form->RefusedReplies(), refused + 8, Wait);
        QTest::qWait(100);
        QCOMPARE(server->Name, name);
        for (const TServerUser *player : std::as_const(server->PlayerList))
            QVERIFY(player->Name != QLatin1String("ghost"));
        QVERIFY(server->GameVersion.isEmpty());
        QVERIFY(server->LevelRequested); // no download was opened
        QCOMPARE(form->Servers.size(), qsizetype(1));
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // A tracker id with CR or LF is no login: nothing connects, the reply is still
    // acknowledged.
    void trackerIdWithLineBreakRefused_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("CR") << QStringLiteral("ABCD%0DQUIT");
        QTest::newRow("LF") << QStringLiteral("ABCDE%0AXYZ");
    }
    void trackerIdWithLineBreakRefused()
    {
        QFETCH(QString, id);
        TSimProcess sim;
        QVERIFY2(sim.Start({QStringLiteral("--servers"), QStringLiteral("0"), QStringLiteral("--login"),
                            QStringLiteral("pilot:pw=") + id}),
                 qPrintable(sim.ErrorString()));
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                             sim.GameTrackerPort());
        form->TimerLoginRetry->setInterval(60000);
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QTRY_VERIFY_WITH_TIMEOUT(sim.Counter(QStringLiteral("acks"), QStringLiteral("login")) >= 1, Wait);
        QVERIFY(form->TrackerId.isEmpty());
        QCOMPARE(form->Session()->Status(), TIrcSession::TStatus::Inactive);
        QVERIFY(form->TimerLoginRetry->isActive());
    }

    // Game lists: empty replies are acknowledged, 0.0.0.0 and known entries are skipped,
    // ports are big-endian, and the list stops at its cap with one note.
    void gameListEntries()
    {
        TfrmPXO *form = NewLobby();
        QUdpSocket tracker;
        QVERIFY(tracker.bind(QHostAddress::LocalHost, 0));
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), tracker.localPort());
        QStringList notes;
        form->OnStatus = [&](const QString &text) { notes << text; };

        SendTo(tracker, form, QByteArray("\x03\x17", 2) + QByteArray(29, '\0'));
        QVERIFY(QTest::qWaitFor([&] { return tracker.hasPendingDatagrams(); }, Wait));
        QCOMPARE(tracker.receiveDatagram().data().size(), 30);
        QVERIFY(form->Servers.isEmpty());

        const quint32 base = 0x7F4D0001; // 127.77.0.1
        SendTo(tracker, form,
               GameList({{0, 2092}, {base, 0x1234}, {base, 0x1234}, {base, 2093}, {base + 1, 2092}}, 0xA1B2C3D4));
        QTRY_COMPARE_WITH_TIMEOUT(form->Servers.size(), qsizetype(3), Wait);
        QVERIFY(form->FindServer(QStringLiteral("127.77.0.1"), 0x1234));
        QVERIFY(form->FindServer(QStringLiteral("127.77.0.1"), 2093));
        QCOMPARE(form->FindServer(QStringLiteral("127.77.0.1"), 0), form->Servers.first());
        QVERIFY(form->FindServer(QStringLiteral("127.77.0.2"), 2092));
        QVERIFY(!form->FindServer(QStringLiteral("0.0.0.0"), 0));
        QVERIFY(QTest::qWaitFor([&] { return tracker.hasPendingDatagrams(); }, Wait));
        const QByteArray ack = tracker.receiveDatagram().data();
        QCOMPARE(ack.size(), 30);
        QCOMPARE(qFromLittleEndian<quint32>(ack.constData() + 26), 0xA1B2C3D4u);

        // Flood to the cap: 106 entries per reply (the most a 4096-byte datagram holds).
        int sent = 0;
        for (int r = 0; r < 50; ++r) {
            QList<QPair<quint32, quint16>> entries;
            for (int i = 0; i < 106; ++i)
                entries.append({0x7F500000u + quint32(sent++), 2092});
            SendTo(tracker, form, GameList(entries, r));
            QTest::qWait(5);
        }
        QTRY_COMPARE_WITH_TIMEOUT(form->Servers.size(), qsizetype(TfrmPXO::MaxServers), 30000);
        QTest::qWait(200);
        QCOMPARE(form->Servers.size(), qsizetype(TfrmPXO::MaxServers));
        QCOMPARE(notes.filter(QStringLiteral("server list is full")).size(), 1);
    }

    // 431 and 432 are answered like 433, with the box posted after the handler.
    void nickRefused_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("431") << QStringLiteral(":irc.test 431 * :No nickname given");
        QTest::newRow("432") << QStringLiteral(":irc.test 432 * bad! :Erroneous nickname");
        QTest::newRow("433") << QStringLiteral(":irc.test 433 * pilot :Nickname is already in use");
    }
    void nickRefused()
    {
        QFETCH(QString, line);
        TScriptedServer server;
        QVERIFY(server.Listen());
        TfrmPXO *form = NewLobby();
        TPXOTestKit::PointAt(form, QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9,
                             QStringLiteral("127.0.0.1"), server.Port());
        form->TrackerId = QStringLiteral("0123456789");
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QVERIFY(server.WaitForClient());
        QCOMPARE(server.WaitForLineStarting(QStringLiteral("USER ")),
                 QStringLiteral("USER user user user :0123456789 pilot"));
        QVERIFY(server.WaitForLine(QStringLiteral("NICK pilot")));
        server.SendLine(line);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_kit->Boxes, QStringList{QStringLiteral("Someone else is using your alias, you need to change it!")},
            Wait);
        QCOMPARE(form->Session()->Status(), TIrcSession::TStatus::Connected);
    }

    // The 05 01 reply of another client gives that user's ping.
    void userReplyGivesPing()
    {
        TfrmPXO *form = NewLobby();
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        QVERIFY(user);
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QByteArray reply(32, '\0');
        reply[0] = 0x05;
        reply[1] = 0x01;
        // The sender's tick 40 ms before ours, modulo 65536.
        const quint16 value = quint16(TickCount() - 40);
        qToLittleEndian<quint16>(value, reply.data() + 2);
        memcpy(reply.data() + 4, "wingman", 7);
        SendTo(peer, form, reply);
        QTRY_VERIFY_WITH_TIMEOUT(user->PingTime >= 40 && user->PingTime < 5000, Wait);
    }
};

QTEST_MAIN(tst_PXOLobby)
#include "tst_PXOLobby.moc"
