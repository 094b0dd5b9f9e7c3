// Where a downloaded level goes: the name taken from the address and the folder rule.
#include "base/SafeName.h"
#include "pxo/LevelTarget.h"

#include <QDir>
#include <QtTest>

using namespace LevelTarget;

class TestLevelTarget : public QObject
{
    Q_OBJECT

private slots:
    void fileName_data();
    void fileName();
    void plainName_data();
    void plainName();
    void fetchable_data();
    void fetchable();
    void target_data();
    void target();
};

void TestLevelTarget::fileName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::addRow("after the last slash") << "http://h/levels/city.mn3"
                                          << "city.mn3";
    QTest::addRow("after the last backslash") << "http://h\\levels\\city.mn3"
                                              << "city.mn3";
    QTest::addRow("blanks around the address") << "  http://h/city.mn3 "
                                               << "city.mn3";
    QTest::addRow("blank inside the name kept") << "http://h/city pack.mn3"
                                                << "city pack.mn3";
    QTest::addRow("ending in a slash gives none") << "http://h/levels/"
                                                  << "";
    QTest::addRow("dot") << "http://h/levels/."
                         << "";
    QTest::addRow("dot dot") << "http://h/levels/.."
                             << "";
    QTest::addRow("no path at all") << "http://h"
                                    << "";
    QTest::addRow("query text is refused, not cut") << "http://h/city.mn3?x=1"
                                                    << "";
    QTest::addRow("a colon is refused") << "http://h/c:city.mn3"
                                        << "";
}

void TestLevelTarget::fileName()
{
    QFETCH(QString, address);
    QFETCH(QString, name);
    QCOMPARE(FileName(address), name);
}

void TestLevelTarget::plainName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addRow("plain") << "city.mn3"
                           << "city.mn3";
    QTest::addRow("directories dropped") << "../../etc/passwd"
                                         << "passwd";
    QTest::addRow("backslash directories dropped") << "..\\..\\win.ini"
                                                   << "win.ini";
    QTest::addRow("drive dropped") << "c:boot.ini"
                                   << "boot.ini";
    QTest::addRow("empty") << ""
                           << "";
    QTest::addRow("dot") << "a/."
                         << "";
    QTest::addRow("dot dot") << ".."
                             << "";
    QTest::addRow("trailing dot") << "city.mn3."
                                  << "";
    QTest::addRow("line feed") << "a\nb"
                               << "";
    QTest::addRow("direction override") << QStringLiteral("gpj\u202Eexe.txt") << "";
    QTest::addRow("Windows reserved character") << "a|b"
                                                << "";
    QTest::addRow("COM1 with extension") << "com1.txt"
                                         << "";
    QTest::addRow("CONSOLE is a file") << "console.log"
                                       << "console.log";
    QTest::addRow("255 UTF-8 bytes") << QString(255, 'n') << QString(255, 'n');
    QTest::addRow("256 UTF-8 bytes") << QString(256, 'n') << "";
}

void TestLevelTarget::plainName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(SafeName::PlainName(text), name);
    QCOMPARE(SafeName::IsPlain(text), !name.isEmpty() && name == text);
}

void TestLevelTarget::fetchable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("fetchable");
    QTest::addRow("http") << "http://127.0.0.1/x.mn3" << true;
    QTest::addRow("https") << "https://levels.example.org/x.mn3" << true;
    QTest::addRow("ftp") << "ftp://h/x.mn3" << false;
    QTest::addRow("a local file") << "file:///etc/passwd" << false;
    QTest::addRow("no host") << "http:///x.mn3" << false;
    QTest::addRow("empty") << "" << false;
}

void TestLevelTarget::fetchable()
{
    QFETCH(QString, address);
    QFETCH(bool, fetchable);
    QCOMPARE(IsFetchable(address), fetchable);
}

void TestLevelTarget::target_data()
{
    QTest::addColumn<bool>("toMissions");
    QTest::addColumn<QString>("gamePath");
    QTest::addColumn<QString>("downloadPath");
    QTest::addColumn<QString>("joined");
    QTest::addColumn<QString>("local"); // with "/" between folders

    QTest::addRow("missions folder, defaults") << true << "c:\\games\\descent3"
                                               << "c:\\temp"
                                               << "c:\\games\\descent3\\missions\\city.mn3"
                                               << "c:/games/descent3/missions/city.mn3";
    QTest::addRow("missions folder, slashes") << true << "/home/p/d3"
                                              << ""
                                              << "/home/p/d3\\missions\\city.mn3"
                                              << "/home/p/d3/missions/city.mn3";
    QTest::addRow("download folder c: gets no separator") << false << "x"
                                                          << "c:"
                                                          << "c:city.mn3"
                                                          << "c:city.mn3";
    QTest::addRow("download folder c:\\temp gets one") << false << "x"
                                                       << "c:\\temp"
                                                       << "c:\\temp\\city.mn3"
                                                       << "c:/temp/city.mn3";
    QTest::addRow("download folder c:/temp gets one") << false << "x"
                                                      << "c:/temp"
                                                      << "c:/temp\\city.mn3"
                                                      << "c:/temp/city.mn3";
    QTest::addRow("ending in a backslash") << false << "x"
                                           << "c:\\temp\\"
                                           << "c:\\temp\\city.mn3"
                                           << "c:/temp/city.mn3";
    QTest::addRow("empty download folder") << false << "x"
                                           << ""
                                           << "city.mn3"
                                           << "city.mn3";
}

void TestLevelTarget::target()
{
    QFETCH(bool, toMissions);
    QFETCH(QString, gamePath);
    QFETCH(QString, downloadPath);
    QFETCH(QString, joined);
    QFETCH(QString, local);
    const QString path = Join(Directory(toMissions, gamePath, downloadPath), QStringLiteral("city.mn3"));
    QCOMPARE(path, joined);
    QCOMPARE(LocalPath(path), QDir::toNativeSeparators(local));
}

QTEST_GUILESS_MAIN(TestLevelTarget)
#include "tst_LevelTarget.moc"
