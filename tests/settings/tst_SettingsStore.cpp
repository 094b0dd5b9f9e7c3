#include "common/FileSizeLimit.h"
#include "common/StoreFixture.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void secondRunReadsBackUnchanged();
    void valuesOutsideTheirBoundsAreCorrected();
    void linesSkipBlanksAndMissingItems();
    void unusableFileStopsLoadAndIsLeftAlone_data();
    void unusableFileStopsLoadAndIsLeftAlone();
    void countsOutsideSaneRangeAreStoreErrors_data();
    void countsOutsideSaneRangeAreStoreErrors();
    void saveFailingHalfwayKeepsTheLastFile();

private:
    struct Run
    {
        TfrmConfig config;
        QString error;
        Run()
        {
            SetConfig(&config);
            try {
                config.Startup();
            } catch (const EStoreError &e) {
                error = e.Message();
            }
        }
        ~Run() { SetConfig(nullptr); }
    };
};

using namespace StoreNames;

void TestSettingsStore::secondRunReadsBackUnchanged()
{
    TStoreFixture store;
    {
        Run run;
        QVERIFY(run.error.isEmpty());
        // Not seeded yet: no random seed is written.
        QVERIFY(store.Key(QString()).value(QLatin1String(RandomSeed)).isUndefined());
        run.config.edtTalkAlias->setText(QStringLiteral("Pilot \"7\""));
        SetMemoLines(run.config.memChatFriends, {QStringLiteral("  Ace"), QStringLiteral("Bob")});
        run.config.cmbChatChannelTabsPos->setCurrentIndex(1);
        run.config.sgrLogin->setRowCount(3);
        SetCellText(run.config.sgrLogin, 2, 3, QStringLiteral("alias3"));
        run.config.SaveAll();
    }
    // The file holds passwords: the owner's alone.
    const QFileDevice::Permissions perms = QFileInfo(store.Path()).permissions();
    QVERIFY(perms & QFileDevice::WriteOwner);
    QVERIFY(!(perms &
              (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther)));
    const QByteArray first = store.Bytes();
    store.Reopen();
    {
        Run run;
        QCOMPARE(run.config.edtTalkAlias->text(), QStringLiteral("Pilot \"7\""));
        QCOMPARE(MemoLines(run.config.memChatFriends), QStringList({QStringLiteral("  Ace"), QStringLiteral("Bob")}));
        QCOMPARE(run.config.cmbChatChannelTabsPos->Text(), QStringLiteral("Left"));
        QCOMPARE(run.config.sgrLogin->rowCount(), 3);
        QCOMPARE(CellText(run.config.sgrLogin, 2, 3), QStringLiteral("alias3"));
    }
    QCOMPARE(store.Bytes(), first);
}

// Numbers are clamped to their fields' bounds and written back; a choice of -1 (the first
// run's) keeps the form's default text, one past the items empties the box.
void TestSettingsStore::valuesOutsideTheirBoundsAreCorrected()
{
    TStoreFixture store;
    store.Write(R"({"\\Software\\Orlo\\Chat": {"Chat ping time": 100, "Chat serverlist time": 5000,
                   "Chat channellist time": 2000000, "Chat away message id": -7,
                   "Chat text color": 18, "Chat own color": 2}})");
    store.Reopen();
    Run run;
    QVERIFY(run.error.isEmpty());
    QCOMPARE(run.config.speChatPingTime->Value(), 6000);
    const QJsonObject chat = store.Key(QLatin1String(KeyChat));
    QCOMPARE(chat.value(QLatin1String(ChatPingTime)).toInt(), 6000);
    QCOMPARE(chat.value(QLatin1String(ChatServerlistTime)).toInt(), 7000);
    QCOMPARE(chat.value(QLatin1String(ChatChannellistTime)).toInt(), 1000000);
    QCOMPARE(chat.value(QLatin1String(ChatAwayMessageId)).toInt(), -7); // unbounded field
    QCOMPARE(run.config.cmbServersVersion->currentIndex(), -1);
    QCOMPARE(run.config.cmbServersVersion->Text(), QStringLiteral("1.3"));
    QCOMPARE(run.config.cmbChatTextColor->Text(), QString());
    QCOMPARE(chat.value(QLatin1String(ChatTextColor)).toInt(), -1);
    QCOMPARE(run.config.cmbChatOwnColor->Text(), QStringLiteral("Black"));
}

void TestSettingsStore::linesSkipBlanksAndMissingItems()
{
    TStoreFixture store;
    {
        Run run;
        run.config.memChatFriends->setPlainText(QStringLiteral("first\n \t\nthird"));
        run.config.memChatAlias->setPlainText(QStringLiteral("  \n\n"));
        run.config.SaveAll();
        const QJsonObject chat = store.Key(QLatin1String(KeyChat));
        QCOMPARE(chat.value(QLatin1String(ChatFriendsList)).toInt(), 2);
        QCOMPARE(chat.value(QStringLiteral("Chat friends list0")).toString(), QStringLiteral("first"));
        QCOMPARE(chat.value(QStringLiteral("Chat friends list1")).toString(), QStringLiteral("third"));
        QCOMPARE(chat.value(QLatin1String(ChatAlias)).toInt(), 0);
    }
    store.Write(R"({"\\Software\\Orlo\\Chat": {"Chat friends list": 3, "Chat friends list0": "a",
                   "Chat friends list2": "c", "Chat friends list3": "never read", "Chat alias": 0}})");
    store.Reopen();
    Run run;
    QCOMPARE(MemoLines(run.config.memChatFriends), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    QVERIFY(MemoLines(run.config.memChatAlias).isEmpty()); // the form's default lines are gone
}

