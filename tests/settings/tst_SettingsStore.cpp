#include "common/StoreFixture.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QtTest>

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void firstRunWritesEveryDefault_data();
    void firstRunWritesEveryDefault();
    void firstRunWritesLinesAndGrid();
    void secondRunReadsBackUnchanged();
    void spinValuesAreClampedAndWrittenBack();
    void linesSkipBlanksAndMissingItems();
    void blankOnlyMemoSavesZeroAndEmptiesOnLoad();
    void choiceMinusOneKeepsDefaultText();
    void choiceOutsideItemsEmptiesTheBox();
    void wrongKindStopsLoadAndLeavesFileAlone_data();
    void wrongKindStopsLoadAndLeavesFileAlone();
    void unreadableFileIsReportedAndKept();
    void countsOutsideSaneRangeAreStoreErrors_data();
    void countsOutsideSaneRangeAreStoreErrors();
    void failedSaveAtExitIsCaught();
    void fileIsPrivate();
    void friendAndPreferedMatchTrimmedUpperCase();

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

void TestSettingsStore::firstRunWritesEveryDefault_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    const auto row = [](const char *section, const char *name, const QVariant &value) {
        QTest::addRow("%s/%s", section, name) << QString::fromLatin1(section) << QString::fromLatin1(name) << value;
    };
    row(KeyPXO, GameServer, QString::fromLatin1(PxoDefaults::GameTracker));
    row(KeyPXO, ChatServer, QString::fromLatin1(PxoDefaults::ChatServer));
    row(KeyPXO, UserServer, QString::fromLatin1(PxoDefaults::UserTracker));
    row(KeyPXO, AutoJoin, 1);
    row(KeyTalk, TalkAlias, QStringLiteral("unknown"));
    row(KeyTalk, AlwaysUseTalkAlias, 0);
    row(KeyTalk, GlobalRequests, 1);
    row(KeyTalk, FriendRequests, 1);
    row(KeyDescent, ExePath, QStringLiteral("c:\\games\\descent3"));
    row(KeyDescent, ExeName, QStringLiteral("main.exe"));
    row(KeyDescent, AutoLogin, 0);
    row(KeyDescent, DownloadToMissionsDir, 1);
    row(KeyChat, ChatAliasColor, 11);
    row(KeyChat, ChatTextColor, 3);
    row(KeyChat, ChatActionColor, 14);
    row(KeyChat, ChatOwnColor, 16);
    row(KeyChat, ChatFriendColor, 7);
    row(KeyChat, ChatPingTime, 6000);
    row(KeyChat, ChatPing, 1);
    row(KeyChat, ChatServerlistTime, 10000);
    row(KeyChat, ChatServerlist, 1);
    row(KeyChat, ChatChannellistTime, 11000);
    row(KeyChat, ChatChannellist, 1);
    row(KeyChat, ChatTimestamp, 1);
    row(KeyChat, ChatServerSortColumn, 0);
    row(KeyChat, ChatMessageSound, 0);
    row(KeyChat, ChatMessageFriendSound, 0);
    row(KeyChat, ChatJoinFriendSound, 0);
    row(KeyChat, ChatAwayMessageId, 0);
    row(KeyChat, ChatAwayMessage, QStringLiteral("I'm away..."));
    row(KeyChat, ChatAwayMessages, 0);
    row(KeyChat, ChatFriendsList, 0);
    row(KeyChat, ChannelTabsPos, -1);
    row(KeyChat, ChatLinesKept, 10000);
    row(KeyServers, ServerFilterPing, 2000);
    row(KeyServers, ServerFilterGametype, 0);
    row(KeyServers, ServerFilterMode, 0);
    row(KeyServers, ServerFilterMaxPlayers, 0);
    row(KeyServers, ServerFilterLevel, 0);
    row(KeyServers, AutoJoinDialog, 1);
    row(KeyServers, ServerVersion, -1);
    row(KeyServers, ServerDoubleClick, -1);
    row(KeyServers, ServerPrefered, 0);
    row(KeyServers, "Server ping interval 1", 70);
    row(KeyServers, "Server ping interval 2", 150);
    row(KeyServers, "Server ping interval 3", 200);
    row(KeyServers, "Server ping interval 4", 300);
    row(KeyServers, OnlyJoinIfLevelExists, 1);
    row(KeyServers, ContinousSort, 0);
    row(KeyFileTransfers, DefaultDownloadDirectory, QStringLiteral("c:\\temp"));
    row(KeyIRC, IRCServer, QString());
    row(KeyIRC, IRCNick, QString());
    row(KeyIRC, IRCFullName, QString());
    row(KeyIRC, IRCEMail, QString());
    row(KeyLogin, Login, 2);
}

