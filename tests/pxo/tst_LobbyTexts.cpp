// What the lobby makes of the user's texts and the trackers' numbers: the game's command line
// (no shell), the nick of an alias, start errors, and the player window's texts at the edges of
// the rank table and the counters.
#include "pxo/LaunchCommand.h"
#include "pxo/PlayerStats.h"

#include <QTemporaryDir>
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
        QTest::newRow("an alias with blanks is one argument")
            << pxo.mid(1, 1) << "Big Bad" << QStringList{"+name", "Big Bad"};
        QTest::newRow("shell text as typed")
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

    void paths()
    {
        const QStringList pxo{"-launched", "+name $chatname", "-pxo $ip", "-hostport $port", "-nointro"};
        QCOMPARE(DisplayLine("main.exe", pxo, "Ace", "1.2.3.4", 2092),
                 QStringLiteral("main.exe -launched +name \"Ace\" -pxo 1.2.3.4 -hostport 2092 -nointro"));
        const QList<std::pair<const char *, const char *>> cut{{"c:\\games\\descent3\\", "c:\\games\\descent3"},
                                                               {"c:\\games\\\\", "c:\\games\\"},
                                                               {"c:\\", "c:\\"},
                                                               {"\\", "\\"},
                                                               {"/opt/descent3/", "/opt/descent3"},
                                                               {"/", "/"},
                                                               {"c:\\games", "c:\\games"}};
        for (const auto &[path, expected] : cut)
            QCOMPARE(ExePath(QLatin1String(path)), QLatin1String(expected));
        QCOMPARE(ProgramPath("c:\\games\\descent3", "main.exe"), QStringLiteral("c:/games/descent3/main.exe"));
        QCOMPARE(ProgramPath("/opt/d3", "/usr/bin/d3"), QStringLiteral("/usr/bin/d3"));
        const QList<std::pair<const char *, const char *>> nicks{
            {"Big Bad.Wolf", "Big_Bad"}, {"O'Neil", "O"}, {"Mr X", "Mr_X"}, {"Pilot", "Pilot"}, {".hidden", ""}};
        for (const auto &[alias, nick] : nicks)
            QCOMPARE(AliasToNick(QLatin1String(alias)), QLatin1String(nick));
    }

    void startErrors()
    {
        QTemporaryDir dir;
        QCOMPARE(ErrorText(ErrorCode(QProcess::FailedToStart, dir.filePath("missing.exe"))),
                 QStringLiteral("File was not found"));
        QCOMPARE(ErrorCode(QProcess::FailedToStart, dir.filePath("no/such/dir/main.exe")), 3);
        QFile file(dir.filePath("data.exe"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        file.setPermissions(QFileDevice::ReadOwner);
        QCOMPARE(ErrorCode(QProcess::FailedToStart, file.fileName()), 5);
        QCOMPARE(ErrorText(99), QStringLiteral("The game could not be started (error 99)"));
    }

    void rankText_data()
    {
        QTest::addColumn<int>("rating");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0 Cadet, Ensign at 600";
        QTest::newRow("599") << 599 << "599 Cadet, Ensign at 600";
        QTest::newRow("600") << 600 << "600 Ensign, Lieutenant at 900";
        QTest::newRow("2599, last of the short row") << 2599 << "2599 Rear Admiral, Admiral at 2600";
        QTest::newRow("2600") << 2600 << "2600 Admiral, Demigod at 3000";
        QTest::newRow("3000") << 3000 << "3000 Demigod, God at 100000";
        QTest::newRow("65535") << 65535 << "65535 Demigod, God at 100000";
    }
    void rankText()
    {
        QFETCH(int, rating);
        QTEST(PlayerStats::RankText(quint16(rating)), "text");
    }

    // Kills in percent, in arithmetic that neither wraps nor overflows.
    void efficiency_data()
    {
        QTest::addColumn<quint32>("kills");
        QTest::addColumn<quint32>("deaths");
        QTest::addColumn<quint32>("suicides");
        QTest::addColumn<QString>("text");
        QTest::newRow("30/10/0") << 30u << 10u << 0u << "75";
        QTest::newRow("all zero") << 0u << 0u << 0u << "Unknown";
        QTest::newRow("rounded down") << 1u << 2u << 0u << "33";
        QTest::newRow("a sum past 2^32 is not unknown") << 0xFFFFFFFFu << 1u << 0u << "99";
        QTest::newRow("kills times 100 past 2^32") << 50000000u << 0u << 0u << "100";
        QTest::newRow("largest counts") << 0xFFFFFFFFu << 0xFFFFFFFFu << 0xFFFFFFFFu << "33";
    }
    void efficiency()
    {
        QFETCH(quint32, kills);
        QFETCH(quint32, deaths);
        QFETCH(quint32, suicides);
        QTEST(PlayerStats::EfficiencyText(kills, deaths, suicides), "text");
        QCOMPARE(PlayerStats::PingText(0xFFFFFFFFu), QStringLiteral("4294967295"));
    }
};

QTEST_GUILESS_MAIN(tst_LobbyTexts)
#include "tst_LobbyTexts.moc"
