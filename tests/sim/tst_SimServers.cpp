// The running simulator's game servers over loopback, its control commands, and how it stops.

#include "SimTestPeer.h"
#include "demo/SimProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>

using namespace SimTest;

class TestSimServers : public QObject
{
    Q_OBJECT
private slots:
    void repliesMatchWhatIsServed();
    void silentSlowFullAndOnceServers();
    void commandsChangeWhatIsServed();
    void addedAndRemovedServers();
    void overlongCommandLineIsDropped();
    void stopsCleanly();
    void reportsStartFailures();

private:
    static bool Started(TSimProcess &sim, const QStringList &arguments)
    {
        if (sim.Start(arguments))
            return true;
        qWarning("%s", qPrintable(sim.ErrorString()));
        return false;
    }
    static QString Address(const QJsonObject &server) { return server["address"].toString(); }
    static quint16 GamePort(const QJsonObject &server) { return quint16(server["gamePort"].toInt()); }
    static QList<QByteArray> Names(const QJsonObject &server)
    {
        QList<QByteArray> names;
        for (const QJsonValue &n : server["playerNames"].toArray())
            names.append(n.toString().toLatin1());
        return names;
    }
};

void TestSimServers::repliesMatchWhatIsServed()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "2", "--seed", "11", "--level-url", "http://127.0.0.1:8080/levels"}));
    TPeer peer;
    for (int index = 0; index < 2; ++index) {
        const QJsonObject s = sim.Server(index);
        const QByteArray reply = peer.Ask(GameInfoRequest(quint16(7 + index)), Address(s), GamePort(s));
        QCOMPARE(HexDump(reply.left(2)), QString("01 1f"));
        const TGameInfo g = GameInfo(reply);
        QCOMPARE(QString::fromLatin1(g.name), s["name"].toString());
        QCOMPARE(QString::fromLatin1(g.level), s["level"].toString());
        QCOMPARE(QString::fromLatin1(g.description), s["description"].toString());
        QCOMPARE(QString::fromLatin1(g.gameType), s["gameType"].toString());
        QCOMPARE(int(g.levelNumber), s["levelNumber"].toInt());
        QCOMPARE(int(g.players), s["players"].toInt());
        QCOMPARE(int(g.maxPlayers), s["maxPlayers"].toInt());
        QCOMPARE(int(g.sequence), 7 + index);
        QCOMPARE(int(g.mode), s["mode"].toInt());
        QCOMPARE(g.dedicated == 1, s["dedicated"].toBool());
        QCOMPARE(int(g.difficulty), s["difficulty"].toInt());

        const QList<QByteArray> names = PlayerNames(peer.Ask(PlayerListRequest(), Address(s), GamePort(s)));
        QCOMPARE(names, Names(s));
        QCOMPARE(names.size(), int(g.players));

        const QList<QByteArray> texts = LevelTexts(peer.Ask(LevelRequest(), Address(s), GamePort(s)));
        QCOMPARE(texts, QList<QByteArray>{"http://127.0.0.1:8080/levels/" + g.level});

        const QNetworkDatagram status = [&] {
            peer.Send(StatusRequest(), Address(s), 20142);
            return peer.Receive();
        }();
        QCOMPARE(status.senderPort(), 20142); // from the query port, as clients match it
        QCOMPARE(status.senderAddress(), QHostAddress(Address(s)));
        const QMap<QByteArray, QByteArray> fields = StatusFields(status.data());
        QCOMPARE(QString::fromLatin1(fields.value("gamever")), s["gameVersion"].toString());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(fields.value("player_" + QByteArray::number(i)), names[i]);
        QVERIFY(fields.contains("brightships") && fields.contains("acccollisions") && fields.contains("randpowerup"));
    }
    // A status request on the game port is not one of its requests.
    peer.Send(StatusRequest(), Address(sim.Server(0)), GamePort(sim.Server(0)));
    QTRY_COMPARE_WITH_TIMEOUT(sim.ServerCounter(0, "requests", "unknown"), 1, 5000);
    QVERIFY(!peer.HasPending());
    const QJsonObject deviations = sim.Stats().value("deviations").toObject();
    for (auto it = deviations.begin(); it != deviations.end(); ++it)
        QVERIFY2(it.value().toInt() == 0, qPrintable(it.key()));
}

