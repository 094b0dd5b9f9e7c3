// The simulator's datagrams against byte tables written by hand from the layouts.

#include "HexBytes.h"
#include "sim/ServerDatagrams.h"
#include "sim/SimCounters.h"
#include "sim/TrackerDatagrams.h"

#include <QTest>

using TrackerDatagrams::TListEntry;
using TrackerDatagrams::TUserStats;

class TestSimDatagrams : public QObject
{
    Q_OBJECT
private slots:
    void loginAccepted_data();
    void loginAccepted();
    void trackerReplies();
    void listReply_data();
    void listReply();
    void listReplyStaysWithinOneDatagram();
    void gameInfoReply();
    void gameInfoTextsAreCut();
    void playerListReply_data();
    void playerListReply();
    void levelReply_data();
    void levelReply();
    void statusReply();
    void classify_data();
    void classify();
    void loginRequest_data();
    void loginRequest();
    void statsRequestAndAcks();
    void listRequestAndAck();
    void serverRequests();
    void ackLedger();
};

void TestSimDatagrams::loginAccepted_data()
{
    QTest::addColumn<QByteArray>("trackerId");
    QTest::addColumn<QString>("expected");
    const QString head = "04 0F 1B 00 z6 78 56 34 12 z4 ";
    QTest::newRow("ten characters") << QByteArray("ABCDEFGHIJ") << head + "'ABCDEFGHIJ'";
    QTest::newRow("short id padded with zeros") << QByteArray("AB") << head + "'AB' z8";
    QTest::newRow("long id cut to ten") << QByteArray("ABCDEFGHIJKL") << head + "'ABCDEFGHIJ'";
    QTest::newRow("control bytes as they stand") << QByteArray("12345\r6789") << head + "'12345' 0D '6789'";
}

void TestSimDatagrams::loginAccepted()
{
    QFETCH(QByteArray, trackerId);
    QFETCH(QString, expected);
    const QByteArray bytes = TrackerDatagrams::EncodeLoginAccepted(0x12345678, trackerId);
    QCOMPARE(HexDump(bytes), HexDump(HexBytes(expected)));
}

void TestSimDatagrams::trackerReplies()
{
    QCOMPARE(HexDump(TrackerDatagrams::EncodeLoginRetry()), HexDump(HexBytes("04 0E 11 00 z14")));

    TUserStats stats{"Pilot", 750, 30, 10, 0, 3600};
    QCOMPARE(
        HexDump(TrackerDatagrams::EncodeStatsReply(0x01020304, stats)),
        HexDump(HexBytes("04 08 43 00 z6 04 03 02 01 z14 'Pilot' z17 EE 02 1E 00 00 00 0A 00 00 00 z4 10 0E 00 00")));

    // A name that fills the field still leaves the zero that ends it before the rating.
    stats = {"ABCDEFGHIJKLMNOPQRSTUVWXY", 0xFFFF, 0xFFFFFFFF, 1, 2, 0x80000000};
    QCOMPARE(HexDump(TrackerDatagrams::EncodeStatsReply(0, stats)),
             HexDump(HexBytes("04 08 43 00 z24 'ABCDEFGHIJKLMNOPQRSTU' 00 FF FF FF FF FF FF 01 00 00 00 02 00 00 00 "
                              "00 00 00 80")));
}

void TestSimDatagrams::listReply_data()
{
    QTest::addColumn<QList<TListEntry>>("entries");
    QTest::addColumn<QString>("expected");
    const QString head = "03 17 z24 DD CC BB AA 00 ";
    QTest::newRow("no entry") << QList<TListEntry>{} << head;
    QTest::newRow("one entry") << QList<TListEntry>{{0x7F000001, 2092, "S1"}} << head + "'S1' z30 7F 00 00 01 08 2C";
    QTest::newRow("ports big-endian") << QList<TListEntry>{{0x7F4D0001, 2092, "A"}, {0x7F4D0002, 28000, "B"}}
                                      << head + "'A' z31 'B' z31 7F 4D 00 01 7F 4D 00 02 08 2C 6D 60";
    QTest::newRow("long name keeps a zero") << QList<TListEntry>{{0x7F000001, 1, QByteArray(40, 'n')}}
                                            << head + "'" + QString(31, 'n') + "' 00 7F 00 00 01 00 01";
}

