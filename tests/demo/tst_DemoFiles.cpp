// What the demo writes: which levels are left missing, the level folders, the settings that
// point Orlo at the demo, and the IRC server's configuration text.
#include "demo/DemoFiles.h"
#include "demo/NgircdConfig.h"
#include "settings/Registry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_DemoFiles : public QObject
{
    Q_OBJECT

private slots:
    void missingLevels_data()
    {
        QTest::addColumn<QStringList>("levels");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("none") << QStringList{} << QStringList{};
        QTest::newRow("one level is the missing one") << QStringList{"a.mn3"} << QStringList{"a.mn3"};
        QTest::newRow("two: still one") << QStringList{"b.mn3", "a.mn3"} << QStringList{"a.mn3"};
        QTest::newRow("repeats count once")
            << QStringList{"c.mn3", "c.mn3", "c.mn3", "a.mn3", "b.mn3", ""} << QStringList{"a.mn3"};
        QTest::newRow("six: a third") << QStringList{"f", "e", "d", "c", "b", "a"} << QStringList{"a", "b"};
    }
    void missingLevels()
    {
        QFETCH(QStringList, levels);
        QFETCH(QStringList, missing);
        QCOMPARE(DemoFiles::ChooseMissing(levels), missing);
    }

    void levelFolders()
    {
        QTemporaryDir dir;
        DemoFiles::TLayout layout{dir.path()};
        QVERIFY(QDir().mkpath(layout.MissionsDir()));
        // A missing level the user downloaded earlier is taken away again, so the demo has
        // something to download on every start.
        QFile earlier(layout.MissionsDir() + QStringLiteral("/gone.mn3"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.close();
        QString error;
        QVERIFY(DemoFiles::PrepareLevels(layout, {"here.mn3", "gone.mn3", "../escape.mn3", "sub/x.mn3"}, {"gone.mn3"},
                                         error));
        QCOMPARE(QDir(layout.LevelsDir()).entryList(QDir::Files), (QStringList{"gone.mn3", "here.mn3"}));
        QCOMPARE(QDir(layout.MissionsDir()).entryList(QDir::Files), QStringList{"here.mn3"});
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("escape.mn3"))));
        QFile served(layout.LevelsDir() + QStringLiteral("/here.mn3"));
        QVERIFY(served.open(QIODevice::ReadOnly));
        const QByteArray bytes = served.readAll();
        QCOMPARE(bytes.size(), DemoFiles::LevelSize);
        QVERIFY(DemoFiles::LevelBytes(QStringLiteral("a")) != DemoFiles::LevelBytes(QStringLiteral("b")));
    }

    void levelFolderNotWritable()
    {
        QTemporaryDir dir;
        DemoFiles::TLayout layout{dir.filePath(QStringLiteral("file"))};
        QFile blocker(layout.Root);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString error;
        QVERIFY(!DemoFiles::PrepareLevels(layout, {"a.mn3"}, {}, error));
        QVERIFY2(error.contains(QStringLiteral("Cannot create")), qPrintable(error));
    }

    // The demo's values are written over what the file holds; the user's friends list stays.
    void settingsPointAtTheDemo()
    {
        QTemporaryDir dir;
        TJsonSettingsStore store(dir.filePath(QStringLiteral("settings.json")));
        const QString pxo = OrloKey(QStringLiteral("\\PXO"));
        const QString chat = OrloKey(QStringLiteral("\\Chat"));
        const DemoFiles::TSettings settings{QStringLiteral("127.9.8.1"), {}, {}, {}, {}, {},
                                            {QStringLiteral("Kestrel")}};
        DemoFiles::WriteSettings(store, settings);
        QCOMPARE(store.Value(chat, QStringLiteral("Chat friends list0")).toString(), QStringLiteral("Kestrel"));
        store.SetValue(pxo, QStringLiteral("User server"), QStringLiteral("elsewhere"));
        store.SetValue(chat, QStringLiteral("Chat friends list"), 0);
        DemoFiles::WriteSettings(store, settings);
        QCOMPARE(store.Value(pxo, QStringLiteral("User server")).toString(), QStringLiteral("127.9.8.1"));
        QCOMPARE(store.Value(chat, QStringLiteral("Chat friends list")).toInt(), 0);
    }

    // A value never adds a line of its own to the server's configuration.
    void ngircdConfigKeepsOneValuePerLine()
    {
        TNgircdConfig config;
        config.Motd = QStringLiteral("hello\n[Operator]\nPassword = x\r");
        config.Port = 7170;
        const QStringList lines = NgircdConfigText(config).split(QLatin1Char('\n'));
        QVERIFY(lines.contains(QStringLiteral("MotdPhrase = hello[Operator]Password = x")));
        QVERIFY(!lines.contains(QStringLiteral("[Operator]")));
        QVERIFY(lines.contains(QStringLiteral("Ports = 7170")));
    }
};

QTEST_GUILESS_MAIN(tst_DemoFiles)
#include "tst_DemoFiles.moc"
