// The server list's rules, fed with replies made by the simulator's encoders; what it asks
// the servers is read back from a paused queue with the simulator's decoders.
#include "servers/ServerList.h"
#include "servers/UDPQueue.h"
#include "sim/ServerDatagrams.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
using namespace ServerDatagrams;

TGameInfo Info(const QByteArray &name, quint16 players = 1, quint16 maxPlayers = 8)
{
    TGameInfo info;
    std::tie(info.name, info.level, info.gameType, info.players, info.maxPlayers, info.mode) =
        std::tuple(name, "city.mn3", "Anarchy", players, maxPlayers, 2);
    return info;
}
} // namespace

class tst_ServerList : public QObject
{
    Q_OBJECT

    std::unique_ptr<TUDPQueue> m_queue;
    std::unique_ptr<TServerList> m_list;
    QStringList m_events;
    qsizetype m_seen = 0;

    TServer *Add(int i, quint16 port = 2092) { return m_list->AddServer(QStringLiteral("127.9.0.%1").arg(i), port); }
    void Answer(TServer *server, const TGameInfo &info, quint32 tick = 0)
    {
        m_list->Feed(EncodeGameInfoReply(info, server->RequestSeq), server->IP, server->Port, tick);
    }
    // What was queued since the last call: "kind[ sequence] host:port".
    QStringList Sent()
    {
        QStringList sent;
        for (; m_seen < m_queue->Waiting().size(); ++m_seen) {
            const TUDPPacket &p = m_queue->Waiting().at(m_seen);
            static const char *const kinds[] = {"?", "info", "players", "level", "status"};
            sent << QLatin1String(kinds[int(Classify(p.Data))]) +
                        (Classify(p.Data) == TKind::GameInfo
                             ? u' ' + QString::number(DecodeGameInfoRequest(p.Data).sequence)
                             : QString()) +
                        u' ' + p.Host + u':' + QString::number(p.Port);
        }
        return sent;
    }
    QList<int> States() const
    {
        QList<int> states;
        for (const TServer *s : m_list->Servers())
            states << s->PingState;
        return states;
    }

private slots:
    void init()
    {
        m_queue = std::make_unique<TUDPQueue>(nullptr, nullptr);
        m_queue->Pause();
        m_list = std::make_unique<TServerList>(m_queue.get());
        m_events.clear();
        m_seen = 0;
        connect(m_list.get(), &TServerList::ServerChanged, this,
                [this](TServer *s) { m_events << "changed " + s->Name; });
        connect(m_list.get(), &TServerList::InfoChanged, this,
                [this](TServer *s) { m_events << QStringLiteral("info %1 %2").arg(s->Players).arg(s->GameVersion); });
        connect(m_list.get(), &TServerList::ServerRemoved, this,
                [this](TServer *s) { m_events << "removed " + s->IP; });
        connect(m_list.get(), &TServerList::LevelAddressReceived, this,
                [this](TServer *s, const QString &address) { m_events << "level " + s->IP + u' ' + address; });
    }
    void cleanup()
    {
        m_list.reset();
        m_queue.reset();
    }