void TestSettingsStore::firstRunWritesEveryDefault()
{
    QFETCH(QString, section);
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    TStoreFixture store;
    {
        Run run;
        QVERIFY(run.error.isEmpty());
    }
    const QJsonValue stored = store.Key(section).value(name);
    QVERIFY2(!stored.isUndefined(), qPrintable(name + QStringLiteral(" missing")));
    if (value.typeId() == QMetaType::Int) {
        QVERIFY(stored.isDouble());
        QCOMPARE(stored.toInt(), value.toInt());
    } else {
        QVERIFY(stored.isString());
        QCOMPARE(stored.toString(), value.toString());
    }
}

void TestSettingsStore::firstRunWritesLinesAndGrid()
{
    TStoreFixture store;
    {
        Run run;
    }
    const QJsonObject chat = store.Key(QLatin1String(KeyChat));
    QCOMPARE(chat.value(QLatin1String(ChatAlias)).toInt(), 4);
    QCOMPARE(chat.value(QStringLiteral("Chat alias1")).toString(), QStringLiteral("/pm=/msg"));
    const QJsonObject talk = store.Key(QLatin1String(KeyTalk));
    QCOMPARE(talk.value(QLatin1String(TalkServerPorts)).toInt(), 4);
    QCOMPARE(talk.value(QStringLiteral("Server ports3")).toString(), QStringLiteral("28049"));
    const QJsonObject servers = store.Key(QLatin1String(KeyServers));
    QCOMPARE(servers.value(QStringLiteral("Server ports0")).toString(), QStringLiteral("28050"));
    const QJsonObject descent = store.Key(QLatin1String(KeyDescent));
    QCOMPARE(descent.value(QStringLiteral("Exe params2")).toString(), QStringLiteral("-pxo $ip"));
    QCOMPARE(descent.value(QStringLiteral("Direct IP Params2")).toString(), QStringLiteral("-directip $ip"));

    // The login grid: a count of 2 and the ten cells of rows 0 and 1, header texts included.
    const QJsonObject login = store.Key(QLatin1String(KeyLogin));
    QCOMPARE(login.size(), 11);
    QCOMPARE(login.value(QStringLiteral("Login0_1")).toString(), QStringLiteral("Login name"));
    QCOMPARE(login.value(QStringLiteral("Login0_4")).toString(), QStringLiteral("Comment"));
    QCOMPARE(login.value(QStringLiteral("Login1_2")).toString(), QString());
    QCOMPARE(login.value(QStringLiteral("Login0_0")).toString(), QString());

    // Not seeded yet: no random seed is written.
    QVERIFY(store.Key(QString()).value(QLatin1String(RandomSeed)).isUndefined());
}

void TestSettingsStore::secondRunReadsBackUnchanged()
{
    TStoreFixture store;
    {
        Run run;
        run.config.edtTalkAlias->setText(QStringLiteral("Pilot \"7\""));
        SetMemoLines(run.config.memChatFriends, {QStringLiteral("  Ace"), QStringLiteral("Bob")});
        run.config.cmbChatChannelTabsPos->setCurrentIndex(1);
        run.config.sgrLogin->setRowCount(3);
        SetCellText(run.config.sgrLogin, 2, 3, QStringLiteral("alias3"));
        run.config.SaveAll();
    }
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

void TestSettingsStore::spinValuesAreClampedAndWrittenBack()
{
    TStoreFixture store;
    store.Write(R"({"\\Software\\Orlo\\Chat": {"Chat ping time": 100, "Chat serverlist time": 5000,
                   "Chat channellist time": 2000000, "Chat away message id": -7}})");
    store.Reopen();
    Run run;
    QVERIFY(run.error.isEmpty());
    QCOMPARE(run.config.speChatPingTime->Value(), 6000);
    const QJsonObject chat = store.Key(QLatin1String(KeyChat));
    QCOMPARE(chat.value(QLatin1String(ChatPingTime)).toInt(), 6000);
    QCOMPARE(chat.value(QLatin1String(ChatServerlistTime)).toInt(), 7000);
    QCOMPARE(chat.value(QLatin1String(ChatChannellistTime)).toInt(), 1000000);
    QCOMPARE(chat.value(QLatin1String(ChatAwayMessageId)).toInt(), -7); // unbounded field
}

