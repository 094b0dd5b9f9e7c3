// The frame's "Locate users" and "Cached user info" windows over real lobbies and chat
// forms: what they list, what their items do, and rows leaving with their server or user.
#include "app/UfrmMain.h"
#include "chat/Server.h"
#include "common/Loopback.h"
#include "common/StoreFixture.h"
#include "irc/User.h"
#include "pxo/UfrmCachedUserInfo.h"
#include "pxo/UfrmLocateUsers.h"
#include "pxo/UfrmPXO.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "pxo/UfrmPXOServerInfo.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

namespace {
// A lobby that records the statistics requests instead of sending them.
class TRecordingLobby : public TfrmDescent
{
public:
    void RequestStats(const QString &displayName, const QString &) override { Stats << displayName; }
    QStringList Stats;
};

TServer *AddNamedServer(TfrmPXO *lobby, const QString &ip, const QString &name, const QStringList &players)
{
    if (!lobby->AddServer(ip, 2092))
        return nullptr;
    TServer *server = lobby->FindServer(ip, 2092);
    server->Name = name;
    for (const QString &player : players) {
        auto *entry = new TServerUser;
        entry->Name = player;
        server->PlayerList.append(entry);
    }
    return server;
}

QList<QStringList> Rows(const QTreeWidget *list)
{
    QList<QStringList> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->topLevelItem(i)->text(c);
        rows << cells;
    }
    return rows;
}

void Select(QTreeWidget *list, const QString &caption, const QString &location = {})
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = list->topLevelItem(i);
        if (row->text(0) == caption && (location.isEmpty() || row->text(1) == location)) {
            list->setCurrentItem(row);
            return;
        }
    }
    QFAIL("no such row");
}
} // namespace

class tst_LocateUsers : public QObject
{
    Q_OBJECT

    std::unique_ptr<TStoreFixture> m_store;
    std::unique_ptr<TfrmConfig> m_config;
    std::unique_ptr<TfrmMain> m_main;
    QStringList m_boxes;

