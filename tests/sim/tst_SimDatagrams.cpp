// The simulator's datagrams against the lobby's own codecs: what it sends is read back by
// the lobby's decoders, what the lobby sends is read by the simulator without a deviation,
// and requests that stray from their layout are noted.

#include "pxo/TrackerPackets.h"
#include "servers/GameQueries.h"
#include "servers/ServerReplies.h"
#include "sim/ServerDatagrams.h"
#include "sim/TrackerDatagrams.h"

#include <QHostAddress>
#include <QTest>

using namespace TrackerPackets;
using TrackerDatagrams::TListEntry;

namespace {
QByteArray With(QByteArray bytes, int at, const QByteArray &patch)
{
    return bytes.replace(at, patch.size(), patch);
}

// What the simulator reads in a request: its kind and fields, and its deviations.
struct TRead
{
    QString fields;
    QStringList deviations;
};

TRead Read(const QByteArray &d)
{
    using TK = TrackerDatagrams::TKind;
    using SK = ServerDatagrams::TKind;
    const SK server = ServerDatagrams::Classify(d);
    switch (TrackerDatagrams::Classify(d)) {
    case TK::LoginRequest: {
        const auto r = TrackerDatagrams::DecodeLoginRequest(d);
        return {"login " + r.name + '|' + r.password, r.deviations};
    }
    case TK::StatsRequest: {
        const auto r = TrackerDatagrams::DecodeStatsRequest(d);
        return {"stats " + r.displayName + '|' + r.trackerId, r.deviations};
    }
    case TK::UserAck: {
        const auto r = TrackerDatagrams::DecodeUserAck(d);
        return {QStringLiteral("ack %1 %2").arg(int(r.forReply)).arg(r.value), r.deviations};
    }
    case TK::ListRequest: {
        const auto r = TrackerDatagrams::DecodeListRequest(d);
        return {"list " + r.channel, r.deviations};
    }
    case TK::ListAck: {
        const auto r = TrackerDatagrams::DecodeListAck(d);
        return {QStringLiteral("list ack %1").arg(r.value), r.deviations};
    }
    case TK::Unknown:
        break;
    }
    if (server == SK::GameInfo) {
        const auto r = ServerDatagrams::DecodeGameInfoRequest(d);
        return {QStringLiteral("game info %1 %2").arg(r.sequence).arg(r.version), r.deviations};
    }
    const char *names[] = {"unknown", "", "player list", "level", "status"};
    return {names[int(server)], server == SK::Unknown ? QStringList() : ServerDatagrams::CheckShortRequest(d, server)};
}
} // namespace

class TestSimDatagrams : public QObject
{
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void trackerReplies();
    void serverReplies();
};

void TestSimDatagrams::requests_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("deviation"); // empty: none expected
    const auto row = [](const char *name, const QByteArray &datagram, const QString &fields,
                        const QString &deviation = {}) { QTest::newRow(name) << datagram << fields << deviation; };
    const QByteArray login = LoginRequest("bob", "pw");
    const QByteArray ack = Acknowledgement(AckKind::Login, 0x12345678);
    row("login", login, "login bob|pw");
    row("login, fields full", LoginRequest(QByteArray(33, 'N'), QByteArray(27, 'P')),
        "login " + QString(33, 'N') + '|' + QString(27, 'P'));
    row("name field not cleared", With(login, 22, "old"), "login bob|pw", "name: bytes after the text");
    row("constant wrong", With(login, 15, "\x08"), "login bob|pw", "constant: byte 15");
    row("login cut short", login.left(40), "login bob|", "length 40, expected 78");
    row("stats", StatsRequest("Pilot", "0123456789"), "stats Pilot|0123456789");
    row("login ack", ack, "ack 0 305419896");
    row("stats ack", Acknowledgement(AckKind::Stats, 0x80000001), "ack 1 2147483649");
    row("ack of no kind", With(ack, 17, "\x55"), "ack 2 305419896", "last byte 0x55");
    row("list", GameListRequest(), "list #autoselect");
    row("shorter list request of another tool", With(GameListRequest().left(30), 1, "\x24") + QByteArray("global", 7),
        "list global", "length 37, expected 42");
    row("channel not ended", GameListRequest().chopped(1), "list #autoselect", "not ended by a zero");
    row("list ack", GameListAcknowledgement(0xAABBCCDD), "list ack 2864434397");
    row("game info", GameQueries::GameInfoRequest(7, GameQueries::VersionCode14), "game info 7 606814");
    row("12-byte game info of another tool", QByteArray::fromHex("01290b001b2ff44109000000"), "game info 12059 606708",
        "length 12, expected 18");
    row("player list", GameQueries::PlayerListRequest(), "player list");
    row("player list, a byte too many", GameQueries::PlayerListRequest() + '\0', "player list", "length 5, expected 4");
    row("level", GameQueries::LevelInfoRequest(), "level");
    row("status", GameQueries::StatusRequest(), "status");
    row("status without its zero", GameQueries::StatusRequest().chopped(1), "status", "length 8, expected 9");
    row("empty", QByteArray(), "unknown");
    row("one byte", "\x04", "unknown");
    row("status cut short", "\\statu", "unknown");
    row("a login reply", TrackerDatagrams::EncodeLoginAccepted(1, "x"), "unknown");
    row("a list reply", TrackerDatagrams::EncodeListReply(1, {}), "unknown");
    row("a game info reply", ServerDatagrams::EncodeGameInfoReply({}, 1), "unknown");
}

