// Tracker datagrams against the byte tables, written out by hand here.
#include "pxo/TrackerPackets.h"

#include <QtTest>

using namespace TrackerPackets;

namespace {
QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}
QByteArray Zeros(int n)
{
    return QByteArray(n, '\0');
}
QByteArray Padded(const QByteArray &text, int size)
{
    return text + Zeros(size - int(text.size()));
}
} // namespace

class TestTrackerPackets : public QObject
{
    Q_OBJECT

private slots:
    void loginRequest_data();
    void loginRequest();
    void statsRequest();
    void acknowledgements();
    void gameListRequestAndAck();
    void dispatchKeys();
    void loginAccepted_data();
    void loginAccepted();
    void statsReply();
    void statsReplyCutShortReadsZeros();
    void gameListReply_data();
    void gameListReply();
};

void TestTrackerPackets::loginRequest_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QByteArray>("passwordField");
    QTest::addRow("plain") << QByteArray("pilot") << QByteArray("secret") << Padded("pilot", 33)
                           << Padded("secret", 27);
    QTest::addRow("empty password all zeros")
        << QByteArray("pilot") << QByteArray() << Padded("pilot", 33) << Zeros(27);
    QTest::addRow("30-character password cut to 27") << QByteArray("p") << QByteArray("abcdefghijklmnopqrstuvwxyz0123")
                                                     << Padded("p", 33) << QByteArray("abcdefghijklmnopqrstuvwxyz0");
    QTest::addRow("name cut to 33") << QByteArray(40, 'n') << QByteArray("x") << QByteArray(33, 'n') << Padded("x", 27);
}

void TestTrackerPackets::loginRequest()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, nameField);
    QFETCH(QByteArray, passwordField);
    const QByteArray expected = Hex("040d4d00") + Zeros(10) + Hex("bb09") + Zeros(2) + nameField + passwordField;
    QCOMPARE(expected.size(), 78);
    QCOMPARE(LoginRequest(name, password), expected);
}

void TestTrackerPackets::statsRequest()
{
    const QByteArray expected =
        Hex("04072f00") + Hex("0b") + Zeros(13) + Padded("Big Bad Wolf", 20) + QByteArray("0123456789");
    QCOMPARE(StatsRequest("Big Bad Wolf", "0123456789"), expected);
    QCOMPARE(StatsRequest(QByteArray(25, 'd'), "01234567890123").mid(18), QByteArray(20, 'd') + "0123456789");
    QCOMPARE(StatsRequest("", "").size(), 48);
}

void TestTrackerPackets::acknowledgements()
{
    QCOMPARE(Acknowledgement(AckKind::Login, 0x44332211),
             Hex("04001100") + Hex("05") + Zeros(5) + Hex("11223344") + Zeros(3) + Hex("98"));
    QCOMPARE(Acknowledgement(AckKind::Stats, 7), Hex("04001100") + Hex("05") + Zeros(5) + Hex("07000000") + Zeros(4));
}

void TestTrackerPackets::gameListRequestAndAck()
{
    const QByteArray request =
        Hex("032900") + Zeros(2) + Hex("02") + Zeros(16) + Hex("07") + Zeros(7) + QByteArray("#autoselect") + Zeros(1);
    QCOMPARE(request.size(), 42);
    QCOMPARE(GameListRequest(), request);
    const QByteArray ack = Hex("031d00") + Zeros(2) + Hex("02") + Zeros(16) + Hex("01000000") + Hex("efbeadde");
    QCOMPARE(ack.size(), 30);
    QCOMPARE(GameListAcknowledgement(0xDEADBEEF), ack);
}

void TestTrackerPackets::dispatchKeys()
{
    QCOMPARE(DispatchKey(Hex("040f")), quint16(LoginAcceptedReply));
    QCOMPARE(DispatchKey(Hex("0317ffff")), quint16(GameListReply));
    QCOMPARE(DispatchKey(Hex("05")), quint16(0x0500));
    QCOMPARE(DispatchKey(QByteArray()), quint16(0));
    QVERIFY(IsStatusReply("\\gamename\\descent3"));
    QVERIFY(!IsStatusReply(Hex("011f")));
}

void TestTrackerPackets::loginAccepted_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<quint32>("ack");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("valid");
    const QByteArray head = Hex("040f") + Zeros(8) + Hex("78563412") + Zeros(4);
    QTest::addRow("accepted") << head + QByteArray("ABCDEFGHIJ") + QByteArray("trailing") << 0x12345678u
                              << QByteArray("ABCDEFGHIJ") << true;
    QTest::addRow("CR in the id") << head + QByteArray("ABCD\rEFGHI") << 0x12345678u << QByteArray("ABCD\rEFGHI")
                                  << false;
    QTest::addRow("LF in the id") << head + QByteArray("\nBCDEFGHIJ") << 0x12345678u << QByteArray("\nBCDEFGHIJ")
                                  << false;
    QTest::addRow("padded with zeros: cut at the first")
        << head + QByteArray("ABC") + Zeros(7) + "x" << 0x12345678u << QByteArray("ABC") << true;
    QTest::addRow("datagram ends inside the id")
        << head + QByteArray("ABC") << 0x12345678u << QByteArray("ABC") << true;
    QTest::addRow("CR after the zero is not part of it")
        << head + QByteArray("AB\0\rCDEFGH", 10) << 0x12345678u << QByteArray("AB") << true;
    QTest::addRow("empty after the cut") << head + Zeros(10) << 0x12345678u << QByteArray() << false;
    QTest::addRow("only the key") << Hex("040f") << 0u << QByteArray() << false;
}

