// Game server replies against byte tables written here; every reply cut short reads as if
// zeros followed.
#include "pxo/ServerReplies.h"
#include "sim/HexBytes.h"

#include <QtTest>

using namespace ServerReplies;

namespace {
QByteArray Counted(const QByteArray &text)
{
    return char(text.size() + 1) + text + '\0';
}

struct TInfoBytes
{
    QByteArray texts = Counted("Arena") + Counted("city.mn3") + Counted("Fun") + Counted("Anarchy");
    quint16 levelNumber = 3, players = 5, maxPlayers = 8, sequence = 42;
    quint8 mode = 2, dedicated = 0, difficulty = 1;

    QByteArray Bytes() const
    {
        QByteArray d = HexBytes("01 1F 00 00 z16") + texts;
        for (quint16 v : {levelNumber, players, maxPlayers, sequence, quint16(0x1111), quint16(0x2222)})
            d += char(v & 0xFF) + QByteArray(1, char(v >> 8));
        d += char(mode) + QByteArray(1, char(0x7E)) + char(dedicated) + char(difficulty);
        return d;
    }
};

QByteArray PlayerList(const QByteArray &names)
{
    return HexBytes("01 73 00 00") + names;
}

QByteArray LevelReply(const QByteArray &texts)
{
    return HexBytes("01 61 00 00") + texts;
}

QString Latin(const char *text)
{
    return QString::fromLatin1(text);
}
} // namespace

class TestServerReplies : public QObject
{
    Q_OBJECT

private slots:
    void gameInfo_data();
    void gameInfo();
    void gameInfoCountsAndNames_data();
    void gameInfoCountsAndNames();
    void everyCutReadsAsZeros();
    void playerList_data();
    void playerList();
    void statusText_data();
    void statusText();
    void levelAddress_data();
    void levelAddress();
};

void TestServerReplies::gameInfo_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("texts"); // name, level, description, game type

    TInfoBytes plain;
    QTest::addRow("four texts") << plain.Bytes() << QStringList{"Arena", "city.mn3", "Fun", "Anarchy"};
    TInfoBytes zeroLength;
    zeroLength.texts = QByteArray("\0\0", 2) + Counted("city.mn3") + Counted("") + Counted("CTF");
    QTest::addRow("L = 0 reads as an empty text") << zeroLength.Bytes() << QStringList{"", "city.mn3", "", "CTF"};
    TInfoBytes innerZero;
    innerZero.texts = QByteArray("\x06"
                                 "ab\0cd\0",
                                 7) +
                      Counted("x.mn3") + Counted("d") + Counted("g");
    QTest::addRow("a zero inside a text ends it, the next text starts after L")
        << innerZero.Bytes() << QStringList{"ab", "x.mn3", "d", "g"};
    TInfoBytes unterminated;
    unterminated.texts = QByteArray("\x03"
                                    "abX",
                                    4) +
                         Counted("x.mn3") + Counted("d") + Counted("g");
    QTest::addRow("the byte after the characters is skipped whatever it holds")
        << unterminated.Bytes() << QStringList{"ab", "x.mn3", "d", "g"};
    const QByteArray full = plain.Bytes();
    QTest::addRow("cut inside the name") << full.left(20 + 1 + 3) << QStringList{"Are", "", "", ""};
    QTest::addRow("cut after the length byte of the level")
        << full.left(20 + 7 + 1) << QStringList{"Arena", "", "", ""};
    QTest::addRow("shorter than the fixed header") << full.left(12) << QStringList{"", "", "", ""};
    QTest::addRow("empty datagram") << QByteArray() << QStringList{"", "", "", ""};
    TInfoBytes encodings;
    encodings.texts = Counted("\xC3\xA9t\xC3\xA9") + Counted("\xE9t\xE9 \x80") + Counted("a\xC3") + Counted("");
    QTest::addRow("UTF-8, else Windows-1252, text by text")
        << encodings.Bytes()
        << QStringList{QStringLiteral("\u00E9t\u00E9"), QStringLiteral("\u00E9t\u00E9 \u20AC"),
                       QStringLiteral("a\u00C3"), ""};
}

void TestServerReplies::gameInfo()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, texts);
    const TGameInfo info = DecodeGameInfo(datagram);
    QCOMPARE((QStringList{info.Name, info.Level, info.Description, info.GameType}), texts);
}

