#include "base/Tick.h"
#include "chat/EchoReply.h"
#include "chat/UDPQueue.h"
#include "chat/UserPing.h"
#include "net/UNxSocket.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

using namespace EchoReply;

namespace {

QByteArray IpHeader(int words, quint8 protocol = 1)
{
    QByteArray header(words * 4, '\0');
    header[0] = char(0x40 | words);
    header[9] = char(protocol);
    return header;
}

QByteArray IcmpHeader(quint8 type)
{
    QByteArray header(8, '\0');
    header[0] = char(type);
    return header;
}

QByteArray Payload(quint32 tick, quint32 marker, const QByteArray &nick)
{
    QByteArray payload(8, '\0');
    qToLittleEndian(tick, payload.data());
    qToLittleEndian(marker, payload.data() + 4);
    return payload + nick;
}

const QByteArray Nick32 = QByteArray(32, 'n');

} // namespace

class tst_EchoReply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void payloadLayout_data();
    void payloadLayout();
    void parse_data();
    void parse();
    void everyTruncationIsSafe();
    void userReply_data();
    void userReply();
    void userReplyPing_data();
    void userReplyPing();
    void realEchoThroughQueue();
};

void tst_EchoReply::initTestCase()
{
    // Loopback only: no proxy lookup (and no helper thread of the proxy library).
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_EchoReply::payloadLayout_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QByteArray>("nickField");
    QTest::newRow("short nick, zero padded") << "Pilot" << QByteArray("Pilot") + QByteArray(27, '\0');
    QTest::newRow("exactly 32 bytes") << QString(32, u'n') << Nick32;
    QTest::newRow("cut to 32 bytes") << QString(40, u'n') << Nick32;
    // 31 ASCII bytes and a two-byte character: the character goes whole.
    QTest::newRow("cut before a UTF-8 sequence")
        << QString(31, u'n') + QChar(0xE9) << QByteArray(31, 'n') + QByteArray(1, '\0');
    QTest::newRow("empty nick") << "" << QByteArray(32, '\0');
}

void tst_EchoReply::payloadLayout()
{
    QFETCH(QString, nick);
    QFETCH(QByteArray, nickField);
    const QByteArray payload = BuildPayload(0x11223344u, nick);
    QCOMPARE(payload.size(), 40);
    QCOMPARE(payload.left(4).toHex(), QByteArray("44332211"));
    QCOMPARE(payload.mid(4, 4), QByteArray("ORLO"));
    QCOMPARE(payload.mid(8), nickField);
}

void tst_EchoReply::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("withIpHeader");
    QTest::addColumn<bool>("ours");
    QTest::addColumn<QString>("nick");
    const QByteArray full = Payload(1234, Marker, QByteArray("Pilot") + QByteArray(27, '\0'));
    QTest::newRow("raw reply") << IpHeader(5) + IcmpHeader(0) + full << true << true << "Pilot";
    QTest::newRow("raw reply with IP options") << IpHeader(7) + IcmpHeader(0) + full << true << true << "Pilot";
    QTest::newRow("datagram socket reply") << IcmpHeader(0) + full << false << true << "Pilot";
    QTest::newRow("foreign marker") << IpHeader(5) + IcmpHeader(0) + Payload(1234, 0x12345678, "Pilot") << true << false
                                    << "";
    QTest::newRow("our own request seen by a raw socket") << IpHeader(5) + IcmpHeader(8) + full << true << false << "";
    QTest::newRow("not ICMP") << IpHeader(5, 17) + IcmpHeader(0) + full << true << false << "";
    QTest::newRow("header length below 20")
        << IpHeader(4) + QByteArray(4, '\0') + IcmpHeader(0) + full << true << false << "";
    QTest::newRow("nick without zero byte")
        << IcmpHeader(0) + Payload(1, Marker, Nick32 + "tail") << false << true << QString(Nick32);
    QTest::newRow("payload cut inside the nick") << IcmpHeader(0) + Payload(1, Marker, "Pil") << false << true << "Pil";
    QTest::newRow("payload ends after the marker") << IcmpHeader(0) + Payload(1, Marker, {}) << false << true << "";
}

void tst_EchoReply::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, withIpHeader);
    QFETCH(bool, ours);
    QFETCH(QString, nick);
    const auto reply = Parse(bytes, withIpHeader ? TFormat::WithIpHeader : TFormat::IcmpOnly);
    QCOMPARE(reply.has_value(), ours);
    if (reply)
        QCOMPARE(reply->Nick, nick);
}

