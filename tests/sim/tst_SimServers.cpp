// The running simulator's game servers over loopback, asked and read with the lobby's own
// query codecs; its control commands, and how it starts and stops.

#include "common/UdpPeer.h"
#include "demo/SimProcess.h"
#include "pxo/TrackerPackets.h"
#include "servers/GameQueries.h"
#include "servers/ServerReplies.h"

#include <QElapsedTimer>
#include <QJsonArray>

using namespace GameQueries;
using namespace ServerReplies;

namespace {
QStringList Names(const QJsonObject &server)
{
    return server["playerNames"].toVariant().toStringList();
}

// One server of the simulator, asked by a peer of the test's own.
struct TAsk
{
    TUdpPeer &peer;
    QJsonObject server;
    QString Address() const { return server["address"].toString(); }
    void Send(const QByteArray &request) const { peer.Send(request, Address(), quint16(server["gamePort"].toInt())); }
    QByteArray operator()(const QByteArray &request) const
    {
        Send(request);
        return peer.Receive().data();
    }
    TGameInfo Info(quint16 sequence = 1) const { return DecodeGameInfo((*this)(GameInfoRequest(sequence, 606814))); }
    QStringList Players() const { return DecodePlayerList((*this)(PlayerListRequest())); }
};
} // namespace

class TestSimServers : public QObject
{
    Q_OBJECT
private slots:
    void repliesMatchWhatIsServed();
    void silentSlowFullAndOnceServers();
    void commandsChangeWhatIsServed();
    void startsAndStops();
};

void TestSimServers::repliesMatchWhatIsServed()
{
    TSimProcess sim;
    QVERIFY2(sim.Start({"--servers", "2", "--seed", "11", "--level-url", "http://127.0.0.1:8080/levels"}),
             qPrintable(sim.ErrorString()));
    TUdpPeer peer;
    for (int index = 0; index < 2; ++index) {
        const TAsk ask{peer, sim.Server(index)};
        const QJsonObject &s = ask.server;
        const TGameInfo g = ask.Info(quint16(7 + index));
        QCOMPARE(QStringList({g.Name, g.Level, g.Description, g.GameType}),
                 QStringList({s["name"].toString(), s["level"].toString(), s["description"].toString(),
                              s["gameType"].toString()}));
        QCOMPARE(QList<int>({g.LevelNumber, g.Players, g.MaxPlayers, g.Sequence}),
                 QList<int>({s["levelNumber"].toInt(), s["players"].toInt(), s["maxPlayers"].toInt(), 7 + index}));
        QCOMPARE(g.Mode, ModeName(quint8(s["mode"].toInt())) + (s["dedicated"].toBool() ? " d" : ""));
        QCOMPARE(g.Difficulty, DifficultyName(quint8(s["difficulty"].toInt())));
        QCOMPARE(ask.Players(), Names(s));
        QCOMPARE(DecodeLevelAddress(ask(LevelInfoRequest())), "http://127.0.0.1:8080/levels/" + g.Level);

        // The status comes from the query port, as clients match it.
        peer.Send(StatusRequest(), ask.Address(), StatusPort);
        const QNetworkDatagram status = peer.Receive();
        QCOMPARE(status.senderPort(), int(StatusPort));
        QCOMPARE(status.senderAddress(), QHostAddress(ask.Address()));
        const QStringList fields = DecodeStatus(status.data()).split('\\');
        QCOMPARE(fields.value(fields.indexOf("gamever") + 1), s["gameVersion"].toString());
        for (int i = 0; i < Names(s).size(); ++i)
            QCOMPARE(fields.value(fields.indexOf(QStringLiteral("player_%1").arg(i)) + 1), Names(s)[i]);
        QVERIFY(fields.contains("brightships") && fields.contains("acccollisions") && fields.contains("randpowerup"));
    }
    // A status request on the game port is not one of its requests.
    TAsk{peer, sim.Server(0)}.Send(StatusRequest());
    QTRY_COMPARE(sim.ServerCounter(0, "requests", "unknown"), 1);
    QVERIFY(!peer.HasPending());
    const QJsonObject deviations = sim.Stats()["deviations"].toObject();
    for (auto it = deviations.begin(); it != deviations.end(); ++it)
        QVERIFY2(it.value().toInt() == 0, qPrintable(it.key()));
}

