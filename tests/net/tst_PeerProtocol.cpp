// Datagrams between copies of Orlo, and port lists: the byte layouts and the parsing rules.
#include "base/PortPool.h"
#include "net/PeerPackets.h"

#include <QtTest>

class TestPeerProtocol : public QObject
{
    Q_OBJECT

private slots:
    void encodings();
    void decode_data();
    void decode();
    void parsePort_data();
    void parsePort();
    void findFreeTakesListOrder();
};

void TestPeerProtocol::encodings()
{
    QCOMPARE(PeerPackets::EncodeProbe(), QByteArray::fromHex("01"));
    QCOMPARE(PeerPackets::EncodeProbeReply(), QByteArray::fromHex("0226000000"));
    QCOMPARE(PeerPackets::EncodeTalkRequest(0x6E0E, "ab"), QByteArray::fromHex("030e6e6162") + QByteArray(26, '\0'));
    // The alias field holds 28 bytes, zero-padded, cut when longer; the bytes are kept as they are.
    for (const QByteArray &alias :
         {QByteArray(27, 'a'), QByteArray(28, 'b'), QByteArray(40, 'c'), QString::fromUtf8("Pilot\u00e9").toUtf8()}) {
        const QByteArray datagram = PeerPackets::EncodeTalkRequest(28046, alias);
        QCOMPARE(datagram.size(), 31);
        const auto packet = PeerPackets::Decode(datagram);
        QVERIFY(packet);
        QCOMPARE(std::get<PeerPackets::TTalkRequest>(*packet).alias, alias.left(28));
    }
}

void TestPeerProtocol::decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("kind"); // -1 dropped, else the variant index
    QTest::addColumn<quint32>("number");
    QTest::addRow("empty") << QByteArray() << -1 << 0u;
    QTest::addRow("probe") << QByteArray::fromHex("01") << 0 << 0u;
    QTest::addRow("reply") << QByteArray::fromHex("0226000000") << 1 << 38u;
    QTest::addRow("reply one short") << QByteArray::fromHex("02260000") << -1 << 0u;
    QTest::addRow("talk request") << QByteArray::fromHex("03466e") + QByteArray(28, 'x') << 2 << 28230u;
    QTest::addRow("talk request one short") << QByteArray::fromHex("03466e") + QByteArray(27, 'x') << -1 << 0u;
    QTest::addRow("unknown type") << QByteArray::fromHex("05010000") << -1 << 0u;
}

void TestPeerProtocol::decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, kind);
    QFETCH(quint32, number);
    const auto packet = PeerPackets::Decode(datagram);
    if (kind < 0) {
        QVERIFY(!packet);
        return;
    }
    QVERIFY(packet);
    QCOMPARE(int(packet->index()), kind);
    if (const auto *reply = std::get_if<PeerPackets::TProbeReply>(&*packet))
        QCOMPARE(reply->build, number);
    if (const auto *request = std::get_if<PeerPackets::TTalkRequest>(&*packet))
        QCOMPARE(quint32(request->port), number);
}

void TestPeerProtocol::parsePort_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("port");
    QTest::addRow("decimal") << "28046" << 28046;
    QTest::addRow("cut to 16 bits") << "94582" << 29046;
    QTest::addRow("65536 is 0") << "65536" << 0;
    QTest::addRow("hex") << "$6D8E" << 0x6D8E;
    QTest::addRow("hex 32-bit pattern") << "$FFFFFFFF" << 0xFFFF;
    QTest::addRow("negative") << "-1" << 0xFFFF;
    QTest::addRow("trailing text") << "28046x" << 0;
    QTest::addRow("past 32 bits") << "99999999999" << 0;
}

void TestPeerProtocol::parsePort()
{
    QFETCH(QString, line);
    QFETCH(int, port);
    QCOMPARE(int(PortPool::ParsePort(line)), port);
}

void TestPeerProtocol::findFreeTakesListOrder()
{
    const QStringList lines{QStringLiteral("28046"), QStringLiteral("not a number"), QStringLiteral("28047")};
    QCOMPARE(PortPool::FindFree(lines, [](quint16 p) { return p == 28046; }), quint16(28047));
    QCOMPARE(PortPool::FindFree(lines, [](quint16) { return false; }), quint16(28046));
    QCOMPARE(PortPool::FindFree(lines, [](quint16) { return true; }), quint16(0));
    QCOMPARE(PortPool::FindFree({}, [](quint16) { return false; }), quint16(0));
}

QTEST_GUILESS_MAIN(TestPeerProtocol)
#include "tst_PeerProtocol.moc"
