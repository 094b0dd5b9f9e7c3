// The lobby against its real peers over loopback: the simulated PXO network (its trackers and
// game servers) and a scripted chat server, with datagrams of the test's own from senders that
// are neither.
#include "PXOTestKit.h"

#include "common/Loopback.h"
#include "common/ScriptedServer.h"
#include "demo/SimProcess.h"
#include "pxo/UfrmPXOServerInfo.h"
#include "sim/TrackerDatagrams.h"

#include <QJsonArray>
#include <QLabel>
#include <QTreeWidget>
#include <QUdpSocket>

#include <algorithm>

namespace {
constexpr int Wait = 20000;

int Count(const TfrmPXO *form, const std::function<bool(const TServer *)> &which)
{
    return int(std::count_if(form->Servers().cbegin(), form->Servers().cend(), which));
}
} // namespace

class tst_PXOLobby : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;

    TfrmPXO *Lobby(TSimProcess &sim, TScriptedServer &chat)
    {
        return m_kit->NewLobby(sim.UserTrackerAddress(), sim.UserTrackerPort(), sim.GameTrackerAddress(),
                               sim.GameTrackerPort(), chat.Port());
    }

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanupTestCase() { m_kit.reset(); }

    // Unanswered logins are tried again until the tracker accepts; the chat registers with the
    // tracker id; the game list fills the list, and a serialized ping over real sockets walks
    // every server that answers (a lobby that stops reading its socket stalls here); a silent
    // server leaves. No request differs from its layout.
    void loginListAndPing()
    {
        TSimProcess sim;
        QVERIFY2(
            sim.Start({"--servers", "23", "--silent", "0", "--ignore-logins", "2", "--login", "pilot:pw=TRK0123456"}),
            qPrintable(sim.ErrorString()));
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = Lobby(sim, chat);
        form->Tracker->TimerLoginRetry->setInterval(300);
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("Big Bad.Wolf"));
        QCOMPARE(form->Session()->Nick(), QStringLiteral("Big_Bad"));
        QVERIFY(chat.WaitForClient(Wait));
        QCOMPARE(chat.WaitForLineStarting(QStringLiteral("USER ")),
                 QStringLiteral("USER user user user :TRK0123456 pilot"));
        QVERIFY(form->Tracker->LoginTries() >= 3);
        QTRY_VERIFY_WITH_TIMEOUT(sim.Counter("acks", "login") >= 1 && sim.Counter("acks", "gameList") >= 1, Wait);

        QTRY_COMPARE_WITH_TIMEOUT(form->Servers().size(), qsizetype(23), Wait);
        QTRY_VERIFY_WITH_TIMEOUT(Count(form, [](const TServer *s) { return !s->Name.isEmpty(); }) == 22 &&
                                     form->lvwServers->topLevelItemCount() ==
                                         Count(form, [](auto s) { return s->Visible; }),
                                 Wait);
        QCOMPARE(form->lvwServers->headerItem()->text(0),
                 QStringLiteral("Name (%1)").arg(form->lvwServers->topLevelItemCount()));
        const QJsonObject named = sim.Server(1);
        TServer *server = form->ServerList->FindServer(named.value("address").toString(), 0);
        QCOMPARE(server->Name, named.value("name").toString());
        QCOMPARE(server->MaxPlayers, quint16(named.value("maxPlayers").toInt()));

        form->ServerList->PingAllServers();
        QCOMPARE(Count(form, [](auto s) { return s->PingState == 2; }), 4);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return Count(form, [](auto s) { return s->PingState == 1; }) == 0 &&
                                Count(form, [](auto s) { return s->PingState == 2; }) == 1;
                     },
                     Wait),
                 qPrintable(QStringLiteral("%1 waiting").arg(Count(form, [](auto s) { return s->PingState == 1; }))));
        const QString silent = sim.Server(0).value("address").toString();
        for (int pass = 0; pass < 6 && form->ServerList->FindServer(silent, 0); ++pass) {
            form->ServerList->PingAllServers();
            QTest::qWait(100);
        }
        QVERIFY(!form->ServerList->FindServer(silent, 0));
        QCOMPARE(form->lvwServers->topLevelItemCount(), Count(form, [](auto s) { return s->Visible; }));
        for (const QJsonValue &deviations : sim.Stats().value("deviations").toObject())
            QCOMPARE(deviations.toInt(), 0);
        QVERIFY(m_kit->Boxes.isEmpty());
    }

    // Replies of every kind, byte for byte what the genuine peers send, from sockets that are
    // neither the tracker nor a listed server (another address, or the right address on another
    // port): nothing changes. The genuine ones still log in (a short tracker id padded with
    // zeros is taken up to them), fill the list and, from the server's query port, its window.
    void repliesTakenOnlyFromTheirSenders()
    {
        using namespace TrackerDatagrams;
        TSimProcess sim;
        QVERIFY2(sim.Start({"--servers", "1", "--login", "pilot:pw=SHORT"}), qPrintable(sim.ErrorString()));
        TScriptedServer chat;
        QVERIFY(chat.Listen());
        TfrmPXO *form = Lobby(sim, chat);
        const QHostAddress elsewhere = RandomLoopback();
        const auto spoof = [form](const QHostAddress &address, quint16 port, const QList<QByteArray> &datagrams) {
            QUdpSocket socket;
            if (!socket.bind(address, port))
                return false;
            for (const QByteArray &datagram : datagrams)
                socket.writeDatagram(datagram, QHostAddress::LocalHost, form->Datagrams->LocalPort());
            return true;
        };
        const QByteArray list = EncodeListReply(7, {{0x7F630001, 2092, {}}});
        QVERIFY(spoof(elsewhere, sim.UserTrackerPort(),
                      {EncodeLoginAccepted(1, "EVIL000001"), EncodeLoginRetry(), EncodeStatsReply(2, {"pilot"})}));
        QVERIFY(spoof(elsewhere, sim.GameTrackerPort(), {list}));
        QVERIFY(spoof(QHostAddress(sim.GameTrackerAddress()), 0, {list}));
        QTRY_COMPARE_WITH_TIMEOUT(form->RefusedReplies(), 5u, Wait);
        QVERIFY(form->Tracker->TrackerId().isEmpty() && form->Servers().isEmpty());
        QCOMPARE(form->Tracker->LoginTries(), 0);

        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), QStringLiteral("pilot"));
        QVERIFY(chat.WaitForClient(Wait));
        QCOMPARE(chat.WaitForLineStarting(QStringLiteral("USER ")), QStringLiteral("USER user user user :SHORT pilot"));
        QTRY_VERIFY_WITH_TIMEOUT(form->Servers().size() == 1 && !form->Servers().first()->Name.isEmpty(), Wait);
        TServer *server = form->Servers().first();
        const QString name = server->Name;
        server->LevelRequested = true; // as if asked: a spoofed address must not answer it
        form->ServerList->InfoPort = server->Port;
        ServerDatagrams::TGameInfo info;
        info.name = "Spoofed";
        const QList<QByteArray> replies{ServerDatagrams::EncodeGameInfoReply(info, server->RequestSeq),
                                        ServerDatagrams::EncodePlayerListReply({"ghost"}),
                                        ServerDatagrams::EncodeLevelReply({"http://127.0.0.1/spoof.mn3"}),
                                        "\\gamever\\spoof\\player_0\\ghost"};
        const quint32 refused = form->RefusedReplies();
        QVERIFY(spoof(elsewhere, server->Port, replies));
        QVERIFY(spoof(QHostAddress(server->IP), 0, replies));
        QTRY_COMPARE_WITH_TIMEOUT(form->RefusedReplies(), refused + 8, Wait);
        QCOMPARE(server->Name, name);
        QVERIFY(server->GameVersion.isEmpty() && server->LevelRequested && m_kit->Boxes.isEmpty());

        form->ServerList->ShowInfo(server);
        QTRY_VERIFY_WITH_TIMEOUT(TfrmPXOServerInfo::FindFor(server) &&
                                     TfrmPXOServerInfo::FindFor(server)->lblVersion->text() ==
                                         sim.Server(0).value("gameVersion").toString(),
                                 Wait);
        QCOMPARE(TfrmPXOServerInfo::FindFor(server)->lblPlayers->text(),
                 QString::number(sim.Server(0).value("playerNames").toArray().size()));
        delete TfrmPXOServerInfo::FindFor(server);
    }
};

QTEST_MAIN(tst_PXOLobby)
#include "tst_PXOLobby.moc"