void TestSimServers::silentSlowFullAndOnceServers()
{
    TSimProcess sim;
    QVERIFY(sim.Start({"--servers", "5", "--silent", "1", "--slow", "2", "--slow-ms", "400", "--full", "3", "--once",
                       "4", "--no-level", "0", "--level-url", "http://h/l"}));
    TUdpPeer peer;
    const TAsk none{peer, sim.Server(0)}, silent{peer, sim.Server(1)}, slow{peer, sim.Server(2)},
        full{peer, sim.Server(3)}, once{peer, sim.Server(4)};
    silent.Send(GameInfoRequest(1, 606814));
    peer.Send(StatusRequest(), silent.Address(), StatusPort);
    QTRY_COMPARE(sim.ServerCounter(1, "requests", "status"), 1);
    QCOMPARE(sim.ServerCounter(1, "requests", "gameInfo"), 1);
    QVERIFY2(!peer.HasPending(), "a silent server answered");

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!slow(GameInfoRequest(2, 606814)).isEmpty());
    QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));

    const TGameInfo g = full.Info();
    QCOMPARE(g.Players, g.MaxPlayers);
    QCOMPARE(full.Players().size(), int(g.MaxPlayers));

    QVERIFY(!once(GameInfoRequest(4, 606814)).isEmpty());
    QVERIFY(!once(PlayerListRequest()).isEmpty()); // once per kind
    once.Send(GameInfoRequest(5, 606814));
    QTRY_COMPARE(sim.ServerCounter(4, "requests", "gameInfo"), 2);
    QVERIFY2(!peer.HasPending(), "a server that answers once answered twice");

    const QByteArray noLevel = none(LevelInfoRequest());
    QCOMPARE(Classify(noLevel), TKind::LevelAddress);
    QCOMPARE(DecodeLevelAddress(noLevel), QString());

    // Knobs change at run time.
    QCOMPARE(sim.Command("set-silent 1 0")["reply"].toString(), QString("ok"));
    QVERIFY(!silent(GameInfoRequest(6, 606814)).isEmpty());
    QCOMPARE(sim.Command("set-silent 0 1")["reply"].toString(), QString("ok"));
    none.Send(GameInfoRequest(7, 606814));
    QTRY_COMPARE(sim.ServerCounter(0, "requests", "gameInfo"), 1);
    QVERIFY(!peer.HasPending());
}