void TestSimDatagrams::listReply()
{
    QFETCH(QList<TListEntry>, entries);
    QFETCH(QString, expected);
    QCOMPARE(HexDump(TrackerDatagrams::EncodeListReply(0xAABBCCDD, entries)), HexDump(HexBytes(expected)));
}

void TestSimDatagrams::listReplyStaysWithinOneDatagram()
{
    QList<TListEntry> entries;
    for (quint32 i = 0; i < 200; ++i)
        entries.append({0x7F000000 + i, quint16(1000 + i), "x"});
    // 20 entries make the 791 bytes a client reads as 20 servers.
    QCOMPARE(TrackerDatagrams::EncodeListReply(1, entries.mid(0, 20)).size(), 791);
    const QByteArray full = TrackerDatagrams::EncodeListReply(1, entries.mid(0, 106));
    QCOMPARE(full.size(), 31 + 38 * 106);
    QVERIFY(full.size() <= 4096);
    // One more would pass what a client reads: the reply stops at 106.
    QCOMPARE(TrackerDatagrams::EncodeListReply(1, entries).size(), full.size());
    QCOMPARE(HexDump(full.right(2)), QString("04 51")); // port of entry 105: 1105
}

void TestSimDatagrams::gameInfoReply()
{
    ServerDatagrams::TGameInfo info;
    info.name = "Ab";
    info.level = "c.mn3";
    info.gameType = "CTF";
    info.levelNumber = 2;
    info.players = 3;
    info.maxPlayers = 8;
    info.mode = 4;
    info.dedicated = true;
    info.difficulty = 3;
    QCOMPARE(HexDump(ServerDatagrams::EncodeGameInfoReply(info, 0x0102)),
             HexDump(HexBytes("01 1F 35 00 z16 03 'Ab' 00 06 'c.mn3' 00 01 00 04 'CTF' 00 "
                              "02 00 03 00 08 00 02 01 00 00 00 00 04 00 01 03")));
    info.dedicated = false;
    QCOMPARE(quint8(ServerDatagrams::EncodeGameInfoReply(info, 0).at(53 - 1)), quint8(0));
}

void TestSimDatagrams::gameInfoTextsAreCut()
{
    ServerDatagrams::TGameInfo info;
    info.name = QByteArray(300, 'x');
    const QByteArray bytes = ServerDatagrams::EncodeGameInfoReply(info, 9);
    // Length byte 255 = 254 characters and the zero; the next text starts right after.
    QCOMPARE(quint8(bytes[20]), quint8(255));
    QCOMPARE(bytes.mid(21, 254), QByteArray(254, 'x'));
    QCOMPARE(quint8(bytes[275]), quint8(0));
    QCOMPARE(quint8(bytes[276]), quint8(1)); // empty level file
}

void TestSimDatagrams::playerListReply_data()
{
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no player") << QList<QByteArray>{} << "01 73 04 00 00";
    QTest::newRow("two players") << QList<QByteArray>{"Ace", "Bo"} << "01 73 0B 00 'Ace' 00 'Bo' 00 00";
    QTest::newRow("empty name left out") << QList<QByteArray>{"Ace", "", "Bo"} << "01 73 0B 00 'Ace' 00 'Bo' 00 00";
}

void TestSimDatagrams::playerListReply()
{
    QFETCH(QList<QByteArray>, names);
    QFETCH(QString, expected);
    QCOMPARE(HexDump(ServerDatagrams::EncodePlayerListReply(names)), HexDump(HexBytes(expected)));
}

void TestSimDatagrams::levelReply_data()
{
    QTest::addColumn<QList<QByteArray>>("texts");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no address") << QList<QByteArray>{} << "01 61 05 00 00 00";
    QTest::newRow("address") << QList<QByteArray>{"http://h/x.mn3"} << "01 61 13 00 0E 'http://h/x.mn3' 00";
    QTest::newRow("blank text first") << QList<QByteArray>{"   ", "u"} << "01 61 0B 00 03 '   ' 00 01 'u' 00";
}

