// The game's command line: substitutions, argument splitting and the start error texts.
#include "pxo/LaunchCommand.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace LaunchCommand;

class TestLaunchCommand : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void displayLineMatchesTheClassicForm();
    void exePath_data();
    void exePath();
    void aliasToNick_data();
    void aliasToNick();
    void errorCodes();
};

void TestLaunchCommand::arguments_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QStringList>("args");
    const QStringList pxo{"-launched", "+name $chatname", "-pxo $ip", "-hostport $port", "-nointro"};
    const QStringList direct{"-launched", "+name $chatname", "-directip $ip", "-hostport $port", "-nointro"};
    QTest::addRow("pxo defaults") << pxo << "Ace"
                                  << QStringList{"-launched", "+name", "Ace", "-pxo", "10.0.0.1", "-hostport", "2092",
                                                 "-nointro"};
    QTest::addRow("direct ip defaults") << direct << "Ace"
                                        << QStringList{"-launched", "+name", "Ace", "-directip", "10.0.0.1",
                                                       "-hostport", "2092", "-nointro"};
    QTest::addRow("alias with blanks is one argument")
        << pxo.mid(1, 1) << "Big Bad Wolf" << QStringList{"+name", "Big Bad Wolf"};
    QTest::addRow("alias with quotes and shell text as typed")
        << pxo.mid(1, 1) << "\"x\"; rm -rf ~ `id` $(id)" << QStringList{"+name", "\"x\"; rm -rf ~ `id` $(id)"};
    QTest::addRow("alias holding $port stays as typed") << pxo.mid(1, 1) << "me$port$ip"
                                                        << QStringList{"+name", "me$port$ip"};
    QTest::addRow("glued to text") << QStringList{"+name=$chatname@$ip:$port"} << "A B"
                                   << QStringList{"+name=A B@10.0.0.1:2092"};
    QTest::addRow("quoted line part") << QStringList{"-title \"Descent 3 $port\""} << "A"
                                      << QStringList{"-title", "Descent 3 2092"};
    QTest::addRow("blank lines give nothing") << QStringList{"", "   "} << "A" << QStringList{};
    QTest::addRow("empty quoted argument") << QStringList{"-x \"\""} << "A" << QStringList{"-x", ""};
}

void TestLaunchCommand::arguments()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, alias);
    QFETCH(QStringList, args);
    QCOMPARE(Arguments(lines, alias, QStringLiteral("10.0.0.1"), 2092), args);
}

void TestLaunchCommand::displayLineMatchesTheClassicForm()
{
    const QStringList pxo{"-launched", "+name $chatname", "-pxo $ip", "-hostport $port", "-nointro"};
    QCOMPARE(DisplayLine("main.exe", pxo, "Ace", "1.2.3.4", 2092),
             QStringLiteral("main.exe -launched +name \"Ace\" -pxo 1.2.3.4 -hostport 2092 -nointro"));
}

void TestLaunchCommand::exePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("cut");
    QTest::addRow("one backslash removed") << "c:\\games\\descent3\\" << "c:\\games\\descent3";
    QTest::addRow("only one") << "c:\\games\\\\" << "c:\\games\\";
    QTest::addRow("drive root kept") << "c:\\" << "c:\\";
    QTest::addRow("root kept") << "\\" << "\\";
    QTest::addRow("unix slash") << "/opt/descent3/" << "/opt/descent3";
    QTest::addRow("unix root kept") << "/" << "/";
    QTest::addRow("plain") << "c:\\games" << "c:\\games";
}

void TestLaunchCommand::exePath()
{
    QFETCH(QString, path);
    QFETCH(QString, cut);
    QCOMPARE(ExePath(path), cut);
}

void TestLaunchCommand::aliasToNick_data()
{
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("nick");
    QTest::addRow("full stop") << "Big Bad.Wolf" << "Big_Bad";
    QTest::addRow("apostrophe") << "O'Neil" << "O";
    QTest::addRow("blank") << "Mr X" << "Mr_X";
    QTest::addRow("unchanged") << "Pilot" << "Pilot";
    QTest::addRow("empty result") << ".hidden" << "";
}

void TestLaunchCommand::aliasToNick()
{
    QFETCH(QString, alias);
    QFETCH(QString, nick);
    QCOMPARE(AliasToNick(alias), nick);
}

void TestLaunchCommand::errorCodes()
{
    QTemporaryDir dir;
    QCOMPARE(ErrorCode(QProcess::FailedToStart, dir.filePath("missing.exe")), 2);
    QCOMPARE(ErrorText(2), QStringLiteral("File was not found"));
    QCOMPARE(ErrorCode(QProcess::FailedToStart, dir.filePath("no/such/dir/main.exe")), 3);
    QFile file(dir.filePath("data.exe"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    file.setPermissions(QFileDevice::ReadOwner);
    QCOMPARE(ErrorCode(QProcess::FailedToStart, file.fileName()), 5);
    QCOMPARE(ErrorText(99), QStringLiteral("The game could not be started (error 99)"));
    QCOMPARE(ProgramPath("c:\\games\\descent3", "main.exe"), QStringLiteral("c:/games/descent3/main.exe"));
    QCOMPARE(ProgramPath("/opt/d3", "/usr/bin/d3"), QStringLiteral("/usr/bin/d3"));
}

QTEST_GUILESS_MAIN(TestLaunchCommand)
#include "tst_LaunchCommand.moc"