    QAction *Item(const char *name) { return m_main->findChild<QAction *>(QLatin1String(name)); }
    template <typename T> T *Open(const char *item)
    {
        QAction *action = Item(item);
        if (!action || !action->isEnabled())
            return nullptr;
        action->trigger();
        const QList<T *> windows = m_main->ChildWindowsOf<T>();
        return windows.isEmpty() ? nullptr : windows.first();
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_store = std::make_unique<TStoreFixture>();
        m_config = std::make_unique<TfrmConfig>();
        SetConfig(m_config.get());
        m_config->Startup();
        m_boxes.clear();
        MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            m_boxes << text;
            return QMessageBox::Ok;
        });
        TMainOptions options;
        options.peerAddress = RandomLoopback();
        options.peerPort = 0;
        m_main = std::make_unique<TfrmMain>(options);
    }
    void cleanup()
    {
        m_main.reset();
        SetConfig(nullptr);
        m_config.reset();
        m_store.reset();
        MessageBox::SetHook({});
    }

    // Every player of every named server, two rows for one name on two servers; the rows
    // of a removed server go while the header keeps its count.
    void rowsPerPlayerAndServer()
    {
        auto *lobby = new TfrmDescent;
        m_main->AddChildWindow(lobby);
        TServer *arena = AddNamedServer(lobby, QStringLiteral("127.0.0.1"), QStringLiteral("Arena <b>"),
                                        {QStringLiteral("Kiwi"), QStringLiteral("Mole")});
        TServer *pit =
            AddNamedServer(lobby, QStringLiteral("127.0.0.2"), QStringLiteral("Pit"), {QStringLiteral("Kiwi")});
        // No game info yet: no name, no rows, whatever players it has.
        QVERIFY(AddNamedServer(lobby, QStringLiteral("127.0.0.3"), QStringLiteral("  "), {QStringLiteral("Ghost")}));
        QVERIFY(arena && pit);

        auto *window = Open<TfrmLocateUsers>("mnuLocateUsers");
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Locate users"));
        // Sorted by the player's name; a name's rows keep the lobby's server order.
        QCOMPARE(Rows(window->lvwUsers),
                 (QList<QStringList>{{"Kiwi", "Arena <b>"}, {"Kiwi", "Pit"}, {"Mole", "Arena <b>"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));
        QCOMPARE(window->lvwUsers->headerItem()->text(1), QStringLiteral("Location"));

        lobby->RemoveServer(arena);
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"Kiwi", "Pit"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));

        // The lobby closing takes its servers' rows along.
        delete lobby;
        QCOMPARE(window->lvwUsers->topLevelItemCount(), 0);
        QVERIFY(!window->SelectedServer());
        window->mnuJoinGameClick(); // nothing selected: nothing happens
        window->mnuServerInfoClick();
        QVERIFY(m_boxes.isEmpty());
    }

    // "Join game" goes through the lobby (refused while a game runs, level check);
    // "Server Info" opens the server's window.
    void itemsActOnTheRowsServer()
    {
        auto *lobby = new TfrmDescent;
        m_main->AddChildWindow(lobby);
        TServer *pit =
            AddNamedServer(lobby, QStringLiteral("127.0.0.2"), QStringLiteral("Pit"), {QStringLiteral("Kiwi")});
        QVERIFY(pit);
        auto *window = Open<TfrmLocateUsers>("mnuLocateUsers");
        QVERIFY(window);
        Select(window->lvwUsers, QStringLiteral("Kiwi"));
        QCOMPARE(window->SelectedServer(), pit);

        lobby->InGame = true;
        window->mnuJoinGame->trigger();
        QCOMPARE(m_boxes, QStringList{"The game is still running: join another one after it has ended."});
        lobby->InGame = false;
        m_config->cbxServerJoinLevelExist->setChecked(true);
        pit->LevelPresent = false;
        window->mnuJoinGame->trigger();
        QCOMPARE(m_boxes.last(), QStringLiteral("Unable to join game, level is missing!"));
        QVERIFY(!lobby->GameRunning());

        QVERIFY(!TfrmPXOServerInfo::FindFor(pit));
        window->mnuServerInfo->trigger();
        QTRY_VERIFY(TfrmPXOServerInfo::FindFor(pit));
        QCOMPARE(lobby->InfoPort, quint16(2092));

        // The server goes: the information window keeps its values, the locate rows go.
        TfrmPXOServerInfo *info = TfrmPXOServerInfo::FindFor(pit);
        lobby->RemoveServer(pit);
        QVERIFY(!info->Server());
        QCOMPARE(info->windowTitle(), QStringLiteral("PXO Server Info (Pit)"));
        QCOMPARE(window->lvwUsers->topLevelItemCount(), 0);
    }

    // Every user of every chat window; a double-click shows what is known with the ping off
    // and asks nothing; rows leave with their users.
    void cachedUsers()
    {
        auto *lobby = new TRecordingLobby;
        m_main->AddChatWindow(lobby);
        auto *chat = new TfrmChat;
        m_main->AddChatWindow(chat);
        TUser *zed = lobby->FindOrAddUser(QStringLiteral("zed"));
        TUser *amy = lobby->FindOrAddUser(QStringLiteral("amy"));
        QVERIFY(chat->FindOrAddUser(QStringLiteral("bob")));
        amy->DisplayName = QStringLiteral("Amy");
        amy->Kills = 3;
        QVERIFY(zed);

        auto *window = Open<TfrmCachedUserInfo>("mnuCachedUserInfo");
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Cached user info"));
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"amy"}, {"bob"}, {"zed"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));

        window->lvwUsersDblClick(window->lvwUsers->topLevelItem(0));
        TfrmPXOPlayerInfo *player = TfrmPXOPlayerInfo::FindFor(QStringLiteral("amy"));
        QVERIFY(player);
        QVERIFY(!player->cbxPing->isChecked());
        QCOMPARE(player->lblName->text(), QStringLiteral("Amy"));
        QCOMPARE(player->lblKills->text(), QStringLiteral("3"));
        QVERIFY(lobby->Stats.isEmpty());
        QVERIFY(!amy->InfoRequested);

        // Also a user of a plain chat window.
        window->lvwUsersDblClick(window->lvwUsers->topLevelItem(1));
        QVERIFY(TfrmPXOPlayerInfo::FindFor(QStringLiteral("bob")));

        QPointer<TfrmPXOPlayerInfo> kept = player;
        delete chat;
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"amy"}, {"zed"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));
        delete lobby;
        QCOMPARE(window->lvwUsers->topLevelItemCount(), 0);
        QVERIFY(kept);
        QVERIFY(!kept->User());
        QCOMPARE(kept->lblKills->text(), QStringLiteral("3"));
    }
};

QTEST_MAIN(tst_LocateUsers)
#include "tst_LocateUsers.moc"