void TestSimDatagrams::levelReply()
{
    QFETCH(QList<QByteArray>, texts);
    QFETCH(QString, expected);
    QCOMPARE(HexDump(ServerDatagrams::EncodeLevelReply(texts)), HexDump(HexBytes(expected)));
}

void TestSimDatagrams::statusReply()
{
    ServerDatagrams::TStatus status;
    status.gameVersion = "1.4";
    status.brightShips = '1';
    status.randPowerup = '1';
    status.players = {{"Ace", 5, 2, 1, 50}, {"B\\o", 0, 0, 0, 7}};
    QCOMPARE(ServerDatagrams::EncodeStatusReply(status),
             QByteArray("\\gamever\\1.4\\brightships\\1\\acccollisions\\0\\randpowerup\\1"
                        "\\player_0\\Ace\\frags_0\\5\\deaths_0\\2\\team_0\\1\\ping_0\\50"
                        "\\player_1\\B_o\\frags_1\\0\\deaths_1\\0\\team_1\\0\\ping_1\\7"));
    status.players.clear();
    status.extra = {{"hostname", "H"}};
    status.trailer = "\\final\\";
    QCOMPARE(ServerDatagrams::EncodeStatusReply(status),
             QByteArray("\\hostname\\H\\gamever\\1.4\\brightships\\1\\acccollisions\\0\\randpowerup\\1\\final\\"));
}

void TestSimDatagrams::classify_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("tracker");
    QTest::addColumn<int>("server");
    using TK = TrackerDatagrams::TKind;
    using SK = ServerDatagrams::TKind;
    QTest::newRow("empty") << QByteArray() << int(TK::Unknown) << int(SK::Unknown);
    QTest::newRow("one byte") << HexBytes("04") << int(TK::Unknown) << int(SK::Unknown);
    QTest::newRow("login") << HexBytes("04 0D") << int(TK::LoginRequest) << int(SK::Unknown);
    QTest::newRow("stats") << HexBytes("04 07 2F 00") << int(TK::StatsRequest) << int(SK::Unknown);
    QTest::newRow("user ack") << HexBytes("04 00 11 00") << int(TK::UserAck) << int(SK::Unknown);
    QTest::newRow("login reply is no request") << HexBytes("04 0F") << int(TK::Unknown) << int(SK::Unknown);
    QTest::newRow("list request") << HexBytes("03 29 00") << int(TK::ListRequest) << int(SK::Unknown);
    QTest::newRow("other list request") << HexBytes("03 24 00 z19 07 z7 'global' 00") << int(TK::ListRequest)
                                        << int(SK::Unknown);
    QTest::newRow("list ack") << HexBytes("03 1D 00") << int(TK::ListAck) << int(SK::Unknown);
    QTest::newRow("list reply is no request") << HexBytes("03 17 z29") << int(TK::Unknown) << int(SK::Unknown);
    QTest::newRow("game info") << HexBytes("01 29 0B 00") << int(TK::Unknown) << int(SK::GameInfo);
    QTest::newRow("player list") << HexBytes("01 72 03 00") << int(TK::Unknown) << int(SK::PlayerList);
    QTest::newRow("level") << HexBytes("01 60 03 00") << int(TK::Unknown) << int(SK::Level);
    QTest::newRow("status") << QByteArray("\\status\\", 9) << int(TK::Unknown) << int(SK::Status);
    QTest::newRow("status cut short") << QByteArray("\\statu") << int(TK::Unknown) << int(SK::Unknown);
    QTest::newRow("game info reply") << HexBytes("01 1F") << int(TK::Unknown) << int(SK::Unknown);
}

void TestSimDatagrams::classify()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, tracker);
    QFETCH(int, server);
    QCOMPARE(int(TrackerDatagrams::Classify(datagram)), tracker);
    QCOMPARE(int(ServerDatagrams::Classify(datagram)), server);
}

