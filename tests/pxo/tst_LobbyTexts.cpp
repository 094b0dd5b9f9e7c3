// What the lobby makes of the user's texts and the trackers' numbers: the game's command line
// (no shell), the game's folder, the nick of an alias, the server list's order, and the player
// window's texts at the edges of the rank table and the counters.
#include "pxo/LaunchCommand.h"
#include "pxo/PlayerStats.h"
#include "pxo/ServerListRules.h"

#include <QtTest>

using namespace LaunchCommand;

class tst_LobbyTexts : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QStringList>("args");
        const QStringList pxo{"-launched", "+name $chatname", "-pxo $ip", "-hostport $port", "-nointro"};
        QTest::newRow("pxo defaults") << pxo << "Ace" << QStringList{"-launched", "+name",     "Ace",  "-pxo",
                                                                     "10.0.0.1",  "-hostport", "2092", "-nointro"};
        QTest::newRow("shell text as typed, blanks and all, one argument")
            << pxo.mid(1, 1) << "\"x\"; rm -rf ~ `id` $(id)" << QStringList{"+name", "\"x\"; rm -rf ~ `id` $(id)"};
        QTest::newRow("$port in the alias stays")
            << pxo.mid(1, 1) << "me$port$ip" << QStringList{"+name", "me$port$ip"};
        QTest::newRow("glued to text") << QStringList{"+name=$chatname@$ip:$port"} << "A B"
                                       << QStringList{"+name=A B@10.0.0.1:2092"};
        QTest::newRow("quoted part") << QStringList{"-title \"Descent 3 $port\""} << "A"
                                     << QStringList{"-title", "Descent 3 2092"};
        QTest::newRow("blank lines give nothing") << QStringList{"", "   "} << "A" << QStringList{};
        QTest::newRow("empty quoted argument") << QStringList{"-x \"\""} << "A" << QStringList{"-x", ""};
    }
    void arguments()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, alias);
        QTEST(Arguments(lines, alias, QStringLiteral("10.0.0.1"), 2092), "args");
    }

    // The message's command line; the game's folder as set, one trailing separator off unless
    // it is a root; the program inside it unless absolute; the nick of an alias.
    void paths()
    {
        const QStringList pxo{"-launched", "+name $chatname", "-pxo $ip"};
        QCOMPARE(DisplayLine("main.exe", pxo, "Ace", "1.2.3.4", 2092),
                 QStringLiteral("main.exe -launched +name \"Ace\" -pxo 1.2.3.4"));
        const QList<std::pair<const char *, const char *>> cut{{"c:\\games\\descent3\\", "c:\\games\\descent3"},
                                                               {"c:\\games\\\\", "c:\\games\\"},
                                                               {"c:\\", "c:\\"},
                                                               {"/", "/"}};
        for (const auto &[path, expected] : cut)
            QCOMPARE(ExePath(QLatin1String(path)), QLatin1String(expected));
        QCOMPARE(ProgramPath("c:\\games\\descent3", "main.exe"), QStringLiteral("c:/games/descent3/main.exe"));
        QCOMPARE(ProgramPath("/opt/d3", "/usr/bin/d3"), QStringLiteral("/usr/bin/d3"));
        QCOMPARE(AliasToNick(QStringLiteral("Mr X'Neil.Wolf")), QStringLiteral("Mr_X"));
    }

    // The list's order: preferred servers first, then the column's rule.
    void sortRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("first"); // caption, players, ping; p preferred, d dedicated
        QTest::addColumn<QString>("second");
        using namespace ServerListRules;
        QTest::newRow("caption ignoring case") << int(ColName) << "A 1/8 0" << QStringLiteral("b 1/8 0");
        QTest::newRow("players: fuller first, 10 before 9")
            << int(ColPlayers) << "b 10/16 0" << QStringLiteral("a 9/16 0");
        QTest::newRow("ping as numbers") << int(ColPing) << "b 1/8 9" << QStringLiteral("a 1/8 40");
        QTest::newRow("dedicated first") << int(ColMode) << "b 1/8 0 d" << QStringLiteral("a 1/8 0");
        QTest::newRow("preferred first") << int(ColPing) << "b 1/8 999 p" << QStringLiteral("a 1/8 1");
    }
    void sortRules()
    {
        QFETCH(int, column);
        const auto row = [](const QString &text) {
            ServerListRules::TRow row;
            const QStringList f = text.split(u' ');
            std::tie(row.Cells[ServerListRules::ColName], row.Cells[ServerListRules::ColPlayers],
                     row.Cells[ServerListRules::ColPing], row.Preferred, row.Dedicated) =
                std::tuple(f[0], f[1], f[2], f.value(3) == u"p", f.value(3) == u"d");
            return row;
        };
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(ServerListRules::LessThan(row(first), row(second), column));
        QVERIFY(!ServerListRules::LessThan(row(second), row(first), column));
    }

    // Ranks at the edges of the table and past its end; kills in percent, in arithmetic that
    // neither wraps nor overflows.
    void statistics()
    {
        QCOMPARE(PlayerStats::RankText(599), QStringLiteral("599 Cadet, Ensign at 600"));
        QCOMPARE(PlayerStats::RankText(600), QStringLiteral("600 Ensign, Lieutenant at 900"));
        QCOMPARE(PlayerStats::RankText(65535), QStringLiteral("65535 Demigod, God at 100000"));
        const QList<std::tuple<quint32, quint32, quint32, const char *>> efficiency{
            {30, 10, 0, "75"},         {0, 0, 0, "Unknown"},     {1, 2, 0, "33"},
            {0xFFFFFFFFu, 1, 0, "99"}, {50000000u, 0, 0, "100"}, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, "33"}};
        for (const auto &[kills, deaths, suicides, text] : efficiency)
            QCOMPARE(PlayerStats::EfficiencyText(kills, deaths, suicides), QLatin1String(text));
        QCOMPARE(PlayerStats::PingText(0xFFFFFFFFu), QStringLiteral("4294967295"));
    }
};

QTEST_GUILESS_MAIN(tst_LobbyTexts)
#include "tst_LobbyTexts.moc"
