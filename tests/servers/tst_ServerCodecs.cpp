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

QString Describe(const TGameInfo &i)
{
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
            << GameInfoRequest(1, VersionCode14) << HexBytes("01 29 0B 00 01 00 5E 42 09 00 z8");
        QTest::newRow("game info 0x1234, 1.3")
            << GameInfoRequest(0x1234, VersionCode13) << HexBytes("01 29 0B 00 34 12 52 42 08 00 z8");
        QTest::newRow("game info, no version yet") << GameInfoRequest(0xFFFF, 0) << HexBytes("01 29 0B 00 FF FF z12");
        QTest::newRow("player list") << PlayerListRequest() << HexBytes("01 72 03 00");
        QTest::newRow("level information") << LevelInfoRequest() << HexBytes("01 60 03 00");
        QTest::newRow("status") << StatusRequest() << HexBytes("'\\status\\' 00");
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, bytes);
        QCOMPARE(HexDump(request), HexDump(bytes));
    }

    void versionCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("last");
        QTest::addColumn<quint32>("code");
        QTest::newRow("1.4") << "1.4" << 0u << 606814u;
        QTest::newRow("1.3") << "1.3" << 606814u << 541266u;
        QTest::newRow("other text keeps the last") << "1.5" << 606814u << 606814u;
        QTest::newRow("blanks are other text") << " 1.4" << 541266u << 541266u;
        QTest::newRow("nothing before any") << "2.0" << 0u << 0u;
    }
    void versionCode()
    {
        QFETCH(QString, text);
        QFETCH(quint32, last);
        QTEST(GameQueries::NextVersionCode(text, last), "code");
    }

    void gameInfo_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("fields");
        QTest::newRow("every field") << Info(Texts) << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("L = 0 reads as an empty text")
            << Info(HexBytes("00 00") + Counted("c.mn3") + Counted("") + Counted("CTF"))
            << "|c.mn3||CTF|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("a zero ends a text, the next starts after L")
            << Info(HexBytes("06 'ab' 00 'cd' 00") + Counted("x") + Counted("d") + Counted("g"))
            << "ab|x|d|g|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("the byte after the characters is skipped")
            << Info(HexBytes("03 'abX'") + Counted("x") + Counted("d") + Counted("g"))
            << "ab|x|d|g|3|5|8|42|c/s|0|Rookie";
        QTest::newRow("UTF-8, else Windows-1252, text by text")
            << Info(Counted("\xC3\xA9t\xC3\xA9") + Counted("\xE9t\xE9 \x80") + Counted("a\xC3") + Counted(""))
            << QStringLiteral("\u00E9t\u00E9|\u00E9t\u00E9 \u20AC|a\u00C3||3|5|8|42|c/s|0|Rookie");
        QTest::newRow("mode 5 dedicated, insane")
            << Info(Texts, {3, 5, 8, 42}, "05 00 01 04") << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|p2p ml d|1|Insane";
        QTest::newRow("mode 0, trainee") << Info(Texts, {3, 5, 8, 42}, "00 00 00 00")
                                         << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|c/s pm|0|Trainee";
        QTest::newRow("past the tables: numbers")
            << Info(Texts, {3, 5, 8, 42}, "07 00 01 09") << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|7 d|1|9";
        QTest::newRow("dedicated flag 2 is not dedicated")
            << Info(Texts, {3, 5, 8, 42}, "FF 00 02 FF") << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|255|0|255";
        QTest::newRow("counts little-endian, unsigned")
            << Info(Texts, {0xFFFF, 0x0102, 0x8000, 0xFFFE})
            << "Arena|city.mn3|Fun|Anarchy|65535|258|32768|65534|c/s|0|Rookie";
        const QByteArray full = Info(Texts);
        QTest::newRow("cut inside the name") << full.left(24) << "Are||||0|0|0|0|c/s pm|0|Trainee";
        QTest::newRow("cut inside the sequence")
            << full.left(58) << "Arena|city.mn3|Fun|Anarchy|3|5|8|42|c/s pm|0|Trainee";
        QTest::newRow("empty datagram") << QByteArray() << "||||0|0|0|0|c/s pm|0|Trainee";
    }
    void gameInfo()
    {
        QFETCH(QByteArray, datagram);
        QTEST(Describe(DecodeGameInfo(datagram)), "fields");
    }

    void playerList_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("in reply order") << HexBytes("01 73 00 00 'Kiwi' 00 'Mole' 00 00")
                                        << QStringList{"Kiwi", "Mole"};
        QTest::newRow("a second zero ends the list")
            << HexBytes("01 73 z2 'a' 00 'bb' 00 00 'c' 00") << QStringList{"a", "bb"};
        QTest::newRow("a zero at offset 4 empties it") << HexBytes("01 73 z2 00 'a' 00") << QStringList{};
        QTest::newRow("blank names are passed on")
            << HexBytes("01 73 z2 'a' 00 '   ' 00 'b' 00") << QStringList{"a", "   ", "b"};
        QTest::newRow("the end ends the last name") << HexBytes("01 73 z2 'a' 00 'bc'") << QStringList{"a", "bc"};
        QTest::newRow("shorter than the header") << HexBytes("01 73") << QStringList{};
        const QByteArray x(4091, 'x');
        QTest::newRow("a name past 4096 bytes is not read")
            << HexBytes("01 73 z2") + x + HexBytes("00 'y' 00") << QStringList{QString(x)};
        QTest::newRow("a name across 4096 bytes is cut")
            << HexBytes("01 73 z2") + x + HexBytes("'yz' 00") << QStringList{QString(x) + u'y'};
    }
    void playerList()
    {
        QFETCH(QByteArray, datagram);
        QTEST(DecodePlayerList(datagram), "names");
    }

    void statusText_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole datagram") << QByteArray("\\gamever\\1.4\\a\\") << "\\gamever\\1.4\\a\\";
        QTest::newRow("up to the first zero") << QByteArray("\\gamever\\1.4\0\\junk", 17) << "\\gamever\\1.4";
        QTest::newRow("empty fields stay") << QByteArray("\\\\a\\\\") << "\\\\a\\\\";
        QTest::newRow("UTF-8 and Windows-1252 fields") << QByteArray("\\p\\\xC3\xA9t\xC3\xA9\\q\\\xE9t\xE9")
                                                       << QStringLiteral("\\p\\\u00E9t\u00E9\\q\\\u00E9t\u00E9");
        QTest::newRow("bytes past 4096 are not read") << QByteArray("\\a\\") + QByteArray(4093, 'b') + "ccc"
                                                      << "\\a\\" + QString(4093, u'b');
    }
    void statusText()
    {
        QFETCH(QByteArray, datagram);
        QTEST(DecodeStatus(datagram), "text");
    }

    void levelAddress_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("address");
        const QByteArray url = "http://127.0.0.1/levels/city.mn3";
        const QByteArray text = char(url.size()) + url + '\0';
        QTest::newRow("the first text") << HexBytes("01 61 z2") + text << QString(url);
        QTest::newRow("a blank first text") << HexBytes("01 61 z2 03 '   ' 00") + text << QString(url);
        QTest::newRow("blank and empty texts are passed")
            << HexBytes("01 61 z2 00 00 02 '  ' 00 00 00") + text << QString(url);
        QTest::newRow("the first of two") << HexBytes("01 61 z2 0E 'http://a/x.mn3' 00") + text << "http://a/x.mn3";
        QTest::newRow("trimmed, zeros dropped")
            << HexBytes("01 61 z2 11 '  http:/' 00 '/a/x' 00 '.mn3'") << "http://a/x.mn3";
        QTest::newRow("a length past the end") << HexBytes("01 61 z2 60 'http://a/x.mn3'") << "http://a/x.mn3";
        QTest::newRow("only blank texts") << HexBytes("01 61 z2 01 ' ' 00 02 09 ' ' 00") << QString();
        QTest::newRow("empty datagram") << QByteArray() << QString();
        QTest::newRow("a text past 4096 bytes") << HexBytes("01 61 z2") + QByteArray(4092, '\0') + text << QString();
    }
    void levelAddress()
    {
        QFETCH(QByteArray, datagram);
        QTEST(DecodeLevelAddress(datagram), "address");
    }

    // A reply cut after any byte reads exactly like that prefix followed by zeros.
    void everyCutReadsAsZeros()
    {
        const QByteArray info = Info(Texts, {3, 5, 8, 42}, "05 00 01 03");
        const QByteArray players = HexBytes("01 73 z2 'Kiwi' 00 'Mole' 00 00");
        const QByteArray level = HexBytes("01 61 z2 03 '   ' 00 0E 'http://a/x.mn3' 00");
        for (qsizetype cut = 0; cut <= info.size(); ++cut) {
            const QByteArray prefix = info.left(cut);
            QCOMPARE(Describe(DecodeGameInfo(prefix)), Describe(DecodeGameInfo(prefix + QByteArray(MaxReply, '\0'))));
            QCOMPARE(DecodePlayerList(players.left(cut)), DecodePlayerList(players.left(cut) + QByteArray(64, '\0')));
            QCOMPARE(DecodeLevelAddress(level.left(cut)), DecodeLevelAddress(level.left(cut) + QByteArray(64, '\0')));
        }
    }

    // Keys applied to a server whose players are a (3), b (4) and a (9); as read afterwards: the
    // version, the three flags, and each player that changed as name:index:frags:deaths:team:ping.
    void statusApply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("player number, then frags") << "\\player_0\\a\\frags_0\\5"
                                                   << "old xyz a:0:5:::";
        QTest::newRow("an abandoned key's value read as a key") << "\\frags_7\\gamever\\1.2"
                                                                << "1.2 xyz";
        QTest::newRow("brightships without value at the end") << "\\gamever\\1.5\\brightships"
                                                              << "1.5 xyz";
        QTest::newRow("keys trimmed, any case; first character")
            << "\\ GameVer \\1.5\\BrightShips\\1\\ ACCCOLLISIONS\\0\\RandPowerup \\yes"
            << "1.5 10y";
        QTest::newRow("values are not trimmed") << "\\gamever\\ 1.5 "
                                                << " 1.5  xyz";
        QTest::newRow("an empty gamever at the end") << "\\gamever"
                                                     << " xyz";
        QTest::newRow("an unknown key dropped alone") << "\\hostname\\gamever\\2.0"
                                                      << "2.0 xyz";
        QTest::newRow("a player number that is none reads 0") << "\\player_x\\b\\frags_0\\1"
                                                              << "old xyz b:0:1:::";
        QTest::newRow("the first player of the name") << "\\player_7\\a"
                                                      << "old xyz a:7::::";
        QTest::newRow("an unlisted name takes its value") << "\\player_1\\zed\\gamever\\2"
                                                          << "2 xyz";
        QTest::newRow("every player field") << "\\deaths_4\\3\\team_4\\Red\\ping_4\\55\\frags_4\\-1"
                                            << "old xyz b:4:-1:3:Red:55";
        QTest::newRow("a player field without number") << "\\frags_abc\\gamever\\9"
                                                       << "9 xyz";
        QTest::newRow("negative player number") << "\\player_-1\\b\\team_-1\\Blue"
                                                << "old xyz b:-1:::Blue:";
        QTest::newRow("doubled backslashes") << "\\\\gamever\\\\\\1.5\\\\"
                                             << "1.5 xyz";
        QTest::newRow("no leading backslash") << "gamever\\3"
                                              << "3 xyz";
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

    void echoPayload_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("short nick, padded") << "Pilot" << HexBytes("'Pilot' z27");
        QTest::newRow("cut to 32 bytes") << QString(40, u'n') << QByteArray(32, 'n');
        QTest::newRow("never inside a UTF-8 sequence") << QString(31, u'n') + QChar(0xE9) << QByteArray(31, 'n') + '\0';
    }
    void echoPayload()
    {
        QFETCH(QString, nick);
        QFETCH(QByteArray, field);
        QCOMPARE(HexDump(EchoReply::BuildPayload(0x11223344u, nick)), HexDump(HexBytes("44 33 22 11 'ORLO'") + field));
    }

    // Our echo replies only, as the raw socket (IP header first) or the datagram socket gives them.
    void echoReply_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QString>("nick"); // "-" when it is none of ours
        const quint32 ours = EchoReply::Marker;
        QTest::newRow("raw reply") << Echo(Raw, ours, "Pilot\0x") << true << "Pilot";
        QTest::newRow("raw with IP options") << Echo("47 z8 01 z18 00 00 z6", ours, "Pilot") << true << "Pilot";
        QTest::newRow("datagram socket reply") << Echo("00 00 z6", ours, "Pilot") << false << "Pilot";
        QTest::newRow("foreign marker") << Echo(Raw, 0x12345678, "Pilot") << true << "-";
        QTest::newRow("our own request on a raw socket") << Echo("45 z8 01 z10 08 00 z6", ours, "P") << true << "-";
        QTest::newRow("not ICMP") << Echo("45 z8 11 z10 00 00 z6", ours, "P") << true << "-";
        QTest::newRow("header length below 20") << Echo("44 z8 01 z6 00 00 z6", ours, "P") << true << "-";
        QTest::newRow("a nick without zero ends at 32")
            << Echo("00 00 z6", ours, QByteArray(40, 'n')) << false << QString(32, u'n');
        QTest::newRow("ends after the marker") << Echo("00 00 z6", ours, {}) << false << "";
    }
    void echoReply()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, raw);
        const auto reply =
            EchoReply::Parse(bytes, raw ? EchoReply::TFormat::WithIpHeader : EchoReply::TFormat::IcmpOnly);
        QTEST(reply ? reply->Nick : QStringLiteral("-"), "nick");
        QVERIFY(!reply || reply->SentTick == 1234u);
    }

    // Shorter than its headers and the marker, a reply is none; nothing is read past the end
    // (the heap copies let a sanitizer see an overread).
    void echoReplyCutShort()
    {
        for (const bool raw : {true, false}) {
            const QByteArray whole = Echo(raw ? Raw : "00 00 z6", EchoReply::Marker, "Pilot");
            const auto format = raw ? EchoReply::TFormat::WithIpHeader : EchoReply::TFormat::IcmpOnly;
            for (qsizetype size = 0; size <= whole.size(); ++size)
                QCOMPARE(EchoReply::Parse(whole.left(size), format).has_value(), size >= (raw ? 36 : 16));
        }
    }

    void userReply_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("reply"); // value:nick, "-" when it is none
        QTest::newRow("full") << HexBytes("05 01 E8 03 'Pilot' z23") << "1000:Pilot";
        QTest::newRow("the nick ends at 28 bytes")
            << HexBytes("05 01 01 00") + QByteArray(31, 'n') << "1:" + QString(28, u'n');
        QTest::newRow("half a value") << HexBytes("05 01 07") << "7:";
        QTest::newRow("other type") << HexBytes("05 02 E8 03 'Pilot'") << "-";
        QTest::newRow("one byte") << HexBytes("05") << "-";
    }
    void userReply()
    {
        QFETCH(QByteArray, datagram);
        const auto reply = EchoReply::ParseUserReply(datagram);
        QTEST(reply ? QString::number(reply->Value) + u':' + reply->Nick : QStringLiteral("-"), "reply");
    }

    // The value is the sender's tick in 16 bits: the ping is taken modulo 65536.
    void userReplyPing_data()
    {
        QTest::addColumn<quint32>("replyTick");
        QTest::addColumn<quint16>("value");
        QTest::addColumn<quint32>("ping");
        QTest::newRow("plain") << 1000u << quint16(900) << 100u;
        QTest::newRow("reply tick past 16 bits") << 0x00012000u << quint16(0x1F00) << 0x100u;
        QTest::newRow("low bits wrapped") << 0x00010005u << quint16(0xFFF0) << 0x15u;
    }
    void userReplyPing()
    {
        QFETCH(quint32, replyTick);
        QFETCH(quint16, value);
        QTEST(replyTick - EchoReply::UserReplySentTick(replyTick, value), "ping");
    }
};

QTEST_GUILESS_MAIN(tst_ServerCodecs)
#include "tst_ServerCodecs.moc"