void TestSimDatagrams::loginRequest_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("deviation"); // empty: none expected
    const QString head = "04 0D 4D 00 z10 BB 09 z2 ";
    QTest::newRow("as laid out") << HexBytes(head + "'bob' z30 'pw' z25") << QByteArray("bob") << QByteArray("pw")
                                 << QString();
    QTest::newRow("fields full, no zero") << HexBytes(head + "'" + QString(33, 'N') + "' '" + QString(27, 'P') + "'")
                                          << QByteArray(33, 'N') << QByteArray(27, 'P') << QString();
    QTest::newRow("empty password") << HexBytes(head + "'bob' z30 z27") << QByteArray("bob") << QByteArray()
                                    << QString();
    QTest::newRow("name field not cleared") << HexBytes(head + "'bob' 00 'old' z26 'pw' z25") << QByteArray("bob")
                                            << QByteArray("pw") << "name: bytes after the text";
    QTest::newRow("password field not cleared") << HexBytes(head + "'bob' z30 'pw' 00 'xy' z22") << QByteArray("bob")
                                                << QByteArray("pw") << "password: bytes after the text";
    QTest::newRow("constant wrong") << HexBytes("04 0D 4D 00 z10 BB 08 z2 'bob' z30 z27") << QByteArray("bob")
                                    << QByteArray() << "constant: byte 15";
    QTest::newRow("cut short") << HexBytes(head + "'bob' z19") << QByteArray("bob") << QByteArray()
                               << "length 40, expected 78";
}

void TestSimDatagrams::loginRequest()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, password);
    QFETCH(QString, deviation);
    const TrackerDatagrams::TLoginRequest r = TrackerDatagrams::DecodeLoginRequest(datagram);
    QCOMPARE(r.name, name);
    QCOMPARE(r.password, password);
    if (deviation.isEmpty())
        QVERIFY2(r.deviations.isEmpty(), qPrintable(r.deviations.join("; ")));
    else
        QVERIFY2(r.deviations.join("; ").contains(deviation), qPrintable(r.deviations.join("; ")));
}

void TestSimDatagrams::statsRequestAndAcks()
{
    const auto stats = TrackerDatagrams::DecodeStatsRequest(HexBytes("04 07 2F 00 0B z13 'Pilot' z15 '0123456789'"));
    QCOMPARE(stats.displayName, QByteArray("Pilot"));
    QCOMPARE(stats.trackerId, QByteArray("0123456789"));
    QVERIFY(stats.deviations.isEmpty());

    using TFor = TrackerDatagrams::TUserAck::TFor;
    auto ack = TrackerDatagrams::DecodeUserAck(HexBytes("04 00 11 00 05 z5 78 56 34 12 z3 98"));
    QCOMPARE(ack.forReply, TFor::Login);
    QCOMPARE(ack.value, 0x12345678u);
    QVERIFY(ack.deviations.isEmpty());
    ack = TrackerDatagrams::DecodeUserAck(HexBytes("04 00 11 00 05 z5 01 00 00 80 z3 00"));
    QCOMPARE(ack.forReply, TFor::Stats);
    QCOMPARE(ack.value, 0x80000001u);
    QVERIFY(ack.deviations.isEmpty());
    ack = TrackerDatagrams::DecodeUserAck(HexBytes("04 00 11 00 05 z5 01 00 00 00 z3 55"));
    QCOMPARE(ack.forReply, TFor::Unknown);
    QCOMPARE(ack.deviations.size(), 1);
    ack = TrackerDatagrams::DecodeUserAck(HexBytes("04 00 11 00 05 z5 01 00 00 00 z3 98 00"));
    QVERIFY(ack.deviations.join(";").contains("length 19"));
}

