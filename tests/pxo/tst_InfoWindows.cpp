// The windows that show a server or a user: what they show, when they open and come forward,
// the continuous ping, and that they outlive what they show. The locate and cached-user windows
// are opened from the frame over real lobbies.
#include "PXOTestKit.h"

#include "app/UfrmMain.h"
#include "base/Tick.h"
#include "irc/User.h"
#include "common/Loopback.h"
#include "pxo/UfrmCachedUserInfo.h"
#include "pxo/UfrmLocateUsers.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "pxo/UfrmPXOServerInfo.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtEndian>

namespace {
template <typename T> QList<T *> Open()
{
    QList<T *> windows;
    for (QWidget *w : QApplication::allWidgets()) {
        if (auto *window = qobject_cast<T *>(w); window && window->isVisible())
            windows << window;
    }
    return windows;
}

QStringList Texts(const QList<QLabel *> &labels)
{
    QStringList texts;
    for (const QLabel *label : labels)
        texts << label->text();
    return texts;
}

QList<QStringList> Rows(const QTableWidget *grid)
{
    QList<QStringList> rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        rows << QStringList();
        for (int c = 0; c < grid->columnCount(); ++c)
            rows.last() << (grid->item(r, c) ? grid->item(r, c)->text() : QStringLiteral("-"));
    }
    return rows;
}

QList<QStringList> Rows(const QTreeWidget *list)
{
    QList<QStringList> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << QStringList{list->topLevelItem(i)->text(0), list->topLevelItem(i)->text(1)};
    return rows;
}

TServerUser *AddPlayer(TServer &server, const QString &name, const QString &stats = {})
{
    auto *player = new TServerUser;
    player->Name = name;
    std::tie(player->Frags, player->Deaths, player->Team, player->PlayerPing) = std::tuple(
        stats.section(u' ', 0, 0), stats.section(u' ', 1, 1), stats.section(u' ', 2, 2), stats.section(u' ', 3, 3));
    server.PlayerList.append(player);
    return player;
}

// A chat form that counts the pings it is asked for instead of sending them.
class TCountingChat : public TfrmChat
{
public:
    void PingUser(TUser *) override { ++Pings; }
    int Pings = 0;
};
} // namespace

class tst_InfoWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPXOTestKit> m_kit;

