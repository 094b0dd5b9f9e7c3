#include "chat/GameQueries.h"
#include "chat/LoopbackReceiver.h"
#include "chat/Server.h"
#include "chat/UDPQueue.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTest>
#include <QUdpSocket>

namespace {

// The form side of a server list, recording what the servers ask of it.
class TFakeListForm : public TServerListForm
{
public:
    QString Version = QStringLiteral("1.4");
    quint16 InfoPort = 0;
    QList<TServer *> Updated;

    QString ServersVersionText() const override { return Version; }
    bool IsPreferedServer(const QString &) const override { return false; }
    void SetInfoPort(quint16 port) override { InfoPort = port; }
    void UpdateServerInfo(TServer *server) override { Updated.append(server); }
};

// A loopback address of its own for each run: the status port is fixed.
QByteArray RandomLoopback()
{
    QRandomGenerator *random = QRandomGenerator::global();
    return QByteArray("127.") + QByteArray::number(random->bounded(1, 255)) + '.' +
           QByteArray::number(random->bounded(1, 255)) + '.' + QByteArray::number(random->bounded(2, 255));
}

TServerUser *Player(qint32 index, bool stale)
{
    auto *player = new TServerUser;
    player->Index = index;
    player->Stale = stale;
    player->Name = QStringLiteral("p%1").arg(index);
    return player;
}

} // namespace

class tst_GameQueries : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestBytes_data();
    void requestBytes();
    void versionCode_data();
    void versionCode();
    void requestsOverTheWire();
    void showInfo();
    void filteredServerGetsNoGameInfo();
    void gameInfoOnlyForLatestRequest();
    void isSilent_data();
    void isSilent();
    void applyFilter_data();
    void applyFilter();
    void players();
    void freedServerLeavesNoOwner();
};

void tst_GameQueries::initTestCase()
{
    // Loopback only: no proxy lookup (and no helper thread of the proxy library).
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_GameQueries::requestBytes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("game info, first, 1.4") << GameQueries::GameInfoRequest(1, GameQueries::VersionCode14)
                                           << QByteArray::fromHex("01290b0001005e4209000000000000000000");
    QTest::newRow("game info, 0x1234, 1.3") << GameQueries::GameInfoRequest(0x1234, GameQueries::VersionCode13)
                                            << QByteArray::fromHex("01290b00341252420800000000000000"
                                                                   "0000");
    QTest::newRow("game info, no version yet")
        << GameQueries::GameInfoRequest(0xFFFF, 0) << QByteArray::fromHex("01290b00ffff000000000000000000000000");
    QTest::newRow("player list") << GameQueries::PlayerListRequest() << QByteArray::fromHex("01720300");
    QTest::newRow("level information") << GameQueries::LevelInfoRequest() << QByteArray::fromHex("01600300");
    QTest::newRow("status") << GameQueries::StatusRequest() << QByteArray::fromHex("5c7374617475735c00");
}

void tst_GameQueries::requestBytes()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, bytes);
    QCOMPARE(request.toHex(' '), bytes.toHex(' '));
}

void tst_GameQueries::versionCode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("last");
    QTest::addColumn<quint32>("code");
    QTest::newRow("1.4") << "1.4" << 0u << 606814u;
    QTest::newRow("1.3") << "1.3" << 606814u << 541266u;
    QTest::newRow("other text keeps 1.4") << "1.5" << 606814u << 606814u;
    QTest::newRow("empty keeps 1.3") << "" << 541266u << 541266u;
    QTest::newRow("nothing before any") << "2.0" << 0u << 0u;
    QTest::newRow("blanks are other text") << " 1.4" << 541266u << 541266u;
}

void tst_GameQueries::versionCode()
{
    QFETCH(QString, text);
    QFETCH(quint32, last);
    QFETCH(quint32, code);
    QCOMPARE(GameQueries::NextVersionCode(text, last), code);
}