void TestSimDatagrams::listRequestAndAck()
{
    auto request = TrackerDatagrams::DecodeListRequest(HexBytes("03 29 00 z2 02 z16 07 z7 '#autoselect' 00"));
    QCOMPARE(request.channel, QByteArray("#autoselect"));
    QVERIFY2(request.deviations.isEmpty(), qPrintable(request.deviations.join("; ")));
    // Another tool's shorter request still reads, with its differences listed.
    request = TrackerDatagrams::DecodeListRequest(HexBytes("03 24 00 z2 02 z16 07 z7 'global' 00"));
    QCOMPARE(request.channel, QByteArray("global"));
    QVERIFY(request.deviations.join(";").contains("length 37, expected 42"));
    QVERIFY(!request.deviations.join(";").contains("length field"));
    request = TrackerDatagrams::DecodeListRequest(HexBytes("03 29 00 z2 02 z16 07 z7 '#autoselect'"));
    QVERIFY(request.deviations.join(";").contains("not ended by a zero"));

    const auto ack = TrackerDatagrams::DecodeListAck(HexBytes("03 1D 00 z2 02 z16 01 00 00 00 DD CC BB AA"));
    QCOMPARE(ack.value, 0xAABBCCDDu);
    QVERIFY(ack.deviations.isEmpty());
    QVERIFY(
        !TrackerDatagrams::DecodeListAck(HexBytes("03 1D 00 z2 02 z16 07 00 00 00 DD CC BB AA")).deviations.isEmpty());
}

void TestSimDatagrams::serverRequests()
{
    auto info = ServerDatagrams::DecodeGameInfoRequest(HexBytes("01 29 0B 00 07 00 5E 42 09 00 z8"));
    QCOMPARE(info.sequence, quint16(7));
    QCOMPARE(info.version, 606814u);
    QVERIFY(info.deviations.isEmpty());
    // The 12-byte form another query tool sends: answered, but noted.
    info = ServerDatagrams::DecodeGameInfoRequest(HexBytes("01 29 0B 00 1B 2F F4 41 09 00 00 00"));
    QCOMPARE(info.sequence, quint16(0x2F1B));
    QCOMPARE(info.deviations, QStringList{"length 12, expected 18"});
    info = ServerDatagrams::DecodeGameInfoRequest(HexBytes("01 29 0B 00 01 00 52 42 08 00 z7 01"));
    QCOMPARE(info.deviations.size(), 1);

    using SK = ServerDatagrams::TKind;
    QVERIFY(ServerDatagrams::CheckShortRequest(HexBytes("01 72 03 00"), SK::PlayerList).isEmpty());
    QVERIFY(ServerDatagrams::CheckShortRequest(HexBytes("01 60 03 00"), SK::Level).isEmpty());
    QVERIFY(!ServerDatagrams::CheckShortRequest(HexBytes("01 60 04 00"), SK::Level).isEmpty());
    QVERIFY(!ServerDatagrams::CheckShortRequest(HexBytes("01 72 03 00 00"), SK::PlayerList).isEmpty());
    QVERIFY(ServerDatagrams::CheckShortRequest(QByteArray("\\status\\", 9), SK::Status).isEmpty());
    QCOMPARE(ServerDatagrams::CheckShortRequest(QByteArray("\\status\\"), SK::Status),
             QStringList{"length 8, expected 9"});
}

void TestSimDatagrams::ackLedger()
{
    TAckLedger ledger(0xFFFFFFFF, 2);
    const quint32 a = ledger.Allocate(0);
    const quint32 b = ledger.Allocate(1); // the counter wraps past 0, which is never handed out
    QCOMPARE(a, 0xFFFFFFFFu);
    QCOMPARE(b, 1u);
    QCOMPARE(ledger.Take(b, 0), TAckLedger::TResult::WrongKind);
    QCOMPARE(ledger.Take(b, 1), TAckLedger::TResult::Unknown); // each value is acknowledged once
    const quint32 c = ledger.Allocate(0);
    const quint32 d = ledger.Allocate(0); // past the capacity of 2: a is forgotten
    QCOMPARE(ledger.Take(a, 0), TAckLedger::TResult::Unknown);
    QCOMPARE(ledger.Take(c, 0), TAckLedger::TResult::Matched);
    QCOMPARE(ledger.Take(d, 0), TAckLedger::TResult::Matched);
    QCOMPARE(ledger.Take(0, 0), TAckLedger::TResult::Unknown);
}

QTEST_GUILESS_MAIN(TestSimDatagrams)
#include "tst_SimDatagrams.moc"