    // A new server asks for its game info (sequence 1) and its players; 0.0.0.0 and servers
    // already listed are not added; port 0 finds the first server of an address in list order.
    // The list stops at its cap and says so once.
    void addFindAndCap()
    {
        QVERIFY(Add(1, 0x1234));
        QVERIFY(!Add(1, 0x1234));
        QVERIFY(!m_list->AddServer(QStringLiteral("0.0.0.0"), 2092));
        QVERIFY(Add(1, 2093));
        QVERIFY(Add(2));
        QCOMPARE(Sent(), (QStringList{"info 1 127.9.0.1:4660", "players 127.9.0.1:4660", "info 1 127.9.0.1:2093",
                                      "players 127.9.0.1:2093", "info 1 127.9.0.2:2092", "players 127.9.0.2:2092"}));
        QCOMPARE(m_list->FindServer(QStringLiteral("127.9.0.1"), 2093), m_list->Servers().at(1));
        QVERIFY(!m_list->FindServer(QStringLiteral("127.9.0.2"), 2093));
        m_list->RemoveServer(m_list->Servers().first());
        QCOMPARE(m_list->FindServer(QStringLiteral("127.9.0.1"), 0), m_list->Servers().first());
        QCOMPARE(m_events, QStringList{"removed 127.9.0.1"});

        QSignalSpy full(m_list.get(), &TServerList::ListFull);
        for (int i = 0; m_list->Servers().size() < TServerList::MaxServers; ++i)
            QVERIFY(m_list->AddServer(QStringLiteral("127.8.%1.%2").arg(i / 250).arg(i % 250 + 1), 2092));
        QVERIFY(full.isEmpty());
        QVERIFY(!Add(3) && !Add(4));
        QCOMPARE(m_list->Servers().size(), qsizetype(TServerList::MaxServers));
        QCOMPARE(full.count(), 1);
        m_list->RemoveServer(m_list->Servers().last());
        QVERIFY(Add(3));
    }

