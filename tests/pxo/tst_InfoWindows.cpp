// The windows that show a server or a user: what they show, when they open, the statistics
// the user tracker sends, the continuous ping, and that they outlive what they show. The
// locate and cached-user windows are opened from the frame over real lobbies.
#include "PXOTestKit.h"

#include "app/UfrmMain.h"
#include "base/Tick.h"
#include "common/Loopback.h"
#include "irc/User.h"
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
#include <QtEndian>

namespace {
QStringList Texts(const QList<QLabel *> &labels)
{
    QStringList texts;
    for (const QLabel *label : labels)
        texts << label->text();
    return texts;
}

template <typename TList> QStringList Rows(const TList *list)
{
    QStringList rows;
    if constexpr (std::is_same_v<TList, QTableWidget>) {
        for (int r = 0; r < list->rowCount(); ++r)
            for (int c = 0; c < list->columnCount(); ++c)
                rows << (list->item(r, c) ? list->item(r, c)->text() : QStringLiteral("-"));
    } else {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + u'@' + list->topLevelItem(i)->text(1);
    }
    return rows;
}

void AddPlayer(TServer &server, const QString &name, const QString &stats = {})
{
    auto *player = new TServerUser;
    player->Name = name;
    std::tie(player->Frags, player->Deaths, player->Team, player->PlayerPing) = std::tuple(
        stats.section(u' ', 0, 0), stats.section(u' ', 1, 1), stats.section(u' ', 2, 2), stats.section(u' ', 3, 3));
    server.PlayerList.append(player);
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
        qDeleteAll(VisibleWindows<TfrmPXOServerInfo>());
        qDeleteAll(VisibleWindows<TfrmPXOPlayerInfo>());
    }
    void cleanupTestCase() { m_kit.reset(); }

    // The server window opens only when asked for, shows what the replies told (one empty grid
    // row without players), is refreshed by later replies, and keeps its last values once the
    // server is gone; a new server is never taken for the freed one.
    void serverWindow()
    {
        auto server = std::make_unique<TServer>(QStringLiteral("127.0.0.1"), 2092);
        std::tie(server->Name, server->Level, server->Description, server->GameVersion) =
            std::tuple("Pyro's <b>place</b>", "Polaris.mn3", "all welcome", "1.4");
        std::tie(server->Players, server->MaxPlayers, server->Ping) = std::tuple(9, 16, 4000000000u);
        std::tie(server->BrightShips, server->AccCollisions, server->RandPowerup) = std::tuple(u'1', u'0', u'2');
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        QVERIFY(VisibleWindows<TfrmPXOServerInfo>().isEmpty());
        server->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        TfrmPXOServerInfo *window = TfrmPXOServerInfo::FindFor(server.get());
        QVERIFY(window && !server->InfoRequested);
        QCOMPARE(window->windowTitle(), QStringLiteral("PXO Server Info (Pyro's <b>place</b>)"));
        const QList<QLabel *> labels{window->lblLevelPack,     window->lblDescription, window->lblPlayers,
                                     window->lblMaxPlayers,    window->lblBrightShips, window->LblAccCollisions,
                                     window->LblRandomPowerup, window->lblVersion,     window->LblPing};
        QCOMPARE(Texts(labels),
                 (QStringList{"Polaris.mn3", "all welcome", "0", "16", "Yes", "No", "", "1.4", "4000000000"}));
        QCOMPARE(Rows(window->sgrPlayers), QStringList(5, QString()));

        AddPlayer(*server, QStringLiteral("Kiwi"), QStringLiteral("12 3 1 80"));
        AddPlayer(*server, QStringLiteral("Mole"), QStringLiteral("0 7 2 120"));
        server->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(server.get());
        QCOMPARE(VisibleWindows<TfrmPXOServerInfo>().size(), 1);
        QCOMPARE(window->lblPlayers->text(), QStringLiteral("2"));
        QCOMPARE(Rows(window->sgrPlayers), QString("Kiwi 12 3 1 80 Mole 0 7 2 120").split(u' '));

        TfrmPXOServerInfo::ServerRemoved(server.get());
        server.reset();
        auto next = std::make_unique<TServer>(QStringLiteral("127.0.0.1"), 2092);
        QVERIFY(!TfrmPXOServerInfo::FindFor(next.get()));
        next->InfoRequested = true;
        TfrmPXOServerInfo::UpdateServerInfo(next.get());
        QCOMPARE(VisibleWindows<TfrmPXOServerInfo>().size(), 2);
        QCOMPARE(window->lblLevelPack->text(), QStringLiteral("Polaris.mn3"));
        QPointer<TfrmPXOServerInfo> closing = window;
        QTest::mouseClick(window->btnClose, Qt::LeftButton);
        QTRY_VERIFY(closing.isNull());
    }