void tst_GameQueries::requestsOverTheWire()
{
    const QByteArray address = RandomLoopback();
    TLoopbackReceiver gamePort(address.constData());
    TLoopbackReceiver queryPort(address.constData(), GameQueries::StatusPort);
    if (queryPort.Port() != GameQueries::StatusPort)
        QSKIP("the status port is taken on this address");
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    TUDPQueue queue(&udp, nullptr);
    TFakeListForm form;

    // A new server asks for its game information at once, with sequence 1.
    TServer server(nullptr, gamePort.Port(), QString::fromLatin1(address), &queue, &form);
    QTRY_COMPARE_WITH_TIMEOUT(gamePort.Count(), 1, 5000);
    QCOMPARE(gamePort.Received().at(0).Data.toHex(), QByteArray("01290b0001005e4209000000000000000000"));
    QTRY_VERIFY_WITH_TIMEOUT(server.AwaitingReply, 5000);

    // A version text the box cannot show keeps the code last used.
    form.Version = QStringLiteral("custom");
    server.RequestGameInfo();
    QVERIFY(!server.AwaitingReply);
    form.Version = QStringLiteral("1.3");
    server.RequestGameInfo();
    server.RequestPlayers();
    server.RequestLevelInfo();
    server.RequestStatus();
    QCOMPARE(server.StatusQueries, 2);
    QTRY_COMPARE_WITH_TIMEOUT(gamePort.Count(), 5, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(queryPort.Count(), 1, 5000);
    const auto sent = gamePort.Received();
    QCOMPARE(sent.at(1).Data.toHex(), QByteArray("01290b0002005e4209000000000000000000"));
    QCOMPARE(sent.at(2).Data.toHex(), QByteArray("01290b00030052420800000000000000"
                                                 "0000"));
    QCOMPARE(sent.at(3).Data.toHex(), QByteArray("01720300"));
    QCOMPARE(sent.at(4).Data.toHex(), QByteArray("01600300"));
    QCOMPARE(queryPort.Received().at(0).Data, QByteArray("\\status\\\0", 9));
    QCOMPARE(queryPort.Received().at(0).SenderPort, udp.localPort());
}

void tst_GameQueries::showInfo()
{
    TLoopbackReceiver gamePort;
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    TUDPQueue queue(&udp, nullptr);
    TFakeListForm form;
    TServer server(nullptr, gamePort.Port(), QStringLiteral("127.0.0.1"), &queue, &form);
    server.ShowInfo();
    QCOMPARE(form.InfoPort, gamePort.Port());
    QVERIFY(server.InfoRequested);
    QCOMPARE(server.StatusQueries, 2);
    QCOMPARE(form.Updated, QList<TServer *>{&server});
    QTRY_COMPARE_WITH_TIMEOUT(gamePort.Count(), 2, 5000); // game info, then the player list
    QCOMPARE(gamePort.Received().at(1).Data.toHex(), QByteArray("01720300"));
}

void tst_GameQueries::filteredServerGetsNoGameInfo()
{
    TLoopbackReceiver gamePort;
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    TUDPQueue queue(&udp, nullptr);
    TServer server(nullptr, gamePort.Port(), QStringLiteral("127.0.0.1"), &queue);
    server.FilteredOut = true;
    server.RequestGameInfo();
    QCOMPARE(server.RequestSeq, quint16(1));
    server.RequestPlayers(); // marks the end: nothing may come between
    QTRY_COMPARE_WITH_TIMEOUT(gamePort.Count(), 2, 5000);
    QCOMPARE(gamePort.Received().at(1).Data.toHex(), QByteArray("01720300"));
}

void tst_GameQueries::gameInfoOnlyForLatestRequest()
{
    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    server.RequestGameInfo();
    server.RequestGameInfo();
    QCOMPARE(server.RequestSeq, quint16(2));
    server.SentTick = 0xFFFFFFF0u; // the tick count wraps between request and reply
    server.ApplyGameInfo(1, 0x10, "old", "L", "D", "G", 1, 2, 3);
    QCOMPARE(server.Name, QString());
    QCOMPARE(server.AnsweredSeq, quint16(0));
    server.ApplyGameInfo(2, 0x10, "Name", "Level", "Desc", "CTF", 7, 4, 8);
    QCOMPARE(server.AnsweredSeq, quint16(2));
    QCOMPARE(server.Ping, 0x20u);
    QCOMPARE(server.Name, QStringLiteral("Name"));
    QCOMPARE(server.Level, QStringLiteral("Level"));
    QCOMPARE(server.Description, QStringLiteral("Desc"));
    QCOMPARE(server.GameType, QStringLiteral("CTF"));
    QCOMPARE(server.LevelNumber, quint16(7));
    QCOMPARE(server.Players, quint16(4));
    QCOMPARE(server.MaxPlayers, quint16(8));
}

void tst_GameQueries::isSilent_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("answered");
    QTest::addColumn<int>("statusQueries");
    QTest::addColumn<bool>("silent");
    QTest::newRow("three unanswered") << 4 << 1 << 0 << false;
    QTest::newRow("four unanswered") << 5 << 1 << 0 << true;
    QTest::newRow("three across the wrap") << 1 << 65534 << 0 << false;
    QTest::newRow("four across the wrap") << 2 << 65534 << 0 << true;
    QTest::newRow("answered after the wrap") << 0 << 0 << 0 << false;
    QTest::newRow("three status queries") << 7 << 7 << 3 << false;
    QTest::newRow("four status queries") << 7 << 7 << 4 << true;
}

