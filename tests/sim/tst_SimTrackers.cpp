// The running simulator's trackers over loopback, asked and read with the lobby's own
// tracker codecs: logins, statistics, game lists and the acknowledgements of each.

#include "common/UdpPeer.h"
#include "demo/SimProcess.h"
#include "pxo/TrackerPackets.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>

using namespace TrackerPackets;

class TestSimTrackers : public QObject
{
    Q_OBJECT
private slots:
    void loginRepliesAndAcknowledgements();
    void statsIgnoredAndSilentTrackers();
    void gameListAtTheDatagramLimit();
};

void TestSimTrackers::loginRepliesAndAcknowledgements()
{
    const QByteArray longPassword = "abcdefghijklmnopqrstuvwxyz0123"; // 30 bytes, 27 go out
    TSimProcess sim;
    QVERIFY(sim.Start({"--login", "bob:secret=ABCDEFGHIJ", "--login", "carol:" + longPassword, "--events"}));
    const QString host = sim.UserTrackerAddress();
    const quint16 port = sim.UserTrackerPort();
    TUdpPeer peer;

    QCOMPARE(DispatchKey(peer.Ask(LoginRequest("bob", "wrong"), host, port)), quint16(LoginRetryReply));
    QByteArray reply = peer.Ask(LoginRequest("bob", "secret"), host, port);
    QCOMPARE(DispatchKey(reply), quint16(LoginAcceptedReply));
    QCOMPARE(DecodeLoginAccepted(reply).trackerId, QByteArray("ABCDEFGHIJ"));
    const quint32 bobAck = DecodeLoginAccepted(reply).ackValue;
    peer.Send(Acknowledgement(AckKind::Login, bobAck), host, port);
    QTRY_COMPARE(sim.Counter("acks", "login"), 1);
    peer.Send(Acknowledgement(AckKind::Login, bobAck), host, port); // a value is acknowledged once
    QTRY_COMPARE(sim.Counter("acks", "unmatched"), 1);

    // The password as a client cuts it to its 27-byte field is the password; one byte less is not.
    QCOMPARE(DispatchKey(peer.Ask(LoginRequest("carol", longPassword.left(26)), host, port)), quint16(LoginRetryReply));
    reply = peer.Ask(LoginRequest("carol", longPassword), host, port);
    QCOMPARE(DispatchKey(reply), quint16(LoginAcceptedReply));
    QVERIFY(sim.WaitForEvent([&](const QJsonObject &e) {
        return e.value("kind") == "login" && e.value("password").toString().toLatin1() == longPassword.left(27);
    }));
    // A stats mark on a login reply's value is the wrong acknowledgement.
    peer.Send(Acknowledgement(AckKind::Stats, DecodeLoginAccepted(reply).ackValue), host, port);
    QTRY_COMPARE(sim.Counter("acks", "wrongKind"), 1);

    const QJsonObject stats = sim.Stats();
    QCOMPARE(QList<int>({stats["requests"]["login"].toInt(), stats["replies"]["loginRetry"].toInt(),
                         stats["replies"]["loginAccepted"].toInt(), stats["deviations"]["login"].toInt(),
                         stats["deviations"]["userAck"].toInt()}),
             QList<int>({4, 2, 2, 0, 0}));
}