void TestSimDatagrams::requests()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, fields);
    QFETCH(QString, deviation);
    const TRead read = Read(datagram);
    QCOMPARE(read.fields, fields);
    const QString deviations = read.deviations.join("; ");
    QVERIFY2(deviation.isEmpty() ? deviations.isEmpty() : deviations.contains(deviation), qPrintable(deviations));
}

void TestSimDatagrams::trackerReplies()
{
    for (const auto &[id, read] : {std::pair<QByteArray, QByteArray>{"ABCDEFGHIJ", "ABCDEFGHIJ"},
                                   {"AB", "AB"},
                                   {"ABCDEFGHIJKL", "ABCDEFGHIJ"},
                                   {"12345\r6789", "12345\r6789"}}) {
        const QByteArray bytes = TrackerDatagrams::EncodeLoginAccepted(0x12345678, id);
        QCOMPARE(bytes.size(), 28);
        QCOMPARE(DispatchKey(bytes), quint16(LoginAcceptedReply));
        QCOMPARE(DecodeLoginAccepted(bytes).ackValue, 0x12345678u);
        QCOMPARE(DecodeLoginAccepted(bytes).trackerId, read);
    }
    QCOMPARE(DispatchKey(TrackerDatagrams::EncodeLoginRetry()), quint16(LoginRetryReply));

    // A name that fills the field still leaves the zero that ends it before the rating.
    for (const QByteArray &name : {QByteArray("Pilot"), QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY")}) {
        const QByteArray bytes =
            TrackerDatagrams::EncodeStatsReply(0x01020304, {name, 0xFFFF, 30, 0xFFFFFFFF, 1, 3600});
        QCOMPARE(bytes.size(), 68);
        QCOMPARE(DispatchKey(bytes), quint16(StatsReply));
        const TStatsReply stats = DecodeStatsReply(bytes);
        QCOMPARE(stats.ackValue, 0x01020304u);
        QCOMPARE(stats.displayName, name.left(21));
        QCOMPARE(QList<quint32>({stats.rating, stats.kills, stats.deaths, stats.suicides, stats.seconds}),
                 QList<quint32>({0xFFFF, 30, 0xFFFFFFFF, 1, 3600}));
    }

    QList<TListEntry> entries;
    for (quint32 i = 0; i < 200; ++i)
        entries.append({0x7F4D0000 + i * 0x10101, quint16(1000 + i * 317), QByteArray(40, 'n')});
    // 20 entries make the 791 bytes a client reads as 20 servers; one more than 106 would
    // pass what a client reads of a datagram, so the reply stops there.
    for (const int count : {0, 1, 20, 106, 200}) {
        const QByteArray bytes = TrackerDatagrams::EncodeListReply(0xAABBCCDD, entries.mid(0, count));
        const int listed = std::min(count, 106);
        QCOMPARE(bytes.size(), 31 + 38 * listed);
        QVERIFY(bytes.size() <= 4096);
        QCOMPARE(DispatchKey(bytes), quint16(GameListReply));
        const TGameListReply reply = DecodeGameListReply(bytes);
        QCOMPARE(reply.ackValue, 0xAABBCCDDu);
        QCOMPARE(reply.entries.size(), listed);
        for (int i = 0; i < listed; ++i) {
            QCOMPARE(reply.entries[i].ip, QHostAddress(entries[i].ipv4).toString());
            QCOMPARE(reply.entries[i].port, entries[i].port);
        }
    }
}

void TestSimDatagrams::serverReplies()
{
    using namespace ServerReplies;
    ServerDatagrams::TGameInfo info{"Ab", "c.mn3", "", "CTF", 2, 3, 8, 4, true, 3};
    QByteArray bytes = ServerDatagrams::EncodeGameInfoReply(info, 0x0102);
    QCOMPARE(Classify(bytes), TKind::GameInfo);
    TGameInfo read = DecodeGameInfo(bytes);
    QCOMPARE(QStringList({read.Name, read.Level, read.Description, read.GameType}),
             QStringList({"Ab", "c.mn3", "", "CTF"}));
    QCOMPARE(QList<int>({read.LevelNumber, read.Players, read.MaxPlayers, read.Sequence}),
             QList<int>({2, 3, 8, 0x0102}));
    QCOMPARE(read.Mode, ModeName(4) + " d");
    QCOMPARE(read.Difficulty, DifficultyName(3));
    // Texts past 254 characters are cut; the next text and the numbers stay in place.
    info = {QByteArray(300, 'x'), "l", "d", "g", 1, 0, 2, 1, false, 0};
    read = DecodeGameInfo(ServerDatagrams::EncodeGameInfoReply(info, 9));
    QCOMPARE(read.Name, QString(254, 'x'));
    QCOMPARE(read.Level, QStringLiteral("l"));
    QCOMPARE(read.MaxPlayers, quint16(2));
    QVERIFY(!read.Dedicated);

    bytes = ServerDatagrams::EncodePlayerListReply({"Ace", "", "Bo"});
    QCOMPARE(Classify(bytes), TKind::PlayerList);
    QCOMPARE(DecodePlayerList(bytes), QStringList({"Ace", "Bo"}));
    QCOMPARE(DecodePlayerList(ServerDatagrams::EncodePlayerListReply({})), QStringList());

    bytes = ServerDatagrams::EncodeLevelReply({"   ", "http://h/x.mn3"});
    QCOMPARE(Classify(bytes), TKind::LevelAddress);
    QCOMPARE(DecodeLevelAddress(bytes), QStringLiteral("http://h/x.mn3"));
    QCOMPARE(DecodeLevelAddress(ServerDatagrams::EncodeLevelReply({})), QString());

    ServerDatagrams::TStatus status;
    status.gameVersion = "1.4";
    status.brightShips = '1';
    status.randPowerup = '1';
    status.players = {{"Ace", 5, 2, 1, 50}, {"B\\o", 0, 0, 0, 7}};
    QCOMPARE(DecodeStatus(ServerDatagrams::EncodeStatusReply(status)),
             QString("\\gamever\\1.4\\brightships\\1\\acccollisions\\0\\randpowerup\\1"
                     "\\player_0\\Ace\\frags_0\\5\\deaths_0\\2\\team_0\\1\\ping_0\\50"
                     "\\player_1\\B_o\\frags_1\\0\\deaths_1\\0\\team_1\\0\\ping_1\\7"));
    status.players.clear();
    status.extra = {{"hostname", "H"}};
    status.trailer = "\\final\\";
    QCOMPARE(DecodeStatus(ServerDatagrams::EncodeStatusReply(status)),
             QString("\\hostname\\H\\gamever\\1.4\\brightships\\1\\acccollisions\\0\\randpowerup\\1\\final\\"));
}

QTEST_GUILESS_MAIN(TestSimDatagrams)
#include "tst_SimDatagrams.moc"