void TestTrackerPackets::loginAccepted()
{
    QFETCH(QByteArray, datagram);
    QFETCH(quint32, ack);
    QFETCH(QByteArray, id);
    QFETCH(bool, valid);
    const TLoginAccepted reply = DecodeLoginAccepted(datagram);
    QCOMPARE(reply.ackValue, ack);
    QCOMPARE(reply.trackerId, id);
    QCOMPARE(reply.valid, valid);
}

void TestTrackerPackets::statsReply()
{
    QByteArray datagram = Hex("0408") + Zeros(8) + Hex("0a000000") + Zeros(14) + Padded("Wolf", 22);
    datagram += Hex("e803") + Hex("0f000000") + Hex("05000000") + Hex("02000000") + Hex("3b0e0000");
    QCOMPARE(datagram.size(), 68);
    const TStatsReply reply = DecodeStatsReply(datagram);
    QCOMPARE(reply.ackValue, 10u);
    QCOMPARE(reply.displayName, QByteArray("Wolf"));
    QCOMPARE(reply.rating, quint16(1000));
    QCOMPARE(reply.kills, 15u);
    QCOMPARE(reply.deaths, 5u);
    QCOMPARE(reply.suicides, 2u);
    QCOMPARE(reply.seconds, 3643u);
}

void TestTrackerPackets::statsReplyCutShortReadsZeros()
{
    // The name runs to the end of the datagram when no zero byte ends it.
    const QByteArray datagram = Hex("0408") + Zeros(8) + Hex("01020304") + Zeros(14) + QByteArray("Ace");
    const TStatsReply reply = DecodeStatsReply(datagram);
    QCOMPARE(reply.displayName, QByteArray("Ace"));
    QCOMPARE(reply.ackValue, 0x04030201u);
    QCOMPARE(reply.rating, quint16(0));
    QCOMPARE(reply.seconds, 0u);
    QCOMPARE(DecodeStatsReply(Hex("0408")).displayName, QByteArray());
}

void TestTrackerPackets::gameListReply_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("entries");
    const QByteArray head = Hex("0317") + Zeros(24) + Hex("04030201") + Zeros(1);
    QCOMPARE(head.size(), 31);
    QTest::addRow("31 bytes: none") << head << QStringList();
    QTest::addRow("68 bytes: one short of an entry") << head + Zeros(32) + Hex("7f000001") + Hex("6d") << QStringList();
    QTest::addRow("69 bytes: one entry, big-endian port")
        << head + Zeros(32) + Hex("c0a8000a") + Hex("0bb9") << QStringList{"192.168.0.10:3001"};
    QTest::addRow("106 bytes: still one entry")
        << head + Zeros(32) + Hex("c0a8000a") + Hex("0bb9") + Zeros(37) << QStringList{"192.168.0.10:3001"};
    {
        // 20 entries need 31 + 20 * 38 = 791 bytes.
        QByteArray twenty = head + Zeros(32 * 20);
        QByteArray ports;
        QStringList expected;
        for (int i = 0; i < 20; ++i) {
            twenty += QByteArray::fromHex(QByteArray::number(0x0A000001 + i, 16).rightJustified(8, '0'));
            ports += QByteArray::fromHex(QByteArray::number(0x6D60 + i, 16));
            expected << QStringLiteral("10.0.0.%1:%2").arg(1 + i).arg(0x6D60 + i);
        }
        twenty += ports;
        QCOMPARE(twenty.size(), 791);
        QTest::addRow("791 bytes: 20 entries") << twenty << expected;
    }
    QTest::addRow("zero address comes through as text")
        << head + Zeros(32) + Zeros(4) + Hex("0001") << QStringList{"0.0.0.0:1"};
}

void TestTrackerPackets::gameListReply()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, entries);
    const TGameListReply reply = DecodeGameListReply(datagram);
    QCOMPARE(reply.ackValue, 0x01020304u);
    QStringList got;
    for (const TGameListEntry &e : reply.entries)
        got << e.ip + QLatin1Char(':') + QString::number(e.port);
    QCOMPARE(got, entries);
}

QTEST_GUILESS_MAIN(TestTrackerPackets)
#include "tst_TrackerPackets.moc"