void TestSettingsStore::unusableFileStopsLoadAndIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const char *servers, const char *message) {
        QTest::addRow("%s", name) << QByteArray(R"({"\\Software\\Orlo\\Servers": {"Server filter ping": )") + servers +
                                         R"(}, "\\Software\\Orlo\\PXO": {"Game server": "later.example"}})"
                                  << QString::fromLatin1(message);
    };
    row("string where a number belongs", "\"fast\"", "Invalid data type for 'Server filter ping'");
    row("boolean", "true", "Invalid data type for 'Server filter ping'");
    // Numbers no 32-bit value holds are of no kind a read accepts, however large.
    row("number past 32 bits", "4294967296", "Invalid data type for 'Server filter ping'");
    row("number past 64 bits", "1e300", "Invalid data type for 'Server filter ping'");
    row("fraction", "1.5", "Invalid data type for 'Server filter ping'");
    QTest::addRow("number where a string belongs")
        << QByteArray(R"({"\\Software\\Orlo\\File transfers": {"Default download directory": 5},
                         "\\Software\\Orlo\\PXO": {"Game server": "later.example"}})")
        << QStringLiteral("Invalid data type for 'Default download directory'");
    QTest::addRow("not JSON") << QByteArray("{\"\\\\Software\\\\Orlo\\\\PXO\": {\"Game server\": ")
                              << QStringLiteral("Unable to read the settings");
}

void TestSettingsStore::unusableFileStopsLoadAndIsLeftAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TStoreFixture store;
    store.Write(content);
    store.Reopen();
    {
        Run run;
        QVERIFY2(run.error.startsWith(message), qPrintable(run.error));
        QVERIFY(ActiveStore().WritesDisabled());
        // Values after the faulty one were not loaded.
        QCOMPARE(run.config.edtPXOGameServer->text(), QString::fromLatin1(PxoDefaults::GameTracker));
        run.config.edtTalkAlias->setText(QStringLiteral("changed"));
        run.config.SaveAllQuietly();
    }
    QCOMPARE(store.Bytes(), content);
}

void TestSettingsStore::countsOutsideSaneRangeAreStoreErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("loginRows");
    const QString ports = QStringLiteral("Failed to get data for 'Server ports'");
    const QString login = QStringLiteral("Failed to get data for 'Login'");
    QTest::addRow("lines count negative")
        << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": -1}})") << ports << 2;
    QTest::addRow("lines count past 10000")
        << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": 10001}})") << ports << 2;
    QTest::addRow("lines count at 10000")
        << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": 10000}})") << QString() << 2;
    QTest::addRow("login rows 1") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 1}})") << login << 2;
    QTest::addRow("login rows huge") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 2000000000}})") << login
                                     << 2;
    QTest::addRow("login rows 4") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 4}})") << QString() << 4;
}

void TestSettingsStore::countsOutsideSaneRangeAreStoreErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, loginRows);
    TStoreFixture store;
    store.Write(content);
    store.Reopen();
    Run run;
    QCOMPARE(run.error, message);
    QCOMPARE(run.config.sgrLogin->rowCount(), loginRows);
    QCOMPARE(ActiveStore().WritesDisabled(), !message.isEmpty());
}

// The disk fills up in the middle of a save: the last good file stays whole, the failure is
// told, and what the user set is written once there is room again.
void TestSettingsStore::saveFailingHalfwayKeepsTheLastFile()
{
    TStoreFixture store;
    Run run;
    QVERIFY(run.error.isEmpty());
    const QByteArray good = store.Bytes();
    QVERIFY(good.size() > 1000);
    QStringList friends;
    for (int i = 0; i < 2000; ++i)
        friends << QStringLiteral("Pilot%1").arg(i);
    SetMemoLines(run.config.memChatFriends, friends);
    QString error;
    {
        TFileSizeLimit full(good.size() + 4096);
        QVERIFY(full.IsActive());
        error = run.config.SaveAllQuietly();
    }
    QVERIFY2(error.startsWith(QStringLiteral("Failed to set data for")), qPrintable(error));
    QCOMPARE(store.Bytes(), good);
    QCOMPARE(QFileInfo(store.Path()).dir().entryList(QDir::Files | QDir::Hidden), QStringList{"settings.json"});

    QCOMPARE(run.config.SaveAllQuietly(), QString());
    QCOMPARE(store.Key(QLatin1String(KeyChat)).value(QLatin1String(ChatFriendsList)).toInt(), 2000);
}

QTEST_MAIN(TestSettingsStore)
#include "tst_SettingsStore.moc"