void TestSettingsStore::linesSkipBlanksAndMissingItems()
{
    TStoreFixture store;
    {
        Run run;
        run.config.memChatFriends->setPlainText(QStringLiteral("first\n \t\nthird"));
        run.config.SaveAll();
        const QJsonObject chat = store.Key(QLatin1String(KeyChat));
        QCOMPARE(chat.value(QLatin1String(ChatFriendsList)).toInt(), 2);
        QCOMPARE(chat.value(QStringLiteral("Chat friends list0")).toString(), QStringLiteral("first"));
        QCOMPARE(chat.value(QStringLiteral("Chat friends list1")).toString(), QStringLiteral("third"));
    }
    store.Write(R"({"\\Software\\Orlo\\Chat": {"Chat friends list": 3, "Chat friends list0": "a",
                   "Chat friends list2": "c", "Chat friends list3": "never read"}})");
    store.Reopen();
    Run run;
    QCOMPARE(MemoLines(run.config.memChatFriends), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
}

void TestSettingsStore::blankOnlyMemoSavesZeroAndEmptiesOnLoad()
{
    TStoreFixture store;
    {
        Run run;
        run.config.memChatAlias->setPlainText(QStringLiteral("  \n\n"));
        run.config.SaveAll();
        QCOMPARE(store.Key(QLatin1String(KeyChat)).value(QLatin1String(ChatAlias)).toInt(), 0);
    }
    store.Reopen();
    Run run;
    QVERIFY(MemoLines(run.config.memChatAlias).isEmpty()); // the form's default lines are gone
}

void TestSettingsStore::choiceMinusOneKeepsDefaultText()
{
    TStoreFixture store;
    {
        Run run;
    }
    store.Reopen();
    Run run;
    QCOMPARE(run.config.cmbServersVersion->currentIndex(), -1);
    QCOMPARE(run.config.cmbServersVersion->Text(), QStringLiteral("1.3"));
    QCOMPARE(run.config.cmbServersDblClick->Text(), QStringLiteral("Join game"));
    QCOMPARE(run.config.cmbChatChannelTabsPos->Text(), QStringLiteral("Top"));

    // After picking "Left", Cancel with -1 stored removes the selection and empties the box.
    run.config.cmbChatChannelTabsPos->setCurrentIndex(1);
    run.config.btnCancelClick();
    QCOMPARE(run.config.cmbChatChannelTabsPos->currentIndex(), -1);
    QCOMPARE(run.config.cmbChatChannelTabsPos->Text(), QString());
    QCOMPARE(store.Key(QLatin1String(KeyChat)).value(QLatin1String(ChannelTabsPos)).toInt(), -1);
}

void TestSettingsStore::choiceOutsideItemsEmptiesTheBox()
{
    TStoreFixture store;
    store.Write(R"({"\\Software\\Orlo\\Chat": {"Chat text color": 18, "Chat own color": 2}})");
    store.Reopen();
    Run run;
    QCOMPARE(run.config.cmbChatTextColor->currentIndex(), -1);
    QCOMPARE(run.config.cmbChatTextColor->Text(), QString());
    QCOMPARE(run.config.cmbChatOwnColor->Text(), QStringLiteral("Black"));
    QCOMPARE(store.Key(QLatin1String(KeyChat)).value(QLatin1String(ChatTextColor)).toInt(), -1);
}

void TestSettingsStore::wrongKindStopsLoadAndLeavesFileAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addRow("string where a number belongs")
        << QByteArray(R"({"\\Software\\Orlo\\Servers": {"Server filter ping": "fast", "Auto-join dialog": 0},
                         "\\Software\\Orlo\\PXO": {"Game server": "later.example"}})")
        << QStringLiteral("Invalid data type for 'Server filter ping'");
    QTest::addRow("number where a string belongs")
        << QByteArray(R"({"\\Software\\Orlo\\File transfers": {"Default download directory": 5},
                         "\\Software\\Orlo\\PXO": {"Game server": "later.example"}})")
        << QStringLiteral("Invalid data type for 'Default download directory'");
    QTest::addRow("boolean") << QByteArray(R"({"\\Software\\Orlo\\PXO": {"Game server": "later.example",
                                              "Auto join": true}})")
                             << QStringLiteral("Invalid data type for 'Auto join'");
    // Numbers no 32-bit value holds are of no kind a read accepts, however large.
    QTest::addRow("number past 32 bits") << QByteArray(
                                                R"({"\\Software\\Orlo\\Servers": {"Server filter ping": 4294967296}})")
                                         << QStringLiteral("Invalid data type for 'Server filter ping'");
    QTest::addRow("number past 64 bits") << QByteArray(
                                                R"({"\\Software\\Orlo\\Servers": {"Server filter ping": 1e300}})")
                                         << QStringLiteral("Invalid data type for 'Server filter ping'");
    QTest::addRow("fraction") << QByteArray(R"({"\\Software\\Orlo\\Servers": {"Server filter ping": 1.5}})")
                              << QStringLiteral("Invalid data type for 'Server filter ping'");
}

