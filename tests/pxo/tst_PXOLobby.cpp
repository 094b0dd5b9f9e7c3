// The lobby against its real peers over loopback: the simulated PXO network (its trackers and
// game servers) and a scripted chat server.
#include "PXOTestKit.h"

#include "demo/SimProcess.h"
#include "pxo/UfrmPXOServerInfo.h"

#include <QJsonArray>
#include <QLabel>
#include <QTreeWidget>

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
    // tracker id; the game list fills the list, a server's window shows what its query port
    // tells, and a serialized ping over real sockets walks every server that answers (a lobby
    // that stops reading its socket stalls here); a silent server leaves. No request differs
    // from its layout. A wrong password then fails fast.
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
        form->ServerList->ShowInfo(server);
        QTRY_VERIFY_WITH_TIMEOUT(TfrmPXOServerInfo::FindFor(server) &&
                                     TfrmPXOServerInfo::FindFor(server)->lblVersion->text() ==
                                         named.value("gameVersion").toString(),
                                 Wait);
        QCOMPARE(TfrmPXOServerInfo::FindFor(server)->lblPlayers->text(),
                 QString::number(named.value("playerNames").toArray().size()));
        delete TfrmPXOServerInfo::FindFor(server);

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

        // A wrong password: each login-retry reply runs the next attempt at once (the caption
        // counts them), so the tenth fails well before the retry timer would tick: "Login
        // failed!" once, the timer off by then, and the lobby closes.
        const qint64 logins = sim.Counter("requests", "login");
        form = Lobby(sim, chat);
        QStringList captions;
        connect(form, &QWidget::windowTitleChanged, this, [&](const QString &caption) { captions << caption; });
        bool timerOff = false;
        m_kit->OnBox = [&](const QString &) {
            timerOff = m_kit->Lobby && !m_kit->Lobby->Tracker->TimerLoginRetry->isActive();
        };
        form->Login(QStringLiteral("pilot"), QStringLiteral("wrong"), QStringLiteral("pilot"));
        QTRY_VERIFY_WITH_TIMEOUT(m_kit->Lobby.isNull(), TPxoTrackerClient::LoginRetryMs - 1000);
        QCOMPARE(m_kit->Boxes, QStringList{"Login failed!"});
        QVERIFY(timerOff);
        QCOMPARE(captions.filter(QStringLiteral("Connecting... try: ")).size(), 10);
        QCOMPARE(sim.Counter("requests", "login") - logins, 9);
        QCOMPARE(sim.Counter("replies", "loginRetry"), 9);
    }
};

QTEST_MAIN(tst_PXOLobby)
#include "tst_PXOLobby.moc"