void TestSimServers::commandsChangeWhatIsServed()
{
    TSimProcess sim;
    QVERIFY(sim.Start({"--servers", "3"}));
    TUdpPeer peer;
    const TAsk ask{peer, sim.Server(0)};
    // The replies to Commands, sent one after the other.
    const auto reply = [&sim](const QStringList &commands) {
        QStringList replies;
        for (const QString &command : commands)
            replies << sim.Command(command)["reply"].toString();
        return replies.join(' ');
    };
    const QJsonObject two = sim.Command("set-players 0 2")["server"].toObject();
    QCOMPARE(ask.Players(), Names(two));
    // Players grow from the same names, up to the most the server takes.
    const QJsonObject three = sim.Command("set-players 0 3")["server"].toObject();
    QCOMPARE(Names(three).mid(0, 2), Names(two));
    const int max = three["maxPlayers"].toInt();
    QCOMPARE(reply({QStringLiteral("set-players 0 %1").arg(max), QStringLiteral("set-players 0 %1").arg(max + 1),
                    QStringLiteral("set-max 0 %1").arg(max - 1), "set-players 0 0", "set-max 0 1",
                    "set-level 0 city.mn3", "set-name 0   Two  Words  "}),
             QString("ok error error ok ok ok ok"));
    const TGameInfo g = ask.Info();
    QCOMPARE(QStringList({g.Name, g.Level, QString::number(g.MaxPlayers)}),
             QStringList({"Two  Words", "city.mn3", "1"}));
    QCOMPARE(ask.Players(), QStringList());
    QCOMPARE(reply({"set-name 0 " + QString(255, 'n'), "set-name 0 " + QString(254, 'n'), "set-players 9 1",
                    "launch rockets"}),
             QString("error ok error error"));
    // A command line past what the control channel takes is refused whole, and it carries on.
    const QJsonObject overlong = sim.Command("set-name 0 " + QString(70000, 'x'));
    QVERIFY(overlong["message"].toString().contains("too long"));
    QCOMPARE(sim.Command("servers")["servers"][0]["name"].toString(), QString(254, 'n'));

    // A removed server leaves the list; an added one takes the address after the last one
    // handed out, and server 0 serves what it did: a server depends on the seed and its index.
    const auto listed = [&] {
        QStringList addresses;
        const QByteArray list =
            peer.Ask(TrackerPackets::GameListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
        for (const TrackerPackets::TGameListEntry &entry : TrackerPackets::DecodeGameListReply(list).entries)
            addresses << entry.ip;
        return addresses;
    };
    QCOMPARE(reply({"remove 1", "remove 1"}), QString("ok error"));
    QCOMPARE(listed(), QStringList({sim.Server(0)["address"].toString(), sim.Server(2)["address"].toString()}));
    const QJsonObject added = sim.Command("add 1")["servers"][0].toObject();
    QCOMPARE(added["index"].toInt(), 3);
    QCOMPARE(QHostAddress(added["address"].toString()).toIPv4Address(),
             QHostAddress(sim.Server(0)["address"].toString()).toIPv4Address() + 3);
    QCOMPARE((TAsk{peer, added}.Info().Name), added["name"].toString());
    QCOMPARE(listed().size(), 3);
    QCOMPARE(sim.Command("servers")["servers"][1].toObject(), sim.Server(2));
}

void TestSimServers::startsAndStops()
{
    for (const QString how : {"end of input", "SIGTERM", "quit"}) {
        TSimProcess sim;
        QVERIFY(
            sim.Start(QStringList{"--servers", "1"} + (how == "SIGTERM" ? QStringList{"--no-stdin"} : QStringList())));
        if (how == "quit")
            QCOMPARE(sim.Stop(), 0);
        else
            how == "SIGTERM" ? sim.Terminate() : sim.CloseInput();
        QCOMPARE(sim.WaitForExit(), 0);
    }

    TSimProcess sim;
    QVERIFY(!sim.Start({"--servers", "many"}));
    QVERIFY2(sim.ErrorString().contains("--servers takes a number"), qPrintable(sim.ErrorString()));
    QVERIFY(!sim.Start({"--unheard-of"}));
    QVERIFY2(sim.ErrorString().contains("unheard-of"), qPrintable(sim.ErrorString()));
    // The query port of the second server's address is taken.
    const QString base = TSimProcess::RandomServerBase();
    const QHostAddress second(QHostAddress(base).toIPv4Address() + 1);
    TUdpPeer blocker(second, StatusPort);
    QVERIFY(blocker.IsBound());
    QVERIFY(!sim.Start({"--servers", "2", "--first-server", base}));
    QVERIFY2(sim.ErrorString().contains("cannot bind") && sim.ErrorString().contains(second.toString()),
             qPrintable(sim.ErrorString()));
    QVERIFY(!sim.IsRunning());
    sim.SetProgram("/nonexistent/orlo-pxo-sim");
    QVERIFY(!sim.Start());
    QVERIFY(sim.ErrorString().contains("no simulator program"));
}

QTEST_GUILESS_MAIN(TestSimServers)
#include "tst_SimServers.moc"