void TestSettingsStore::wrongKindStopsLoadAndLeavesFileAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TStoreFixture store;
    store.Write(content);
    store.Reopen();
    {
        Run run;
        QCOMPARE(run.error, message);
        QVERIFY(ActiveStore().WritesDisabled());
        // Values after the faulty one were not loaded.
        if (!message.contains(QLatin1String("Auto join")))
            QCOMPARE(run.config.edtPXOGameServer->text(), QString::fromLatin1(PxoDefaults::GameTracker));
        run.config.edtTalkAlias->setText(QStringLiteral("changed"));
        QVERIFY(run.config.SaveAllQuietly().isEmpty());
    }
    QCOMPARE(store.Bytes(), content);
}

void TestSettingsStore::unreadableFileIsReportedAndKept()
{
    TStoreFixture store;
    const QByteArray broken("{\"\\\\Software\\\\Orlo\\\\PXO\": {\"Game server\": ");
    store.Write(broken);
    store.Reopen();
    {
        Run run;
        QVERIFY(run.error.startsWith(QStringLiteral("Unable to read the settings")));
        QCOMPARE(run.config.edtPXOGameServer->text(), QString::fromLatin1(PxoDefaults::GameTracker));
        run.config.SaveAllQuietly();
    }
    QCOMPARE(store.Bytes(), broken);
}

void TestSettingsStore::countsOutsideSaneRangeAreStoreErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("loginRows");
    QTest::addRow("lines count negative") << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": -1}})")
                                          << QStringLiteral("Failed to get data for 'Server ports'") << 2;
    QTest::addRow("lines count past 10000") << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": 10001}})")
                                            << QStringLiteral("Failed to get data for 'Server ports'") << 2;
    QTest::addRow("lines count at 10000")
        << QByteArray(R"({"\\Software\\Orlo\\Talk": {"Server ports": 10000}})") << QString() << 2;
    QTest::addRow("login rows 1") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 1}})")
                                  << QStringLiteral("Failed to get data for 'Login'") << 2;
    QTest::addRow("login rows 0") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 0}})")
                                  << QStringLiteral("Failed to get data for 'Login'") << 2;
    QTest::addRow("login rows huge") << QByteArray(R"({"\\Software\\Orlo\\Login": {"Login": 2000000000}})")
                                     << QStringLiteral("Failed to get data for 'Login'") << 2;
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

void TestSettingsStore::failedSaveAtExitIsCaught()
{
    QTemporaryDir dir;
    // The settings path lies below a plain file, so no write can succeed.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SetActiveStore(std::make_unique<TJsonSettingsStore>(dir.filePath(QStringLiteral("blocker/settings.json"))));
    {
        TfrmConfig config;
        try {
            config.Startup();
            QFAIL("the first save should fail");
        } catch (const EStoreError &e) {
            QVERIFY(e.Message().startsWith(QStringLiteral("Failed to set data for")));
        }
        // At program end the failure is returned, never thrown.
        QVERIFY(config.SaveAllQuietly().startsWith(QStringLiteral("Failed to set data for")));
    }
    SetActiveStore(nullptr);
}

void TestSettingsStore::fileIsPrivate()
{
    TStoreFixture store;
    {
        Run run;
    }
    const QFileDevice::Permissions perms = QFileInfo(store.Path()).permissions();
    QVERIFY(perms & QFileDevice::ReadOwner);
    QVERIFY(perms & QFileDevice::WriteOwner);
    QVERIFY(!(perms &
              (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther)));
    QVERIFY(!QFile::exists(store.Path() + QStringLiteral(".tmp")));
}

void TestSettingsStore::friendAndPreferedMatchTrimmedUpperCase()
{
    TStoreFixture store;
    Run run;
    SetMemoLines(run.config.memChatFriends, {QStringLiteral("  ace "), QStringLiteral("Bob")});
    QVERIFY(run.config.IsFriend(QStringLiteral("ACE")));
    QVERIFY(run.config.IsFriend(QStringLiteral(" bob  ")));
    QVERIFY(!run.config.IsFriend(QStringLiteral("bo")));
    SetMemoLines(run.config.memServersPrefered, {QStringLiteral("My Server")});
    QVERIFY(run.config.IsPreferedServer(QStringLiteral("my server ")));
    QVERIFY(!run.config.IsPreferedServer(QStringLiteral("myserver")));
}

QTEST_MAIN(TestSettingsStore)
#include "tst_SettingsStore.moc"