void tst_EchoReply::everyTruncationIsSafe()
{
    // Shorter than its headers and the marker: no reply, and nothing read past the end
    // (the copy on the heap lets a sanitizer see any overread).
    const QByteArray raw = IpHeader(5) + IcmpHeader(0) + Payload(77, Marker, "Pilot");
    for (qsizetype size = 0; size <= raw.size(); ++size) {
        const QByteArray cut = raw.left(size);
        const auto reply = Parse(cut, TFormat::WithIpHeader);
        QCOMPARE(reply.has_value(), size >= 20 + 8 + 8);
        if (reply)
            QCOMPARE(reply->SentTick, 77u);
    }
    const QByteArray bare = IcmpHeader(0) + Payload(77, Marker, "Pilot");
    for (qsizetype size = 0; size <= bare.size(); ++size)
        QCOMPARE(Parse(bare.left(size), TFormat::IcmpOnly).has_value(), size >= 16);
}

void tst_EchoReply::userReply_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("nick");
    QTest::newRow("full") << QByteArray::fromHex("0501e803") + "Pilot" + QByteArray(23, '\0') << true << 1000
                          << "Pilot";
    QTest::newRow("nick fills 28 bytes") << QByteArray::fromHex("05010100") + QByteArray(28, 'n') + "xyz" << true << 1
                                         << QString(28, u'n');
    QTest::newRow("type bytes only") << QByteArray::fromHex("0501") << true << 0 << "";
    QTest::newRow("half a value") << QByteArray::fromHex("050107") << true << 7 << "";
    QTest::newRow("other type") << QByteArray::fromHex("0502e803") + "Pilot" << false << 0 << "";
    QTest::newRow("one byte") << QByteArray::fromHex("05") << false << 0 << "";
}

void tst_EchoReply::userReply()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, valid);
    QFETCH(int, value);
    QFETCH(QString, nick);
    const auto reply = ParseUserReply(datagram);
    QCOMPARE(reply.has_value(), valid);
    if (!reply)
        return;
    QCOMPARE(int(reply->Value), value);
    QCOMPARE(reply->Nick, nick);
}

void tst_EchoReply::userReplyPing_data()
{
    QTest::addColumn<quint32>("replyTick");
    QTest::addColumn<quint16>("value");
    QTest::addColumn<quint32>("ping");
    QTest::newRow("plain") << 1000u << quint16(900) << 100u;
    QTest::newRow("reply tick past 16 bits") << 0x00012000u << quint16(0x1F00) << 0x100u;
    QTest::newRow("low bits wrapped") << 0x00010005u << quint16(0xFFF0) << 0x15u;
    QTest::newRow("same tick") << 0xABCD1234u << quint16(0x1234) << 0u;
}

void tst_EchoReply::userReplyPing()
{
    QFETCH(quint32, replyTick);
    QFETCH(quint16, value);
    QFETCH(quint32, ping);
    QCOMPARE(UserReplyPing(replyTick, value), ping);
    // What SetPingResult(sent, reply) computes: reply - sent.
    QCOMPARE(replyTick - UserReplySentTick(replyTick, value), ping);
}

void tst_EchoReply::realEchoThroughQueue()
{
    TNxPing pinger(nullptr);
    if (!pinger.Available())
        QSKIP(qPrintable(pinger.OpenError()));
    QUdpSocket udp;
    TUDPQueue queue(&udp, &pinger);
    QList<TEchoReply> replies;
    connect(&pinger, &TNxSocket::OnDataReady, this, [&](TNxSocket *, int) {
        if (const auto reply = TakeEchoReply(pinger))
            replies.append(*reply);
    });
    // A raw socket sees every echo of the machine: look for ours among them.
    const quint32 tick = TickCount();
    const QString first = QStringLiteral("Pilot%1").arg(QCoreApplication::applicationPid());
    const QString second = QStringLiteral("Second%1").arg(QCoreApplication::applicationPid());
    QVERIFY(PingUser(queue, first, QStringLiteral("127.0.0.1"), tick));
    QVERIFY(PingUser(queue, second, QStringLiteral("localhost"), tick + 1));
    QVERIFY(!PingUser(queue, QStringLiteral("Nobody"), QStringLiteral("  "), tick));
    const auto seen = [&](const QString &nick, quint32 sentTick) {
        return std::any_of(replies.cbegin(), replies.cend(),
                           [&](const TEchoReply &reply) { return reply.Nick == nick && reply.SentTick == sentTick; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(seen(first, tick) && seen(second, tick + 1), 5000);
    QVERIFY(TickCount() - tick < 5000);
}

QTEST_GUILESS_MAIN(tst_EchoReply)
#include "tst_EchoReply.moc"