    // Each reply counts only from the listed server's address and port; a status reply only from
    // the query port of the server whose information was asked for; a level address only when
    // asked, once.
    void repliesFromTheirSenders_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("event");
        const QByteArray info = EncodeGameInfoReply(Info("Arena"), 1);
        const QByteArray players = EncodePlayerListReply({"Kiwi", "Mole"});
        const QByteArray level = EncodeLevelReply({"http://h/city.mn3"});
        const QByteArray status = "\\gamever\\1.4";
        QTest::newRow("game info") << info << "127.9.0.1" << 2092 << "changed Arena";
        QTest::newRow("game info, other address") << info << "127.9.0.7" << 2092 << "refused";
        QTest::newRow("game info, other port") << info << "127.9.0.1" << 2093 << "refused";
        QTest::newRow("game info, port 0") << info << "127.9.0.1" << 0 << "refused";
        QTest::newRow("player list") << players << "127.9.0.1" << 2092 << "info 2 ";
        QTest::newRow("player list, other port") << players << "127.9.0.1" << 2000 << "refused";
        QTest::newRow("level address") << level << "127.9.0.1" << 2092 << "level 127.9.0.1 http://h/city.mn3";
        QTest::newRow("level address, other address") << level << "127.9.0.2" << 2092 << "refused";
        QTest::newRow("status") << status << "127.9.0.1" << 20142 << "info 0 1.4";
        QTest::newRow("status, game port") << status << "127.9.0.1" << 2092 << "refused";
        QTest::newRow("status, other address") << status << "127.9.0.2" << 20142 << "refused";
        QTest::newRow("no game-server reply") << QByteArray("\x03\x17", 2) << "127.9.0.1" << 2092 << "not taken";
    }
    void repliesFromTheirSenders()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, ip);
        QFETCH(int, port);
        QFETCH(QString, event);
        TServer *server = Add(1);
        Add(2, 2093); // another server's port on another address is no excuse
        m_list->ShowInfo(server);
        m_list->RequestLevel(server);
        m_events.clear();
        if (!m_list->Feed(reply, ip, quint16(port), 0))
            m_events << "not taken";
        else if (m_list->RefusedReplies() == 1)
            m_events << "refused";
        QCOMPARE(m_events, QStringList{event});
        QCOMPARE(server->Name.isEmpty(), !event.startsWith("changed"));
        m_events.clear();
        m_list->Feed(reply, ip, quint16(port), 0);
        QVERIFY(!m_events.join(u' ').contains("level"));
    }

    // Mode, dedicated flag and difficulty come from every game-info reply; the rest and the
    // ping only from the answer to the latest request, the ping across a wrap of the tick. A
    // player list names the players (blank ones skipped), a status reply fills them in.
    void repliesApplied()
    {
        TServer *server = Add(1);
        server->RequestGameInfo();
        server->SentTick = 0xFFFFFFF0u;
        TGameInfo late = Info("Late");
        std::tie(late.mode, late.dedicated, late.difficulty) = std::tuple(4, true, 3);
        m_list->Feed(EncodeGameInfoReply(late, 1), server->IP, server->Port, 0x10);
        QCOMPARE(QStringList({server->Name, server->Mode, server->Difficulty, QString::number(server->AnsweredSeq)}),
                 (QStringList{"", "p2p d", "Ace", "0"}));
        Answer(server, Info("Arena", 7, 16), 0x10);
        QCOMPARE(QStringList({server->Name, server->Mode, QString::number(server->Ping),
                              QString::number(server->Players), QString::number(server->AnsweredSeq)}),
                 (QStringList{"Arena", "c/s", "32", "7", "2"}));

        m_list->Feed(EncodePlayerListReply({" Kiwi ", "Mole", "Nettle"}), server->IP, server->Port, 0);
        server->PlayerList.at(1)->Frags = QStringLiteral("12");
        server->RequestStatus();
        m_list->Feed(EncodePlayerListReply({"Mole", "   ", "Owl", "Kiwi"}), server->IP, server->Port, 0);
        QStringList names;
        for (const TServerUser *p : server->PlayerList)
            names << p->Name + u':' + p->Frags;
        QCOMPARE(names, (QStringList{"Kiwi:", "Mole:12", "Owl:"}));
        QCOMPARE(server->Players, quint16(3));
        QCOMPARE(server->StatusQueries, 0);
        m_list->ShowInfo(server);
        m_list->Feed("\\player_5\\Owl\\frags_5\\9\\randpowerup\\1", server->IP, 20142, 0);
        QCOMPARE(server->FindPlayer(5)->Frags, QStringLiteral("9"));
        QCOMPARE(server->RandPowerup, QChar(u'1'));
    }

    // Silent after four unanswered game-info requests (counted across the wrap of the sequence)
    // or four status queries; a server that answered once then leaves, the others stay.
    void silentServers_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("answered");
        QTest::addColumn<int>("statusQueries");
        QTest::addColumn<bool>("silent");
        QTest::newRow("three unanswered") << 4 << 1 << 0 << false;
        QTest::newRow("four unanswered") << 5 << 1 << 0 << true;
        QTest::newRow("three across the wrap") << 1 << 65534 << 0 << false;
        QTest::newRow("four across the wrap") << 2 << 65534 << 0 << true;
        QTest::newRow("three status queries") << 7 << 7 << 3 << false;
        QTest::newRow("four status queries") << 7 << 7 << 4 << true;
    }
    void silentServers()
    {
        QFETCH(int, requested);
        QFETCH(int, answered);
        QFETCH(int, statusQueries);
        TServer server(QStringLiteral("127.0.0.1"), 1);
        std::tie(server.RequestSeq, server.AnsweredSeq, server.StatusQueries) =
            std::tuple(quint16(requested), quint16(answered), statusQueries);
        QTEST(server.IsSilent(), "silent");

        TServer *quiet = Add(1);
        TServer *busy = Add(2);
        Answer(quiet, Info("Quiet"));
        for (int round = 0; round < 4; ++round) {
            QCOMPARE(m_list->Servers().size(), qsizetype(2));
            Answer(busy, Info("Busy"));
            m_list->Feed(EncodePlayerListReply({"Kiwi"}), busy->IP, busy->Port, 0);
            m_list->QueryAllServers();
        }
        m_list->QueryAllServers();
        QCOMPARE(m_list->Servers(), QList<TServer *>{busy});
    }

    // A server filtered out is hidden and asked for its game info no more.
    void applyFilter_data()
    {
        QTest::addColumn<QString>("server"); // name, ping, players of 8, game type, mode, level
        QTest::addColumn<bool>("hideFull");
        QTest::addColumn<QString>("result"); // visible, filtered out
        QTest::newRow("plain") << "Srv 2000 7 Anarchy c/s city.mn3" << true << "10";
        QTest::newRow("no game info yet") << "- 100 2 Anarchy c/s city.mn3" << false << "00";
        QTest::newRow("ping past the maximum") << "Srv 2001 2 Anarchy c/s city.mn3" << false << "00";
        QTest::newRow("full, option off") << "Srv 100 8 Anarchy c/s city.mn3" << false << "10";
        QTest::newRow("full, option on") << "Srv 100 8 Anarchy c/s city.mn3" << true << "00";
        QTest::newRow("game type listed, other case") << "Srv 100 2 ctf c/s city.mn3" << false << "01";
        QTest::newRow("mode listed") << "Srv 100 2 Anarchy PEER_D city.mn3" << false << "01";
        QTest::newRow("level listed") << "Srv 100 2 Anarchy c/s POLARIS.MN3" << false << "01";
    }
    void applyFilter()
    {
        QFETCH(QString, server);
        QFETCH(bool, hideFull);
        const QStringList f = server.split(u' ');
        TServerFilter filter;
        filter.HideFull = hideFull;
        std::tie(filter.GameTypes, filter.Modes, filter.Levels) =
            std::tuple(QStringList{"CTF"}, QStringList{"peer_d"}, QStringList{"Polaris.mn3"});
        TServer s(QStringLiteral("127.0.0.1"), 1);
        std::tie(s.Name, s.Ping, s.Players, s.MaxPlayers, s.GameType, s.Mode, s.Level) =
            std::tuple(f[0] == u"-" ? QString() : f[0], f[1].toUInt(), quint16(f[2].toUInt()), 8, f[3], f[4], f[5]);
        s.RequestGameInfo();
        s.ApplyFilter(filter);
        QTEST(QString::number(s.Visible) + QString::number(s.FilteredOut), "result");
        const quint16 sequence = s.RequestSeq;
        s.RequestGameInfo();
        QCOMPARE(s.RequestSeq, quint16(sequence + (s.FilteredOut ? 0 : 1)));
    }

    // max(3, servers div 5) are pinged at once, filtered-out servers not at all, and each
    // reply asks the next waiting server in list order, also when servers leave meanwhile: no
    // server is skipped, none asked twice.
    void serializedPing()
    {
        for (int i = 1; i <= 20; ++i)
            Answer(Add(i), Info("s"));
        m_list->Servers().at(1)->FilteredOut = true;
        Sent();
        m_list->PingAllServers();
        QCOMPARE(States().count(2), 4);
        QCOMPARE(States().count(1), 15);
        QStringList order = Sent();
        Answer(m_list->Servers().at(0), Info("s"));
        m_list->RemoveServer(m_list->Servers().at(0));
        for (int guard = 0; guard < 100 && States().contains(2); ++guard)
            Answer(m_list->Servers().at(States().indexOf(2)), Info("s"));
        order += Sent();
        QStringList expected;
        for (int i = 1; i <= 20; ++i) {
            if (i != 2)
                expected << QStringLiteral("info 2 127.9.0.%1:2092").arg(i);
        }
        QCOMPARE(order, expected);
        QVERIFY(!States().contains(1));
        m_list->PingAllServers(); // 19 servers now
        QCOMPARE(States().count(2), 3);
    }

    // "Server info" asks the server's players and status (from the query port) and says so;
    // a level request is owned by its server, which the queue forgets when the server goes.
    void infoAndLevelRequests()
    {
        TServer *server = Add(1, 2050);
        Sent();
        m_list->ShowInfo(server);
        m_list->RequestLevel(server);
        QCOMPARE(Sent(), (QStringList{"players 127.9.0.1:2050", "status 127.9.0.1:20142", "level 127.9.0.1:2050"}));
        QCOMPARE(server->StatusQueries, 3);
        QCOMPARE(m_events, QStringList{"info 0 "});
        m_list->RemoveServer(server);
        QCOMPARE(m_queue->Waiting().last().Owner, nullptr);
        m_queue->Resume();
        QTRY_COMPARE(m_queue->Count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_ServerList)
#include "tst_ServerList.moc"