void tst_GameQueries::isSilent()
{
    QFETCH(int, requested);
    QFETCH(int, answered);
    QFETCH(int, statusQueries);
    QFETCH(bool, silent);
    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    server.RequestSeq = quint16(requested);
    server.AnsweredSeq = quint16(answered);
    server.StatusQueries = statusQueries;
    QCOMPARE(server.IsSilent(), silent);
}

void tst_GameQueries::applyFilter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("ping");
    QTest::addColumn<int>("players");
    QTest::addColumn<bool>("hideFull");
    QTest::addColumn<QString>("gameType");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("filteredOut");
    QTest::newRow("plain") << "Srv" << 100u << 2 << false << "Anarchy" << true << false;
    QTest::newRow("no game info yet") << "  " << 100u << 2 << false << "Anarchy" << false << false;
    QTest::newRow("ping at the maximum") << "Srv" << 2000u << 2 << false << "Anarchy" << true << false;
    QTest::newRow("ping past the maximum") << "Srv" << 2001u << 2 << false << "Anarchy" << false << false;
    QTest::newRow("full, option off") << "Srv" << 100u << 8 << false << "Anarchy" << true << false;
    QTest::newRow("full, option on") << "Srv" << 100u << 8 << true << "Anarchy" << false << false;
    QTest::newRow("one free slot, option on") << "Srv" << 100u << 7 << true << "Anarchy" << true << false;
    QTest::newRow("game type listed, other case") << "Srv" << 100u << 2 << false << "ctf" << false << true;
}

void tst_GameQueries::applyFilter()
{
    QFETCH(QString, name);
    QFETCH(quint32, ping);
    QFETCH(int, players);
    QFETCH(bool, hideFull);
    QFETCH(QString, gameType);
    QFETCH(bool, visible);
    QFETCH(bool, filteredOut);
    TServerFilter filter;
    filter.HideFull = hideFull;
    filter.GameTypes = QStringList{QStringLiteral("CTF")};
    filter.Modes = QStringList{QStringLiteral("PEER d")};
    filter.Levels = QStringList{QStringLiteral("Polaris.mn3")};
    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    server.Visible = false;
    server.FilteredOut = true;
    server.Name = name;
    server.Ping = ping;
    server.Players = quint16(players);
    server.MaxPlayers = 8;
    server.GameType = gameType;
    server.ApplyFilter(filter);
    QCOMPARE(server.Visible, visible);
    QCOMPARE(server.FilteredOut, filteredOut);

    // Mode and level lists are matched the same way.
    server.GameType = QStringLiteral("Anarchy");
    server.Mode = QStringLiteral("peer D");
    server.ApplyFilter(filter);
    QVERIFY(server.FilteredOut && !server.Visible);
    server.Mode.clear();
    server.Level = QStringLiteral("POLARIS.MN3");
    server.ApplyFilter(filter);
    QVERIFY(server.FilteredOut && !server.Visible);
}

void tst_GameQueries::players()
{
    TServer server(nullptr, 1, QStringLiteral("127.0.0.1"), nullptr);
    server.PlayerList = {Player(3, true), Player(1, false), Player(4, true), Player(2, false), Player(5, true)};
    QCOMPARE(server.FindPlayer(4)->Name, QStringLiteral("p4"));
    server.PurgePlayers();
    QCOMPARE(server.PlayerList.size(), 2);
    QCOMPARE(server.PlayerList.at(0)->Index, 1);
    QCOMPARE(server.PlayerList.at(1)->Index, 2);
    QCOMPARE(server.FindPlayer(4), nullptr);
    QCOMPARE(server.FindPlayer(2), server.PlayerList.at(1));
}

void tst_GameQueries::freedServerLeavesNoOwner()
{
    TLoopbackReceiver gamePort;
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    TUDPQueue queue(&udp, nullptr);
    queue.Pause();
    auto server = std::make_unique<TServer>(nullptr, gamePort.Port(), QStringLiteral("127.0.0.1"), &queue);
    server->RequestLevelInfo();
    server->RequestGameInfo();
    QCOMPARE(queue.Count(), 3);
    QVERIFY(!server->AwaitingReply);
    server.reset(); // whatever AwaitingReply says
    QCOMPARE(queue.Peek()->Owner, nullptr);
    queue.Resume();
    QTRY_COMPARE_WITH_TIMEOUT(gamePort.Count(), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(queue.Count(), 0, 5000);
}

QTEST_GUILESS_MAIN(tst_GameQueries)
#include "tst_GameQueries.moc"
