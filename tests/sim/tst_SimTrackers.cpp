// The running simulator's trackers over loopback: logins, statistics, game lists and the
// acknowledgements of each.

#include "SimTestPeer.h"
#include "demo/SimProcess.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace SimTest;

class TestSimTrackers : public QObject
{
    Q_OBJECT
private slots:
    void loginRepliesAndAcknowledgements();
    void ignoredAndSilentLogins();
    void statsReply();
    void gameListInChunks();
    void gameListAtTheDatagramLimit();
    void emptyGameList();

private:
    static bool Started(TSimProcess &sim, const QStringList &arguments)
    {
        if (sim.Start(arguments))
            return true;
        qWarning("%s", qPrintable(sim.ErrorString()));
        return false;
    }
};

void TestSimTrackers::loginRepliesAndAcknowledgements()
{
    const QByteArray longPassword = "abcdefghijklmnopqrstuvwxyz0123"; // 30 bytes, 27 go out
    TSimProcess sim;
    QVERIFY(Started(sim, {"--login", "bob:secret=ABCDEFGHIJ", "--login", "carol:" + longPassword, "--events"}));
    const QString host = sim.UserTrackerAddress();
    const quint16 port = sim.UserTrackerPort();
    TPeer peer;

    QByteArray reply = peer.Ask(LoginRequest("bob", "wrong"), host, port);
    QCOMPARE(HexDump(reply.left(2)), QString("04 0e"));

    reply = peer.Ask(LoginRequest("bob", "secret"), host, port);
    QCOMPARE(reply.size(), 28);
    QCOMPARE(HexDump(reply.left(2)), QString("04 0f"));
    QCOMPARE(reply.mid(18, 10), QByteArray("ABCDEFGHIJ"));
    const quint32 bobAck = U32(reply, 10);

    peer.Send(UserAck(bobAck, 0x98), host, port);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("acks", "login"), 1, 5000);
    peer.Send(UserAck(bobAck, 0x98), host, port); // a value is acknowledged once
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("acks", "unmatched"), 1, 5000);

    // The password as a client cuts it to its 27-byte field is the password; one byte less is not.
    reply = peer.Ask(LoginRequest("carol", longPassword.left(26)), host, port);
    QCOMPARE(HexDump(reply.left(2)), QString("04 0e"));
    reply = peer.Ask(LoginRequest("carol", longPassword), host, port);
    QCOMPARE(HexDump(reply.left(2)), QString("04 0f"));
    QVERIFY(sim.WaitForEvent([&](const QJsonObject &e) {
        return e.value("kind") == "login" && e.value("password").toString().toLatin1() == longPassword.left(27);
    }));
    // A stats mark on a login reply's value is the wrong acknowledgement.
    peer.Send(UserAck(U32(reply, 10), 0x00), host, port);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("acks", "wrongKind"), 1, 5000);

    const QJsonObject stats = sim.Stats();
    QCOMPARE(stats.value("requests").toObject().value("login").toInt(), 4);
    QCOMPARE(stats.value("replies").toObject().value("loginRetry").toInt(), 2);
    QCOMPARE(stats.value("replies").toObject().value("loginAccepted").toInt(), 2);
    QCOMPARE(stats.value("deviations").toObject().value("login").toInt(), 0);
    QCOMPARE(stats.value("deviations").toObject().value("userAck").toInt(), 0);
    QCOMPARE(sim.Stop(), 0);
}

void TestSimTrackers::ignoredAndSilentLogins()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--ignore-logins", "2", "--seed", "7"}));
    const QString host = sim.UserTrackerAddress();
    const quint16 port = sim.UserTrackerPort();
    TPeer peer;

    for (int i = 1; i <= 2; ++i) {
        peer.Send(LoginRequest("anyone", "x"), host, port);
        QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("requests", "login"), i, 5000);
        QVERIFY2(!peer.HasPending(), "an ignored login was answered");
    }
    // Without --login every login is accepted, with a ten-digit id from the seed.
    QByteArray reply = peer.Ask(LoginRequest("anyone", "x"), host, port);
    QCOMPARE(HexDump(reply.left(2)), QString("04 0f"));
    const QByteArray id = reply.mid(18, 10);
    QVERIFY2(QRegularExpression("^[0-9]{10}$").match(QString::fromLatin1(id)).hasMatch(), id.constData());
    QCOMPARE(peer.Ask(LoginRequest("anyone", "y"), host, port).mid(18, 10), id);

    QCOMPARE(sim.Command("tracker-silent 1").value("reply").toString(), QString("ok"));
    peer.Send(LoginRequest("anyone", "x"), host, port);
    peer.Send(StatsRequest("anyone", id), host, port);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("requests", "stats"), 1, 5000);
    QVERIFY(!peer.HasPending());
    QCOMPARE(sim.Counter("ignored", "login"), 3);
    QCOMPARE(sim.Counter("ignored", "stats"), 1);

    QCOMPARE(sim.Command("tracker-silent 0").value("reply").toString(), QString("ok"));
    QCOMPARE(sim.Command("ignore-logins 1").value("reply").toString(), QString("ok"));
    peer.Send(LoginRequest("anyone", "x"), host, port);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("ignored", "login"), 4, 5000);
    QVERIFY(!peer.HasPending());
    QCOMPARE(HexDump(peer.Ask(LoginRequest("anyone", "x"), host, port).left(2)), QString("04 0f"));
}

