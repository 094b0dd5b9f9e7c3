// The game-server requests and replies and the user pings against byte tables written here;
// every reply cut short reads as if zeros followed.
#include "servers/EchoReply.h"
#include "servers/GameQueries.h"
#include "servers/ServerReplies.h"
#include "servers/StatusReply.h"
#include "sim/HexBytes.h"

#include <QtTest>

using namespace ServerReplies;

namespace {
QByteArray Counted(const QByteArray &text)
{
    return char(text.size() + 1) + text + '\0';
}

QByteArray Info(const QByteArray &texts, QList<quint16> counts = {3, 5, 8, 42}, const char *tail = "02 7E 00 01")
{
    QByteArray d = HexBytes("01 1F 00 00 z16") + texts;
    for (quint16 v : counts + QList<quint16>{0x1111, 0x2222})
        d += char(v & 0xFF) + QByteArray(1, char(v >> 8));
    return d + HexBytes(tail);
}

const QByteArray Texts = Counted("Arena") + Counted("city.mn3") + Counted("Fun") + Counted("Anarchy");

// What the decoder of the reply's kind reads from it.
QString Decode(QByteArrayView datagram)
{
    if (const auto user = EchoReply::ParseUserReply(datagram))
        return QString::number(user->Value) + u'|' + user->Nick;
    switch (Classify(datagram)) {
    case TKind::GameInfo: {
        const TGameInfo i = DecodeGameInfo(datagram);
        return QStringList{i.Name,
                           i.Level,
                           i.Description,
                           i.GameType,
                           QString::number(i.LevelNumber),
                           QString::number(i.Players),
                           QString::number(i.MaxPlayers),
                           QString::number(i.Sequence),
                           i.Mode,
                           QString::number(i.Dedicated),
                           i.Difficulty}
            .join(u'|');
    }
    case TKind::PlayerList:
        return DecodePlayerList(datagram).join(u'|');
    case TKind::LevelAddress:
        return DecodeLevelAddress(datagram);
    case TKind::Status:
        return DecodeStatus(datagram);
    default:
        return QStringLiteral("-");
    }
}

QByteArray Echo(const char *headers, quint32 marker, const QByteArray &nick)
{
    QByteArray d = HexBytes(QLatin1String(headers)) + HexBytes("D2 04 00 00") + QByteArray(4, '\0') + nick;
    qToLittleEndian(marker, d.data() + d.size() - nick.size() - 4);
    return d;
}
const char *const Raw = "45 z8 01 z10 00 00 z6"; // IP header of 20 bytes, ICMP echo reply header
} // namespace