void TestServerReplies::gameInfoCountsAndNames_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QList<int>>("counts"); // level number, players, max players, sequence
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("dedicated");
    QTest::addColumn<QString>("difficulty");

    const auto row = [](const char *name, quint8 mode, quint8 dedicated, quint8 difficulty, const char *modeText,
                        bool isDedicated, const char *difficultyText) {
        TInfoBytes b;
        b.mode = mode;
        b.dedicated = dedicated;
        b.difficulty = difficulty;
        QTest::addRow("%s", name) << b.Bytes() << QList<int>{3, 5, 8, 42} << Latin(modeText) << isDedicated
                                  << Latin(difficultyText);
    };
    row("mode 0, trainee", 0, 0, 0, "c/s pm", false, "Trainee");
    row("mode 5 dedicated, insane", 5, 1, 4, "p2p ml d", true, "Insane");
    row("mode 7 shown as 7", 7, 0, 0, "7", false, "Trainee");
    row("mode 7 dedicated shown as 7 d", 7, 1, 0, "7 d", true, "Trainee");
    row("dedicated flag 2 is not dedicated", 2, 2, 0, "c/s", false, "Trainee");
    row("difficulty 9 shown as 9", 2, 0, 9, "c/s", false, "9");
    row("mode 255, difficulty 255", 255, 1, 255, "255 d", true, "255");

    TInfoBytes high;
    high.levelNumber = 0xFFFF;
    high.players = 0x0102;
    high.maxPlayers = 0x8000;
    high.sequence = 0xFFFE;
    QTest::addRow("counts little-endian and unsigned")
        << high.Bytes() << QList<int>{0xFFFF, 0x0102, 0x8000, 0xFFFE} << Latin("c/s") << false << Latin("Rookie");
    const QByteArray full = TInfoBytes().Bytes();
    const int counts = 20 + 7 + 10 + 5 + 9;
    QTest::addRow("cut after players: the rest reads zero")
        << full.left(counts + 4) << QList<int>{3, 5, 0, 0} << Latin("c/s pm") << false << Latin("Trainee");
    QTest::addRow("cut inside the sequence number")
        << full.left(counts + 7) << QList<int>{3, 5, 8, 42} << Latin("c/s pm") << false << Latin("Trainee");
    QTest::addRow("cut before the difficulty")
        << full.left(full.size() - 1) << QList<int>{3, 5, 8, 42} << Latin("c/s") << false << Latin("Trainee");
}

void TestServerReplies::gameInfoCountsAndNames()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QList<int>, counts);
    QFETCH(QString, mode);
    QFETCH(bool, dedicated);
    QFETCH(QString, difficulty);
    const TGameInfo info = DecodeGameInfo(datagram);
    QCOMPARE((QList<int>{info.LevelNumber, info.Players, info.MaxPlayers, info.Sequence}), counts);
    QCOMPARE(info.Mode, mode);
    QCOMPARE(info.Dedicated, dedicated);
    QCOMPARE(info.Difficulty, difficulty);
}

void TestServerReplies::everyCutReadsAsZeros()
{
    // A reply cut after any byte reads exactly like that prefix followed by zeros.
    TInfoBytes full;
    full.mode = 5;
    full.dedicated = 1;
    full.difficulty = 3;
    const QByteArray info = full.Bytes();
    const QByteArray players = PlayerList(QByteArray("Kiwi\0Mole\0Nettle\0\0", 19));
    const QByteArray level = LevelReply(QByteArray("\x03   \0\x0Ehttp://a/x.mn3\0", 21));
    for (qsizetype cut = 0; cut <= info.size(); ++cut) {
        const QByteArray prefix = info.left(cut);
        const QByteArray padded = prefix + QByteArray(MaxReply - cut, '\0');
        const TGameInfo a = DecodeGameInfo(prefix);
        const TGameInfo b = DecodeGameInfo(padded);
        QVERIFY2(a.Name == b.Name && a.Level == b.Level && a.Description == b.Description && a.GameType == b.GameType &&
                     a.LevelNumber == b.LevelNumber && a.Players == b.Players && a.MaxPlayers == b.MaxPlayers &&
                     a.Sequence == b.Sequence && a.Mode == b.Mode && a.Difficulty == b.Difficulty,
                 qPrintable(QStringLiteral("cut at %1").arg(cut)));
    }
    for (qsizetype cut = 0; cut <= players.size(); ++cut) {
        const QByteArray prefix = players.left(cut);
        QCOMPARE(DecodePlayerList(prefix), DecodePlayerList(prefix + QByteArray(64, '\0')));
    }
    for (qsizetype cut = 0; cut <= level.size(); ++cut) {
        const QByteArray prefix = level.left(cut);
        QCOMPARE(DecodeLevelAddress(prefix), DecodeLevelAddress(prefix + QByteArray(64, '\0')));
    }
}