void TestSimServers::silentSlowFullAndOnceServers()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "5", "--silent", "1", "--slow", "2", "--slow-ms", "400", "--full", "3", "--once",
                          "4", "--no-level", "0", "--level-url", "http://h/l"}));
    TPeer peer;

    peer.Send(GameInfoRequest(1), Address(sim.Server(1)), GamePort(sim.Server(1)));
    peer.Send(StatusRequest(), Address(sim.Server(1)), 20142);
    QTRY_COMPARE_WITH_TIMEOUT(sim.ServerCounter(1, "requests", "status"), 1, 5000);
    QCOMPARE(sim.ServerCounter(1, "requests", "gameInfo"), 1);
    QVERIFY2(!peer.HasPending(), "a silent server answered");

    QElapsedTimer clock;
    clock.start();
    const QByteArray slow = peer.Ask(GameInfoRequest(2), Address(sim.Server(2)), GamePort(sim.Server(2)));
    QVERIFY(!slow.isEmpty());
    QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));

    const QJsonObject full = sim.Server(3);
    const TGameInfo g = GameInfo(peer.Ask(GameInfoRequest(3), Address(full), GamePort(full)));
    QCOMPARE(g.players, g.maxPlayers);
    QCOMPARE(PlayerNames(peer.Ask(PlayerListRequest(), Address(full), GamePort(full))).size(), int(g.maxPlayers));

    const QJsonObject once = sim.Server(4);
    QVERIFY(!peer.Ask(GameInfoRequest(4), Address(once), GamePort(once)).isEmpty());
    QVERIFY(!peer.Ask(PlayerListRequest(), Address(once), GamePort(once)).isEmpty()); // once per kind
    peer.Send(GameInfoRequest(5), Address(once), GamePort(once));
    QTRY_COMPARE_WITH_TIMEOUT(sim.ServerCounter(4, "requests", "gameInfo"), 2, 5000);
    QVERIFY2(!peer.HasPending(), "a server that answers once answered twice");
    QCOMPARE(sim.ServerCounter(4, "replies", "gameInfo"), 1);

    QCOMPARE(LevelTexts(peer.Ask(LevelRequest(), Address(sim.Server(0)), GamePort(sim.Server(0)))),
             QList<QByteArray>{""});

    // Knobs change at run time.
    QCOMPARE(sim.Command("set-silent 1 0")["reply"].toString(), QString("ok"));
    QVERIFY(!peer.Ask(GameInfoRequest(6), Address(sim.Server(1)), GamePort(sim.Server(1))).isEmpty());
    QCOMPARE(sim.Command("set-silent 0 1")["reply"].toString(), QString("ok"));
    peer.Send(GameInfoRequest(7), Address(sim.Server(0)), GamePort(sim.Server(0)));
    QTRY_COMPARE_WITH_TIMEOUT(sim.ServerCounter(0, "requests", "gameInfo"), 1, 5000);
    QVERIFY(!peer.HasPending());
}