private slots:
    void initTestCase() { m_kit = std::make_unique<TPXOTestKit>(); }
    void init() { m_kit->Reset(); }
    void cleanup()
    {
        qDeleteAll(Open<TfrmPXOServerInfo>());
        qDeleteAll(Open<TfrmPXOPlayerInfo>());
    }
    void cleanupTestCase() { m_kit.reset(); }

    // The server window opens only when asked for, shows what the replies told (one empty grid
    // row without players), is refreshed by later replies, and keeps its last values once the
    // server is gone; a new server is never taken for the freed one.
    void serverWindow()
    {
        auto server = std::make_unique<TServer>(QStringLiteral("127.0.0.1"), 2092);
        std::tie(server->Name, server->Level, server->Description, server->GameType, server->Difficulty,
                 server->GameVersion) =
            std::tuple("Pyro's <b>place</b>", "Polaris.mn3", "all welcome", "Anarchy", "Hotshot", "1.4");
        std::tie(server->LevelNumber, server->Players, server->MaxPlayers, server->Ping) =
            std::tuple(3, 9, 16, 4000000000u);
        std::tie(server->BrightShips, server->AccCollisions, server->RandPowerup) = std::tuple(u'1', u'0', u'2');
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        QVERIFY(Open<TfrmPXOServerInfo>().isEmpty());
        server->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        TfrmPXOServerInfo *window = TfrmPXOServerInfo::FindFor(server.get());
        QVERIFY(window && !server->InfoRequested);
        QCOMPARE(window->windowTitle(), QStringLiteral("PXO Server Info (Pyro's <b>place</b>)"));
        const QList<QLabel *> labels{window->lblLevelPack,     window->lblDescription, window->lblGameType,
                                     window->lblLevel,         window->lblPlayers,     window->lblMaxPlayers,
                                     window->lblDifficulty,    window->lblBrightShips, window->LblAccCollisions,
                                     window->LblRandomPowerup, window->lblVersion,     window->LblPing};
        QCOMPARE(Texts(labels), (QStringList{"Polaris.mn3", "all welcome", "Anarchy", "3", "0", "16", "Hotshot", "Yes",
                                             "No", "", "1.4", "4000000000"}));
        QCOMPARE(Rows(window->sgrPlayers), (QList<QStringList>{{"", "", "", "", ""}}));

        AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("12 3 1 80"));
        AddPlayer(*server, QStringLiteral("Mole"), QStringLiteral("0 7 2 120"));
        server->RandPowerup = u'1';
        server->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        QCOMPARE(Open<TfrmPXOServerInfo>().size(), 1);
        QVERIFY(!server->InfoRequested);
        QCOMPARE(window->lblPlayers->text(), QStringLiteral("2"));
        QCOMPARE(window->LblRandomPowerup->text(), QStringLiteral("Yes"));
        QCOMPARE(Rows(window->sgrPlayers),
                 (QList<QStringList>{{"Kiwi", "12", "3", "1", "80"}, {"Mole", "0", "7", "2", "120"}}));

        TfrmPXOServerInfo::ServerRemoved(server.get());
        server.reset();
        auto next = std::make_unique<TServer>(QStringLiteral("127.0.0.1"), 2092);
        next->Name = QStringLiteral("Newcomer");
        QVERIFY(!TfrmPXOServerInfo::FindFor(next.get()));
        window->ShowServerInfo(next.get());
        TfrmPXOServerInfo::UpdateServerInfo(next.get());
        QCOMPARE(window->lblLevelPack->text(), QStringLiteral("Polaris.mn3"));
        next->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(next.get());
        QCOMPARE(Open<TfrmPXOServerInfo>().size(), 2);
        QPointer<TfrmPXOServerInfo> closing = window;
        QTest::mouseClick(window->btnClose, Qt::LeftButton);
        QTRY_VERIFY(closing.isNull());
    }

    // The player window: its texts, opened only when asked for and refreshed by any user of its
    // nick, and a user reply over a real socket refreshing its ping.
    void playerWindow()
    {
        TfrmPXO *form = m_kit->NewLobby();
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        std::tie(user->DisplayName, user->Rating, user->Kills, user->Deaths, user->MinutesInGame, user->ClientBuild) =
            std::tuple(QStringLiteral("Wing <i>man</i>"), 750, 30, 10, 4000000000u, 38);
        TfrmPXOPlayerInfo::UpdatePlayerInfo(user, true);
        QVERIFY(Open<TfrmPXOPlayerInfo>().isEmpty());
        user->RequestInfo(true);
        TfrmPXOPlayerInfo *window = TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));
        QVERIFY(window && !user->InfoRequested && window->cbxPing->isChecked());
        const QList<QLabel *> labels{window->lblName,          window->lblRanking,       window->lblKills,
                                     window->lblDeaths,        window->lblSelfdestructs, window->lblEfficiency,
                                     window->lblMinutesInGame, window->lblPing,          window->lblClient};
        QCOMPARE(Texts(labels), (QStringList{"Wing <i>man</i>", "750 Ensign, Lieutenant at 900", "30", "10", "0", "75",
                                             "4000000000", "Unknown", "Orlo (build: 38)"}));
        QCOMPARE(window->lblName->textFormat(), Qt::PlainText);

        TUser twin(nullptr, QStringLiteral("wingman"));
        twin.Kills = 5;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&twin, true);
        QCOMPARE(Open<TfrmPXOPlayerInfo>().size(), 1);
        QCOMPARE(window->lblKills->text(), QStringLiteral("5"));

        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QByteArray reply(32, '\0');
        reply[0] = 0x05;
        reply[1] = 0x01;
        qToLittleEndian<quint16>(quint16(TickCount() - 40), reply.data() + 2);
        memcpy(reply.data() + 4, "wingman", 7);
        peer.writeDatagram(reply, QHostAddress::LocalHost, form->Datagrams->LocalPort());
        QTRY_VERIFY(window->lblPing->text() != QStringLiteral("Unknown"));
        QVERIFY(window->lblPing->text().toUInt() >= 40);
        TUser fresh(nullptr, QStringLiteral("newbie"));
        TfrmPXOPlayerInfo empty(&fresh, false);
        QCOMPARE(Texts({empty.lblName, empty.lblRanking, empty.lblEfficiency, empty.lblClient}),
                 (QStringList{"newbie", "0 Cadet, Ensign at 600", "Unknown", "Unknown"}));
        QVERIFY(!empty.cbxPing->isChecked());
    }

    // Ten pings three seconds apart (shortened here), then the box clears itself; checked again,
    // ten more. Once its chat form and user are gone the window keeps its values and pings no
    // more, told or not; a new user of the nick gets a window of its own.
    void continuousPingAndGoneUser_data()
    {
        QTest::addColumn<bool>("told");
        QTest::newRow("told when the user goes") << true;
        QTest::newRow("not told") << false;
    }
    void continuousPingAndGoneUser()
    {
        QFETCH(bool, told);
        auto *form = new TCountingChat;
        if (told)
            connect(form, &TfrmChat::UserRemoved, &TfrmPXOPlayerInfo::UserRemoved);
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        user->Kills = 30;
        user->InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(user, true);
        QPointer<TfrmPXOPlayerInfo> window = TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));
        QCOMPARE(window->Timer->interval(), 3000);
        window->Timer->setInterval(5);
        QTRY_VERIFY(!window->cbxPing->isChecked());
        QCOMPARE(form->Pings, 10);
        window->cbxPing->setChecked(true);
        QTRY_VERIFY(!window->cbxPing->isChecked());
        QCOMPARE(form->Pings, 20);
        window->cbxPing->setChecked(true);
        delete form;
        QTest::qWait(50);
        QVERIFY(window && !window->User() && !window->cbxPing->isChecked() && !window->cbxPing->isEnabled());
        QCOMPARE(window->lblKills->text(), QStringLiteral("30"));
        TUser again(nullptr, QStringLiteral("wingman"));
        again.InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&again, true);
        QCOMPARE(Open<TfrmPXOPlayerInfo>().size(), 2);
        QCOMPARE(window->lblKills->text(), QStringLiteral("30"));
        delete TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));
    }

    // Locate users lists every player of every named server; its items act through the
    // server's lobby; rows leave with their server, and with their lobby.
    void locateUsers()
    {
        TMainOptions options;
        options.peerAddress = RandomLoopback();
        options.peerPort = 0;
        TfrmMain main(options);
        auto *lobby = new TfrmDescent;
        main.AddChildWindow(lobby);
        TServer *arena = Listed(lobby, 1, {"Arena <b>"});
        TServer *pit = Listed(lobby, 2, {"Pit"});
        QVERIFY(lobby->ServerList->AddServer(QStringLiteral("127.0.0.3"), 2092)); // no name: no rows
        AddPlayer(*arena, QStringLiteral("Mole"));
        AddPlayer(*arena, QStringLiteral("Kiwi"));
        AddPlayer(*pit, QStringLiteral("Kiwi"));
        AddPlayer(*lobby->Servers().last(), QStringLiteral("Ghost"));
        main.findChild<QAction *>(QStringLiteral("mnuLocateUsers"))->trigger();
        TfrmLocateUsers *window = main.ChildWindowsOf<TfrmLocateUsers>().value(0);
        QVERIFY(window);
        QCOMPARE(Rows(window->lvwUsers),
                 (QList<QStringList>{{"Kiwi", "Arena <b>"}, {"Kiwi", "Pit"}, {"Mole", "Arena <b>"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));

        window->lvwUsers->setCurrentItem(window->lvwUsers->topLevelItem(1));
        lobby->InGame = true;
        window->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes, QStringList{"The game is still running: join another one after it has ended."});
        lobby->InGame = false;
        m_kit->Config->cbxServerJoinLevelExist->setChecked(true);
        pit->LevelPresent = false;
        window->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes.last(), QStringLiteral("Unable to join game, level is missing!"));
        m_kit->Config->cbxServerJoinLevelExist->setChecked(false);
        window->mnuServerInfo->trigger();
        QTRY_VERIFY(TfrmPXOServerInfo::FindFor(pit));
        QCOMPARE(lobby->ServerList->InfoPort, quint16(2092));
        TfrmPXOServerInfo *info = TfrmPXOServerInfo::FindFor(pit);
        lobby->ServerList->RemoveServer(pit);
        QVERIFY(!info->Server());
        QCOMPARE(info->windowTitle(), QStringLiteral("PXO Server Info (Pit)"));
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"Kiwi", "Arena <b>"}, {"Mole", "Arena <b>"}}));
        QCOMPARE(window->lvwUsers->headerItem()->text(0), QStringLiteral("Users (3)"));
        delete lobby;
        QCOMPARE(window->lvwUsers->topLevelItemCount(), 0);
        window->mnuJoinGameClick();
        window->mnuServerInfoClick();
        main.DestroyChildWindows();
    }

    // Cached users: every user of every chat window; a double-click shows what is known with the
    // ping off and asks the tracker nothing; rows leave with their users.
    void cachedUsers()
    {
        TMainOptions options;
        options.peerAddress = RandomLoopback();
        options.peerPort = 0;
        TfrmMain main(options);
        auto *lobby = new TfrmDescent;
        main.AddChatWindow(lobby);
        auto *chat = new TfrmChat;
        main.AddChatWindow(chat);
        lobby->FindOrAddUser(QStringLiteral("zed"));
        TUser *amy = lobby->FindOrAddUser(QStringLiteral("amy"));
        amy->Kills = 3;
        chat->FindOrAddUser(QStringLiteral("bob"));
        main.findChild<QAction *>(QStringLiteral("mnuCachedUserInfo"))->trigger();
        TfrmCachedUserInfo *window = main.ChildWindowsOf<TfrmCachedUserInfo>().value(0);
        QVERIFY(window);
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"amy", ""}, {"bob", ""}, {"zed", ""}}));
        lobby->UDPQueue()->Pause();
        window->lvwUsersDblClick(window->lvwUsers->topLevelItem(0));
        TfrmPXOPlayerInfo *player = TfrmPXOPlayerInfo::FindFor(QStringLiteral("amy"));
        QVERIFY(player && !player->cbxPing->isChecked() && !amy->InfoRequested);
        QCOMPARE(player->lblKills->text(), QStringLiteral("3"));
        QCOMPARE(lobby->UDPQueue()->Count(), 0);
        delete chat;
        QCOMPARE(Rows(window->lvwUsers), (QList<QStringList>{{"amy", ""}, {"zed", ""}}));
        delete lobby;
        QCOMPARE(window->lvwUsers->topLevelItemCount(), 0);
        QVERIFY(!player->User());
        QCOMPARE(player->lblKills->text(), QStringLiteral("3"));
        main.DestroyChildWindows();
    }
};

QTEST_MAIN(tst_InfoWindows)
#include "tst_InfoWindows.moc"