void TestSimTrackers::statsReply()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {}));
    QCOMPARE(sim.Command("set-stats 750 30 10 0 3600 Pilot One").value("reply").toString(), QString("ok"));
    QCOMPARE(sim.Command("set-stats 750 30 10").value("reply").toString(), QString("error"));
    const QString host = sim.UserTrackerAddress();
    const quint16 port = sim.UserTrackerPort();
    TPeer peer;

    QByteArray reply = peer.Ask(StatsRequest("Pilot One", "0123456789"), host, port);
    QCOMPARE(reply.size(), 68);
    QCOMPARE(HexDump(reply.left(2)), QString("04 08"));
    QCOMPARE(reply.mid(28, 10), QByteArray("Pilot One\0", 10));
    QCOMPARE(U16(reply, 50), quint16(750));
    QCOMPARE(U32(reply, 52), 30u);
    QCOMPARE(U32(reply, 56), 10u);
    QCOMPARE(U32(reply, 60), 0u);
    QCOMPARE(U32(reply, 64), 3600u);
    peer.Send(UserAck(U32(reply, 10), 0x00), host, port);
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("acks", "stats"), 1, 5000);

    // A name the tracker was not told about still gets a reply for that name.
    const QByteArray longName = "ABCDEFGHIJKLMNOPQRSTUVW"; // cut to the request's 20 bytes
    reply = peer.Ask(StatsRequest(longName, "1"), host, port);
    QCOMPARE(reply.mid(28, 21), longName.left(20) + '\0');
    QCOMPARE(sim.Counter("deviations", "stats"), 0);
}

void TestSimTrackers::gameListInChunks()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "23", "--list-chunk", "20", "--game-ack-port", "0"}));
    TPeer peer;
    peer.Send(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    const QByteArray first = peer.Receive().data();
    const QByteArray second = peer.Receive().data();
    QCOMPARE(first.size(), 791);
    QCOMPARE(second.size(), 31 + 38 * 3);
    QCOMPARE(HexDump(first.left(2)), QString("03 17"));

    QSet<QString> listed;
    for (const TListEntry &e : ListEntries(first) + ListEntries(second))
        listed.insert(e.address + ':' + QString::number(e.port));
    QSet<QString> served;
    for (const QJsonValue &s : sim.Servers())
        served.insert(s["address"].toString() + ':' + QString::number(s["gamePort"].toInt()));
    QCOMPARE(listed.size(), 23);
    QCOMPARE(listed, served);

    // Acknowledgements count on the list port and on the extra port a client may send them to.
    const quint16 ackPort = quint16(sim.ReadyInfo().value("gameTracker").toObject().value("ackPort").toInt());
    QVERIFY(ackPort != 0 && ackPort != sim.GameTrackerPort());
    peer.Send(ListAck(U32(first, 26)), sim.GameTrackerAddress(), sim.GameTrackerPort());
    peer.Send(ListAck(U32(second, 26)), sim.GameTrackerAddress(), ackPort);
    peer.Send(ListAck(U32(second, 26) + 1000), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("requests", "gameListAck"), 3, 5000);
    QCOMPARE(sim.Counter("acks", "gameList"), 2);
    QCOMPARE(sim.Counter("acks", "unmatched"), 1);
    QCOMPARE(sim.Counter("deviations", "gameList"), 0);
}

void TestSimTrackers::gameListAtTheDatagramLimit()
{
    TSimProcess sim;
    // Free game ports: each server gets its own, so every entry's port is checked on its own.
    QVERIFY(Started(sim, {"--servers", "300", "--list-chunk", "106", "--game-port", "0"}));
    TPeer peer;
    peer.Send(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QList<int> sizes;
    QSet<QString> listed;
    for (int i = 0; i < 3; ++i) {
        const QByteArray reply = peer.Receive().data();
        sizes.append(int(reply.size()));
        for (const TListEntry &e : ListEntries(reply))
            listed.insert(e.address + ':' + QString::number(e.port));
    }
    QCOMPARE(sizes, (QList<int>{31 + 38 * 106, 31 + 38 * 106, 31 + 38 * 88}));
    QVERIFY(sizes[0] <= 4096);
    QSet<QString> served;
    for (const QJsonValue &s : sim.Servers())
        served.insert(s["address"].toString() + ':' + QString::number(s["gamePort"].toInt()));
    QCOMPARE(listed, served);
}

void TestSimTrackers::emptyGameList()
{
    TSimProcess sim;
    QVERIFY(Started(sim, {"--servers", "0"}));
    TPeer peer;
    const QByteArray reply = peer.Ask(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QCOMPARE(reply.size(), 31); // still something to acknowledge
    peer.Send(ListAck(U32(reply, 26)), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("acks", "gameList"), 1, 5000);

    QCOMPARE(sim.Command("game-tracker-silent 1").value("reply").toString(), QString("ok"));
    peer.Send(ListRequest(), sim.GameTrackerAddress(), sim.GameTrackerPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.Counter("ignored", "gameList"), 1, 5000);
    QVERIFY(!peer.HasPending());
}

QTEST_GUILESS_MAIN(TestSimTrackers)
#include "tst_SimTrackers.moc"