class tst_ServerCodecs : public QObject
{
    Q_OBJECT

private slots:
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("bytes");
        using namespace GameQueries;
        QTest::newRow("game info, first, 1.4")
            << GameInfoRequest(1, NextVersionCode(u"1.4", 0)) << HexBytes("01 29 0B 00 01 00 5E 42 09 00 z8");
        QTest::newRow("game info 0x1234, 1.3")
            << GameInfoRequest(0x1234, NextVersionCode(u"1.3", 0)) << HexBytes("01 29 0B 00 34 12 52 42 08 00 z8");
        QTest::newRow("game info, other version text keeps the last")
            << GameInfoRequest(2, NextVersionCode(u" 1.4", VersionCode13))
            << HexBytes("01 29 0B 00 02 00 52 42 08 00 z8");
        QTest::newRow("game info, no version yet")
            << GameInfoRequest(0xFFFF, NextVersionCode(u"2.0", 0)) << HexBytes("01 29 0B 00 FF FF z12");
        QTest::newRow("player list") << PlayerListRequest() << HexBytes("01 72 03 00");
        QTest::newRow("level information") << LevelInfoRequest() << HexBytes("01 60 03 00");
        QTest::newRow("status") << StatusRequest() << HexBytes("'\\status\\' 00");
        QTest::newRow("echo payload") << EchoReply::BuildPayload(0x11223344u, "Pilot")
                                      << HexBytes("44 33 22 11 'ORLO' 'Pilot' z27");
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, bytes);
        QCOMPARE(request.toHex(' '), bytes.toHex(' '));
    }

    // Replies as sent, and every prefix of each read exactly like that prefix followed by zeros.
    void replies_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("game info") << Info(Texts) << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("game info: L = 0 reads as an empty text")
            << Info(HexBytes("00 00") + Counted("c.mn3") + Counted("") + Counted("CTF"))
            << "|c.mn3||CTF|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("game info: a zero ends a text, the next starts after L")
            << Info(HexBytes("06 'ab' 00 'cd' 00") + Counted("x") + Counted("d") + Counted("g"))
            << "ab|x|d|g|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("game info: the byte after the characters is skipped")
            << Info(HexBytes("03 'abX'") + Counted("x") + Counted("d") + Counted("g"))
            << "ab|x|d|g|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("game info: UTF-8, else Windows-1252, text by text")
            << Info(Counted("\xC3\xA9t\xC3\xA9") + Counted("\xE9t\xE9 \x80") + Counted("a\xC3") + Counted(""))
            << QStringLiteral("\u00E9t\u00E9|\u00E9t\u00E9 \u20AC|a\u00C3||3|5|8|42|c/s|0|Rookie");
        QTest::newRow("game info: mode 5 dedicated, past the tables")
            << Info(Texts, {3, 5, 8, 42}, "05 00 01 09") << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|p2p ml d|1|9";
        QTest::newRow("game info: dedicated flag 2 is not dedicated")
            << Info(Texts, {3, 5, 8, 42}, "FF 00 02 04") << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|255|0|Insane";
        QTest::newRow("game info: counts little-endian, unsigned")
            << Info(Texts, {0xFFFF, 0x0102, 0x8000, 0xFFFE})
            << "Arena|city.mn3|Fun|Anarchy|65535|258|32768|65534|c/s|0|Rookie";
        QTest::newRow("game info cut inside the name") << Info(Texts).left(24) << "Are||||0|0|0|0|c/s pm|0|Trainee";
        QTest::newRow("players in reply order") << HexBytes("01 73 00 00 'Kiwi' 00 'Mole' 00 00") << "Kiwi|Mole";
        QTest::newRow("players: a second zero ends the list")
            << HexBytes("01 73 z2 'a' 00 'bb' 00 00 'c' 00") << "a|bb";
        QTest::newRow("players: a zero at offset 4 empties it") << HexBytes("01 73 z2 00 'a' 00") << "";
        QTest::newRow("players: blank names are passed on") << HexBytes("01 73 z2 'a' 00 '   ' 00 'b' 00") << "a|   |b";
        QTest::newRow("players: the end ends the last name") << HexBytes("01 73 z2 'a' 00 'bc'") << "a|bc";
        const QByteArray x(4091, 'x');
        QTest::newRow("players: a name past 4096 bytes is not read")
            << HexBytes("01 73 z2") + x + HexBytes("00 'y' 00") << QString(x);
        QTest::newRow("players: a name across 4096 bytes is cut")
            << HexBytes("01 73 z2") + x + HexBytes("'yz' 00") << QString(x) + u'y';
        QTest::newRow("status, whole datagram") << QByteArray("\\gamever\\1.4\\a\\") << "\\gamever\\1.4\\a\\";
        QTest::newRow("status up to the first zero") << QByteArray("\\gamever\\1.4\0\\junk", 17) << "\\gamever\\1.4";
        QTest::newRow("status: UTF-8 and Windows-1252 fields")
            << QByteArray("\\p\\\xC3\xA9t\xC3\xA9\\q\\\xE9t\xE9")
            << QStringLiteral("\\p\\\u00E9t\u00E9\\q\\\u00E9t\u00E9");
        QTest::newRow("status: bytes past 4096 are not read") << QByteArray("\\a\\") + QByteArray(4093, 'b') + "ccc"
                                                              << "\\a\\" + QString(4093, u'b');
        const QByteArray url = "http://127.0.0.1/levels/city.mn3";
        const QByteArray text = char(url.size()) + url + '\0';
        QTest::newRow("level: the first text") << HexBytes("01 61 z2") + text << QString(url);
        QTest::newRow("level: blank and empty texts are passed")
            << HexBytes("01 61 z2 00 00 02 '  ' 00 00 00") + text << QString(url);
        QTest::newRow("level: the first of two")
            << HexBytes("01 61 z2 0E 'http://a/x.mn3' 00") + text << "http://a/x.mn3";
        QTest::newRow("level: trimmed, zeros dropped")
            << HexBytes("01 61 z2 11 '  http:/' 00 '/a/x' 00 '.mn3'") << "http://a/x.mn3";
        QTest::newRow("level: a length past the end") << HexBytes("01 61 z2 60 'http://a/x.mn3'") << "http://a/x.mn3";
        QTest::newRow("level: only blank texts") << HexBytes("01 61 z2 01 ' ' 00 02 09 ' ' 00") << "";
        QTest::newRow("level: a text past 4096 bytes") << HexBytes("01 61 z2") + QByteArray(4092, '\0') + text << "";
        QTest::newRow("user reply") << HexBytes("05 01 E8 03 'Pilot' z23") << "1000|Pilot";
        QTest::newRow("user reply: the nick ends at 28 bytes")
            << HexBytes("05 01 01 00") + QByteArray(31, 'n') << "1|" + QString(28, u'n');
        QTest::newRow("user reply: half a value") << HexBytes("05 01 07") << "7|";
        QTest::newRow("none of these") << HexBytes("01 20 00") << "-";
        QTest::newRow("05 alone is no user reply") << HexBytes("05") << "-";
        QTest::newRow("05 02 is no user reply") << HexBytes("05 02 E8 03 'Pilot'") << "-";
    }
    // A user reply's value is the sender's tick in 16 bits: the ping is taken modulo 65536.
    void replies()
    {
        QCOMPARE(0x00012000u - EchoReply::UserReplySentTick(0x00012000u, 0x1F00), 0x100u);
        QCOMPARE(0x00010005u - EchoReply::UserReplySentTick(0x00010005u, 0xFFF0), 0x15u);
        QFETCH(QByteArray, datagram);
        QTEST(Decode(datagram), "decoded");
        for (qsizetype cut = 2; cut <= qMin(datagram.size(), qsizetype(80)); ++cut) {
            const QByteArray prefix = datagram.left(cut);
            QCOMPARE(Decode(prefix), Decode(prefix + QByteArray(MaxReply, '\0')));
        }
    }

    // Keys applied to a server whose players are a (3), b (4) and a (9); as read afterwards: the
    // version, the three flags, and each player that changed as name:index:frags:deaths:team:ping.
    void statusApply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("player number, then frags") << "\\player_0\\a\\frags_0\\5" << QStringLiteral("old xyz a:0:5:::");
        QTest::newRow("an abandoned key's value read as a key")
            << "\\frags_7\\gamever\\1.2" << QStringLiteral("1.2 xyz");
        QTest::newRow("keys trimmed, any case; first character")
            << "\\ GameVer \\1.5\\BrightShips\\1\\ ACCCOLLISIONS\\0\\RandPowerup \\yes"
            << "1.5 10y";
        QTest::newRow("an empty gamever at the end") << "\\gamever" << QStringLiteral(" xyz");
        QTest::newRow("a player number that is none reads 0")
            << "\\player_x\\b\\frags_0\\1" << QStringLiteral("old xyz b:0:1:::");
        QTest::newRow("every player field")
            << "\\deaths_4\\3\\team_4\\Red\\ping_4\\55\\frags_4\\-1" << QStringLiteral("old xyz b:4:-1:3:Red:55");
        QTest::newRow("negative player number")
            << "\\player_-1\\b\\team_-1\\Blue" << QStringLiteral("old xyz b:-1:::Blue:");
        QTest::newRow("doubled backslashes, none leading") << "gamever\\\\\\1.5\\\\" << QStringLiteral("1.5 xyz");
    }
    void statusApply()
    {
        QFETCH(QString, text);
        QString version = QStringLiteral("old");
        QChar bright = u'x', collisions = u'y', powerups = u'z';
        QList<TServerUser *> players;
        for (const auto &[name, index] : {std::pair{"a", 3}, {"b", 4}, {"a", 9}}) {
            players.append(new TServerUser);
            players.last()->Name = QLatin1String(name);
            players.last()->Index = index;
        }
        StatusReply::Apply(text, {version, bright, collisions, powerups, players});
        QStringList result{version, QString(bright) + collisions + powerups};
        const QList<int> indices{3, 4, 9};
        for (qsizetype i = 0; i < players.size(); ++i) {
            const TServerUser *p = players[i];
            if (p->Index != indices[i] || !(p->Frags + p->Deaths + p->Team + p->PlayerPing).isEmpty())
                result << QStringList{p->Name, QString::number(p->Index), p->Frags, p->Deaths, p->Team, p->PlayerPing}
                              .join(u':');
        }
        qDeleteAll(players);
        QTEST(result.join(u' '), "result");
    }

    // The nick we send, cut to 32 bytes at a character boundary, comes back from our own
    // echo replies only, as the raw socket (IP header first) or the datagram socket gives them.
    void echoReply_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QString>("nick"); // "-" when it is none of ours
        const quint32 ours = EchoReply::Marker;
        QTest::newRow("raw reply") << Echo(Raw, ours, "Pilot\0x") << true << "Pilot";
        QTest::newRow("datagram socket reply") << Echo("00 00 z6", ours, "Pilot") << false << "Pilot";
        QTest::newRow("raw with IP options") << Echo("47 z8 01 z18 00 00 z6", ours, "Pilot") << true << "Pilot";
        QTest::newRow("foreign marker") << Echo(Raw, 0x12345678, "Pilot") << true << "-";
        QTest::newRow("our own request on a raw socket") << Echo("45 z8 01 z10 08 00 z6", ours, "P") << true << "-";
        QTest::newRow("not ICMP") << Echo("45 z8 11 z10 00 00 z6", ours, "P") << true << "-";
        QTest::newRow("header length below 20") << Echo("44 z8 01 z6 00 00 z6", ours, "P") << true << "-";
        QTest::newRow("a nick without zero ends at 32")
            << Echo("00 00 z6", ours, QByteArray(40, 'n')) << false << QString(32, u'n');
        QTest::newRow("ends after the marker") << Echo("00 00 z6", ours, {}) << false << "";
        const auto sent = [](const QString &nick) {
            const QByteArray payload = EchoReply::BuildPayload(1234, nick);
            return payload.size() == EchoReply::PayloadSize ? HexBytes("00 00 z6") + payload : QByteArray();
        };
        QTest::newRow("sent: padded") << sent("Pilot") << false << "Pilot";
        QTest::newRow("sent: cut to 32 bytes") << sent(QString(40, u'n')) << false << QString(32, u'n');
        QTest::newRow("sent: never inside a UTF-8 sequence")
            << sent(QString(31, u'n') + QChar(0xE9)) << false << QString(31, u'n');
    }
    // Shorter than its headers and the marker, a reply is none; nothing is read past the end
    // (the heap copies let a sanitizer see an overread).
    void echoReply()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, raw);
        const auto format = raw ? EchoReply::TFormat::WithIpHeader : EchoReply::TFormat::IcmpOnly;
        const auto reply = EchoReply::Parse(bytes, format);
        QTEST(reply ? reply->Nick : QStringLiteral("-"), "nick");
        QVERIFY(!reply || reply->SentTick == 1234u);
        const qsizetype whole = (raw ? (bytes.at(0) & 0x0F) * 4 : 0) + 16;
        for (qsizetype size = 0; reply && size < bytes.size(); ++size)
            QCOMPARE(EchoReply::Parse(bytes.left(size), format).has_value(), size >= whole);
    }
};

QTEST_GUILESS_MAIN(tst_ServerCodecs)
#include "tst_ServerCodecs.moc"