    // A stats reply from the user tracker reaches the user of its display name and the open
    // player window, and is acknowledged; one for a name nobody has is only acknowledged. The
    // window opens only when asked for, and a user reply refreshes its ping.
    void playerWindow()
    {
        using TrackerDatagrams::EncodeStatsReply;
        TfrmPXO *form = m_kit->NewLobby();
        form->UDPQueue()->Pause();
        TUser *user = form->FindOrAddUser(QStringLiteral("wingman"));
        user->DisplayName = QStringLiteral("Wing <i>man</i>");
        user->ClientBuild = 38;
        FromUserTracker(form, EncodeStatsReply(7, {"Wing <i>man</i>", 750, 30, 10, 0, 4000000000u}));
        QVERIFY(VisibleWindows<TfrmPXOPlayerInfo>().isEmpty());
        QCOMPARE(user->Kills, 30u);
        user->RequestInfo(true);
        TfrmPXOPlayerInfo *window = TfrmPXOPlayerInfo::FindFor(QStringLiteral("wingman"));
        QVERIFY(window && !user->InfoRequested && window->cbxPing->isChecked());
        FromUserTracker(form, EncodeStatsReply(8, {"Wing <i>man</i>", 900, 31, 10, 5, 4000000000u}));
        FromUserTracker(form, EncodeStatsReply(9, {"Wing", 3000, 99}));
        const QList<QLabel *> labels{window->lblName,          window->lblRanking,       window->lblKills,
                                     window->lblDeaths,        window->lblSelfdestructs, window->lblEfficiency,
                                     window->lblMinutesInGame, window->lblPing,          window->lblClient};
        QCOMPARE(Texts(labels), (QStringList{"Wing <i>man</i>", "900 Lieutenant, Lt. Commander at 1200", "31", "10",
                                             "5", "67", "66666666", "Unknown", "Orlo (build: 38)"}));
        QCOMPARE(window->lblName->textFormat(), Qt::PlainText);
        QCOMPARE(SentTexts(form->UDPQueue()),
                 (QStringList{"ack stats 7@127.0.0.1:9", "ack stats 8@127.0.0.1:9", "ack stats 9@127.0.0.1:9"}));

        TUser twin(nullptr, QStringLiteral("wingman"));
        twin.Kills = 5;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&twin, true);
        QCOMPARE(VisibleWindows<TfrmPXOPlayerInfo>().size(), 1);
        QCOMPARE(window->lblKills->text(), QStringLiteral("5"));
        QByteArray reply(32, '\0');
        qToBigEndian<quint16>(0x0501, reply.data());
        qToLittleEndian<quint16>(quint16(TickCount() - 40), reply.data() + 2);
        memcpy(reply.data() + 4, "wingman", 7);
        form->Datagrams->Feed(reply, QStringLiteral("127.0.0.1"), 9000);
        QVERIFY(window->lblPing->text().toUInt() >= 40);
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
        TUser again(nullptr, QStringLiteral("wingman"));
        again.InfoRequested = true;
        TfrmPXOPlayerInfo::UpdatePlayerInfo(&again, true);
        QCOMPARE(VisibleWindows<TfrmPXOPlayerInfo>().size(), 2);
        QCOMPARE(window->lblKills->text(), QStringLiteral("30"));
    }

    // Locate users lists every player of every named server and acts through the server's
    // lobby; cached users lists every user of every chat window and shows what is known with the
    // ping off, asking the tracker nothing. Rows leave with their server, user and lobby.
    void frameWindows()
    {
        TMainOptions options;
        options.peerAddress = RandomLoopback();
        options.peerPort = 0;
        TfrmMain main(options);
        auto *lobby = new TfrmDescent;
        main.AddChatWindow(lobby);
        auto *chat = new TfrmChat;
        main.AddChatWindow(chat);
        TServer *arena = Listed(lobby, 1, {"Arena <b>"});
        TServer *pit = Listed(lobby, 2, {"Pit"});
        QVERIFY(lobby->ServerList->AddServer(QStringLiteral("127.0.0.3"), 2092)); // no name: no rows
        for (const auto &[server, name] : {std::pair{arena, "Mole"}, {arena, "Kiwi"}, {pit, "Kiwi"}})
            AddPlayer(*server, QLatin1String(name));
        AddPlayer(*lobby->Servers().last(), QStringLiteral("Ghost"));
        TUser *amy = lobby->FindOrAddUser(QStringLiteral("amy"));
        amy->Kills = 3;
        chat->FindOrAddUser(QStringLiteral("bob"));
        main.findChild<QAction *>(QStringLiteral("mnuLocateUsers"))->trigger();
        main.findChild<QAction *>(QStringLiteral("mnuCachedUserInfo"))->trigger();
        TfrmLocateUsers *located = main.ChildWindowsOf<TfrmLocateUsers>().value(0);
        TfrmCachedUserInfo *cached = main.ChildWindowsOf<TfrmCachedUserInfo>().value(0);
        QVERIFY(located && cached);
        QCOMPARE(Rows(located->lvwUsers), (QStringList{"Kiwi@Arena <b>", "Kiwi@Pit", "Mole@Arena <b>"}));
        QCOMPARE(Rows(cached->lvwUsers), (QStringList{"amy@", "bob@"}));

        located->lvwUsers->setCurrentItem(located->lvwUsers->topLevelItem(1));
        lobby->InGame = true;
        located->mnuJoinGame->trigger();
        QCOMPARE(m_kit->Boxes, QStringList{"The game is still running: join another one after it has ended."});
        lobby->InGame = false;
        located->mnuServerInfo->trigger();
        QTRY_VERIFY(TfrmPXOServerInfo::FindFor(pit));
        TfrmPXOServerInfo *info = TfrmPXOServerInfo::FindFor(pit);
        lobby->ServerList->RemoveServer(pit);
        QVERIFY(!info->Server());
        QCOMPARE(Rows(located->lvwUsers), (QStringList{"Kiwi@Arena <b>", "Mole@Arena <b>"}));

        lobby->UDPQueue()->Pause();
        const qsizetype queued = lobby->UDPQueue()->Count();
        cached->lvwUsersDblClick(cached->lvwUsers->topLevelItem(0));
        TfrmPXOPlayerInfo *player = TfrmPXOPlayerInfo::FindFor(QStringLiteral("amy"));
        QVERIFY(player && !player->cbxPing->isChecked() && !amy->InfoRequested);
        QCOMPARE(player->lblKills->text(), QStringLiteral("3"));
        QCOMPARE(lobby->UDPQueue()->Count(), queued);
        delete chat;
        QCOMPARE(Rows(cached->lvwUsers), QStringList{"amy@"});
        delete lobby;
        QCOMPARE(located->lvwUsers->topLevelItemCount() + cached->lvwUsers->topLevelItemCount(), 0);
        QVERIFY(!player->User());
        QCOMPARE(player->lblKills->text(), QStringLiteral("3"));
        located->mnuJoinGameClick();
        located->mnuServerInfoClick();
        main.DestroyChildWindows();
    }
};

QTEST_MAIN(tst_InfoWindows)
#include "tst_InfoWindows.moc"