void TestSimServers::commandsChangeWhatIsServed()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "2"}));
    TPeer peer;
    const QJsonObject s0 = sim.Server(0);

    const QJsonObject two = sim.Command("set-players 0 2");
    QCOMPARE(two["reply"].toString(), QString("ok"));
    QCOMPARE(GameInfo(peer.Ask(GameInfoRequest(1), Address(s0), GamePort(s0))).players, quint16(2));
    QCOMPARE(PlayerNames(peer.Ask(PlayerListRequest(), Address(s0), GamePort(s0))), Names(two["server"].toObject()));
    // Players grow from the same names.
    const QJsonObject three = sim.Command("set-players 0 3");
    QCOMPARE(Names(three["server"].toObject()).mid(0, 2), Names(two["server"].toObject()));

    const int max = three["server"]["maxPlayers"].toInt();
    QCOMPARE(sim.Command(QStringLiteral("set-players 0 %1").arg(max))["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command(QStringLiteral("set-players 0 %1").arg(max + 1))["reply"].toString(), QString("error"));
    QCOMPARE(sim.Command(QStringLiteral("set-max 0 %1").arg(max - 1))["reply"].toString(), QString("error"));
    QCOMPARE(sim.Command("set-players 0 0")["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command("set-max 0 1")["reply"].toString(), QString("ok"));
    QCOMPARE(PlayerNames(peer.Ask(PlayerListRequest(), Address(s0), GamePort(s0))), QList<QByteArray>{});

    QCOMPARE(sim.Command("set-name 0   Two  Words  ")["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command("set-level 0 city.mn3")["reply"].toString(), QString("ok"));
    const TGameInfo g = GameInfo(peer.Ask(GameInfoRequest(2), Address(s0), GamePort(s0)));
    QCOMPARE(g.name, QByteArray("Two  Words"));
    QCOMPARE(g.level, QByteArray("city.mn3"));
    QCOMPARE(g.maxPlayers, quint16(1));
    QCOMPARE(sim.Command("set-name 0 " + QString(255, 'n'))["reply"].toString(), QString("error"));
    QCOMPARE(sim.Command("set-name 0 " + QString(254, 'n'))["reply"].toString(), QString("ok"));

    QCOMPARE(sim.Command("set-players 9 1")["reply"].toString(), QString("error"));
    QCOMPARE(sim.Command("set-slow 1 -5")["reply"].toString(), QString("error"));
    QCOMPARE(sim.Command("launch rockets")["reply"].toString(), QString("error"));
    QVERIFY(sim.Command("help")["commands"].toArray().size() > 10);
}

void TestSimServers::addedAndRemovedServers()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "3"}));
    TPeer peer;
    const QJsonObject removed = sim.Server(1);
    QCOMPARE(sim.Command("remove 1")["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command("remove 1")["reply"].toString(), QString("error"));

    QList<TListEntry> listed = ListEntries(peer.Ask(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort()));
    QCOMPARE(listed.size(), 2);
    for (const TListEntry &e : listed)
        QVERIFY(e.address != Address(removed));

    const QJsonObject added = sim.Command("add 1");
    QCOMPARE(added["reply"].toString(), QString("added"));
    const QJsonObject s3 = added["servers"][0].toObject();
    QCOMPARE(s3["index"].toInt(), 3);
    // The address after the last one handed out, not the removed server's.
    QCOMPARE(QHostAddress(Address(s3)).toIPv4Address(), QHostAddress(Address(sim.Server(0))).toIPv4Address() + 3);
    QCOMPARE(GameInfo(peer.Ask(GameInfoRequest(1), Address(s3), GamePort(s3))).name, s3["name"].toString().toLatin1());
    listed = ListEntries(peer.Ask(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort()));
    QCOMPARE(listed.size(), 3);
    QCOMPARE(sim.Command("servers")["servers"].toArray().size(), 3);
    // Server 0 keeps what it served: a server depends on the seed and its index only.
    QCOMPARE(sim.Command("servers")["servers"][0].toObject(), sim.Server(0));
}

void TestSimServers::overlongCommandLineIsDropped()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "1"}));
    const QJsonObject reply = sim.Command("set-name 0 " + QString(70000, 'x'));
    QCOMPARE(reply["reply"].toString(), QString("error"));
    QVERIFY(reply["message"].toString().contains("too long"));
    QCOMPARE(sim.Server(0)["name"], sim.Command("servers")["servers"][0]["name"]);
    QCOMPARE(sim.Stats()["reply"].toString(), QString("stats"));
}

void TestSimServers::stopsCleanly()
{
    {
        TSimProcess sim;
        QVERIFY(Started(sim, {"--servers", "1"}));
        sim.CloseInput();
        QCOMPARE(sim.WaitForExit(), 0);
    }
    {
        TSimProcess sim;
        QVERIFY(Started(sim, {"--servers", "1", "--no-stdin"}));
        sim.Terminate();
        QCOMPARE(sim.WaitForExit(), 0);
    }
    {
        TSimProcess sim;
        QVERIFY(Started(sim, {"--servers", "1"}));
        QCOMPARE(sim.Stop(), 0);
        QVERIFY(!sim.IsRunning());
    }
}

void TestSimServers::reportsStartFailures()
{
    TSimProcess sim;
    QVERIFY(!sim.Start({"--servers", "many"}));
    QVERIFY2(sim.ErrorString().contains("--servers takes a number"), qPrintable(sim.ErrorString()));
    QVERIFY(!sim.Start({"--unheard-of"}));
    QVERIFY2(sim.ErrorString().contains("unheard-of"), qPrintable(sim.ErrorString()));

    // The query port of the second server's address is taken.
    const QString base = TSimProcess::RandomServerBase();
    const QHostAddress second(QHostAddress(base).toIPv4Address() + 1);
    QUdpSocket blocker;
    QVERIFY(blocker.bind(second, 20142));
    QVERIFY(!sim.Start({"--servers", "2", "--first-server", base}));
    QVERIFY2(sim.ErrorString().contains("cannot bind") && sim.ErrorString().contains(second.toString()),
             qPrintable(sim.ErrorString()));
    QVERIFY(!sim.IsRunning());

    TSimProcess missing;
    missing.SetProgram("/nonexistent/orlo-pxo-sim");
    QVERIFY(!missing.Start());
    QVERIFY(missing.ErrorString().contains("no simulator program"));
}

QTEST_GUILESS_MAIN(TestSimServers)
#include "tst_SimServers.moc"