void TestServerReplies::playerList_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("names");

    QTest::addRow("names in reply order")
        << PlayerList(QByteArray("Kiwi\0Mole\0\0", 11)) << QStringList{"Kiwi", "Mole"};
    QTest::addRow("a second zero byte ends the list")
        << PlayerList(QByteArray("a\0bb\0\0c\0", 8)) << QStringList{"a", "bb"};
    QTest::addRow("a zero byte at offset 4 empties the list") << PlayerList(QByteArray("\0a\0", 3)) << QStringList{};
    QTest::addRow("a name of blanks is passed on: the caller skips it")
        << PlayerList(QByteArray("a\0   \0b\0\0", 9)) << QStringList{"a", "   ", "b"};
    QTest::addRow("the end of the datagram ends the list and the last name")
        << PlayerList(QByteArray("a\0bc", 4)) << QStringList{"a", "bc"};
    QTest::addRow("header only") << PlayerList(QByteArray()) << QStringList{};
    QTest::addRow("shorter than the header") << HexBytes("01 73") << QStringList{};
    QTest::addRow("duplicate names are both given") << PlayerList(QByteArray("a\0a\0", 4)) << QStringList{"a", "a"};

    // Bytes past 4096 are not part of the reply.
    QByteArray atLimit = PlayerList(QByteArray(4096 - 4 - 1, 'x')) + QByteArray("\0y\0", 3);
    QTest::addRow("a name starting past 4096 bytes is not read") << atLimit << QStringList{QString(4091, 'x')};
    QByteArray acrossLimit = PlayerList(QByteArray(4096 - 4 - 1, 'x')) + QByteArray("yz\0", 3);
    QTest::addRow("a name running past 4096 bytes is cut there")
        << acrossLimit << QStringList{QString(4091, 'x') + QLatin1Char('y')};
}

void TestServerReplies::playerList()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, names);
    QCOMPARE(DecodePlayerList(datagram), names);
}

void TestServerReplies::statusText_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("text");

    QTest::addRow("whole datagram without a zero")
        << QByteArray("\\gamever\\1.4\\brightships\\1") << Latin("\\gamever\\1.4\\brightships\\1");
    QTest::addRow("up to the first zero byte")
        << QByteArray("\\gamever\\1.4\0\\junk\\x", 19) << Latin("\\gamever\\1.4");
    QTest::addRow("a zero right after the backslash") << QByteArray("\\\0abc", 5) << Latin("\\");
    QTest::addRow("a trailing backslash stays") << QByteArray("\\a\\b\\") << Latin("\\a\\b\\");
    QTest::addRow("empty fields stay") << QByteArray("\\\\a\\\\") << Latin("\\\\a\\\\");
    QTest::addRow("UTF-8 and Windows-1252 names in one reply read the same")
        << QByteArray("\\player_0\\\xC3\xA9t\xC3\xA9\\player_1\\\xE9t\xE9")
        << QStringLiteral("\\player_0\\\u00E9t\u00E9\\player_1\\\u00E9t\u00E9");
    QTest::addRow("bytes past 4096 are not read")
        << QByteArray("\\a\\") + QByteArray(4093, 'b') + QByteArray("ccc") << Latin("\\a\\") + QString(4093, 'b');
}

void TestServerReplies::statusText()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, text);
    QCOMPARE(DecodeStatus(datagram), text);
}

void TestServerReplies::levelAddress_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("address");

    const QByteArray url = "http://127.0.0.1/levels/city.mn3";
    const QByteArray text = char(url.size()) + url + '\0';
    QTest::addRow("the first text") << LevelReply(text) << Latin(url);
    QTest::addRow("a blank first text, the address second")
        << LevelReply(QByteArray("\x03   \0", 5) + text) << Latin(url);
    QTest::addRow("a blank text between two empty ones is skipped")
        << LevelReply(QByteArray("\0\0\x02  \0\0\0", 8) + text) << Latin(url);
    QTest::addRow("two addresses: the first is taken")
        << LevelReply(QByteArray("\x0Ehttp://a/x.mn3\0", 16) + text) << Latin("http://a/x.mn3");
    QTest::addRow("blanks around the address trimmed")
        << LevelReply(QByteArray("\x10  http://a/x.mn3\0", 18)) << Latin("http://a/x.mn3");
    QTest::addRow("zero bytes inside a text dropped") << LevelReply(QByteArray("\x05"
                                                                               "ab\0cd\0",
                                                                               7))
                                                      << Latin("abcd");
    QTest::addRow("a length past the end reads what is there")
        << LevelReply(QByteArray("\x60http://a/x.mn3", 15)) << Latin("http://a/x.mn3");
    QTest::addRow("only empty texts") << LevelReply(QByteArray("\0\0\0\0", 4)) << QString();
    QTest::addRow("only blank texts") << LevelReply(QByteArray("\x01 \0\x02\t \0", 7)) << QString();
    QTest::addRow("header only") << LevelReply({}) << QString();
    QTest::addRow("empty datagram") << QByteArray() << QString();
    QByteArray pastLimit = LevelReply(QByteArray(4096 - 4, '\0')) + text;
    QTest::addRow("a text past 4096 bytes is not read") << pastLimit << QString();
}

void TestServerReplies::levelAddress()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, address);
    QCOMPARE(DecodeLevelAddress(datagram), address);
}

QTEST_GUILESS_MAIN(TestServerReplies)
#include "tst_ServerReplies.moc"