void TestSimTrackers::statsIgnoredAndSilentTrackers()
{
    TSimProcess sim;
    QVERIFY(sim.Start({"--ignore-logins", "2", "--seed", "7", "--servers", "0"}));
    const QString host = sim.UserTrackerAddress();
    const quint16 port = sim.UserTrackerPort();
    TUdpPeer peer;
    QCOMPARE(sim.Command("set-stats 750 30 10 0 3600 Pilot One")["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command("set-stats 750 30 10")["reply"].toString(), QString("error"));
    const TStatsReply stats = DecodeStatsReply(peer.Ask(StatsRequest("Pilot One", "0123456789"), host, port));
    QCOMPARE(stats.displayName, QByteArray("Pilot One"));
    QCOMPARE(QList<quint32>({stats.rating, stats.kills, stats.deaths, stats.suicides, stats.seconds}),
             QList<quint32>({750, 30, 10, 0, 3600}));
    peer.Send(Acknowledgement(AckKind::Stats, stats.ackValue), host, port);
    QTRY_COMPARE(sim.Counter("acks", "stats"), 1);
    // A name the tracker was not told about still gets a reply for that name, as the request cut it.
    const QByteArray longName = "ABCDEFGHIJKLMNOPQRSTUVW";
    QCOMPARE(DecodeStatsReply(peer.Ask(StatsRequest(longName, "1"), host, port)).displayName, longName.left(20));
    QCOMPARE(sim.Counter("deviations", "stats"), 0);

    for (int i = 1; i <= 2; ++i) {
        peer.Send(LoginRequest("anyone", "x"), host, port);
        QTRY_COMPARE(sim.Counter("requests", "login"), i);
        QVERIFY2(!peer.HasPending(), "an ignored login was answered");
    }
    // Without --login every login is accepted, with a ten-digit id from the seed.
    const QByteArray id = DecodeLoginAccepted(peer.Ask(LoginRequest("anyone", "x"), host, port)).trackerId;
    QVERIFY2(QRegularExpression("^[0-9]{10}$").match(QString::fromLatin1(id)).hasMatch(), id.constData());
    QCOMPARE(DecodeLoginAccepted(peer.Ask(LoginRequest("anyone", "y"), host, port)).trackerId, id);

    QCOMPARE(sim.Command("tracker-silent 1")["reply"].toString(), QString("ok"));
    peer.Send(LoginRequest("anyone", "x"), host, port);
    peer.Send(StatsRequest("anyone", id), host, port);
    QTRY_COMPARE(sim.Counter("requests", "stats"), 3);
    QVERIFY(!peer.HasPending());
    QCOMPARE(sim.Counter("ignored", "login"), 3);
    QCOMPARE(sim.Counter("ignored", "stats"), 1);
    QCOMPARE(sim.Command("tracker-silent 0")["reply"].toString(), QString("ok"));
    QCOMPARE(sim.Command("ignore-logins 1")["reply"].toString(), QString("ok"));
    peer.Send(LoginRequest("anyone", "x"), host, port);
    QTRY_COMPARE(sim.Counter("ignored", "login"), 4);
    QVERIFY(!peer.HasPending());
    QCOMPARE(DispatchKey(peer.Ask(LoginRequest("anyone", "x"), host, port)), quint16(LoginAcceptedReply));

    // An empty game list still has a value to acknowledge; a silent game tracker says nothing.
    const QByteArray empty = peer.Ask(GameListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QCOMPARE(empty.size(), 31);
    peer.Send(GameListAcknowledgement(DecodeGameListReply(empty).ackValue), sim.GameTrackerAddress(),
              sim.GameTrackerPort());
    QTRY_COMPARE(sim.Counter("acks", "gameList"), 1);
    QCOMPARE(sim.Command("game-tracker-silent 1")["reply"].toString(), QString("ok"));
    peer.Send(GameListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QTRY_COMPARE(sim.Counter("ignored", "gameList"), 1);
    QVERIFY(!peer.HasPending());
}

void TestSimTrackers::gameListAtTheDatagramLimit()
{
    TSimProcess sim;
    // Free game ports: each server gets its own, so every entry's port is checked on its own.
    QVERIFY(sim.Start({"--servers", "300", "--list-chunk", "106", "--game-port", "0", "--game-ack-port", "0"}));
    TUdpPeer peer;
    peer.Send(GameListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QList<int> sizes;
    QList<quint32> acks;
    QSet<QString> listed;
    for (int i = 0; i < 3; ++i) {
        const QByteArray reply = peer.Receive().data();
        QCOMPARE(DispatchKey(reply), quint16(GameListReply));
        sizes.append(int(reply.size()));
        acks.append(DecodeGameListReply(reply).ackValue);
        for (const TGameListEntry &e : DecodeGameListReply(reply).entries)
            listed.insert(e.ip + ':' + QString::number(e.port));
    }
    QCOMPARE(sizes, (QList<int>{31 + 38 * 106, 31 + 38 * 106, 31 + 38 * 88}));
    QSet<QString> served;
    for (const QJsonValue &s : sim.Servers())
        served.insert(s["address"].toString() + ':' + QString::number(s["gamePort"].toInt()));
    QCOMPARE(listed, served);

    // Acknowledgements count on the list port and on the extra port a client may send them to.
    const quint16 ackPort = quint16(QJsonValue(sim.ReadyInfo()["gameTracker"])["ackPort"].toInt());
    QVERIFY(ackPort != 0 && ackPort != sim.GameTrackerPort());
    peer.Send(GameListAcknowledgement(acks[0]), sim.GameTrackerAddress(), sim.GameTrackerPort());
    peer.Send(GameListAcknowledgement(acks[1]), sim.GameTrackerAddress(), ackPort);
    peer.Send(GameListAcknowledgement(acks[2] + 1000), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QTRY_COMPARE(sim.Counter("requests", "gameListAck"), 3);
    QCOMPARE(sim.Counter("acks", "gameList"), 2);
    QCOMPARE(sim.Counter("acks", "unmatched"), 1);
    QCOMPARE(sim.Counter("deviations", "gameList"), 0);
}

QTEST_GUILESS_MAIN(TestSimTrackers)
#include "tst_SimTrackers.moc"
