// The lobby's decoders on the replies of running simulated game servers, and a level fetched
// from the address a server gives, over loopback.
#include "common/HttpTestServer.h"
#include "demo/SimProcess.h"
#include "pxo/LevelDownload.h"
#include "pxo/LevelTarget.h"
#include "pxo/ServerReplies.h"
#include "sim/SimTestPeer.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ServerReplies;

class TestServerExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void gameInfoAndPlayers();
    void statusReply();
    void levelFromTheServersAddress();
    void serverWithoutLevelAddress();

private:
    static QString Address(const QJsonObject &s) { return s["address"].toString(); }
    static quint16 GamePort(const QJsonObject &s) { return quint16(s["gamePort"].toInt()); }

    THttpTestServer m_http;
    TSimProcess m_sim;
};

void TestServerExchange::initTestCase()
{
    QVERIFY2(m_http.Start(), "the HTTP server did not start");
    QVERIFY2(m_sim.Start({"--servers", "3", "--seed", "5", "--no-level", "2", "--level-blank-first", "--level-url",
                          m_http.Url(QStringLiteral("size=20000/levels"))}),
             qPrintable(m_sim.ErrorString()));
}

void TestServerExchange::cleanupTestCase()
{
    m_sim.Stop();
    m_http.Stop();
}

void TestServerExchange::gameInfoAndPlayers()
{
    SimTest::TPeer peer;
    for (int index = 0; index < 3; ++index) {
        const QJsonObject s = m_sim.Server(index);
        const QByteArray reply = peer.Ask(SimTest::GameInfoRequest(quint16(300 + index)), Address(s), GamePort(s));
        QCOMPARE(SimTest::Key(reply), quint16(0x011F));
        const TGameInfo info = DecodeGameInfo(reply);
        QCOMPARE(info.Name, s["name"].toString());
        QCOMPARE(info.Level, s["level"].toString());
        QCOMPARE(info.Description, s["description"].toString());
        QCOMPARE(info.GameType, s["gameType"].toString());
        QCOMPARE(int(info.LevelNumber), s["levelNumber"].toInt());
        QCOMPARE(int(info.Players), s["players"].toInt());
        QCOMPARE(int(info.MaxPlayers), s["maxPlayers"].toInt());
        QCOMPARE(int(info.Sequence), 300 + index);
        QCOMPARE(info.Mode,
                 ModeName(quint8(s["mode"].toInt())) + (s["dedicated"].toBool() ? QStringLiteral(" d") : QString()));
        QCOMPARE(info.Difficulty, DifficultyName(quint8(s["difficulty"].toInt())));

        const QByteArray list = peer.Ask(SimTest::PlayerListRequest(), Address(s), GamePort(s));
        QCOMPARE(SimTest::Key(list), quint16(0x0173));
        QStringList expected;
        for (const QJsonValue &name : s["playerNames"].toArray())
            expected << name.toString();
        QCOMPARE(DecodePlayerList(list), expected);
    }
}

void TestServerExchange::statusReply()
{
    SimTest::TPeer peer;
    const QJsonObject s = m_sim.Server(0);
    const QByteArray reply = peer.Ask(SimTest::StatusRequest(), Address(s), quint16(s["statusPort"].toInt()));
    QVERIFY(reply.startsWith('\\'));
    const QStringList fields = DecodeStatus(reply).split(QLatin1Char('\\'));
    const qsizetype version = fields.indexOf(QStringLiteral("gamever"));
    QVERIFY(version > 0 && version + 1 < fields.size());
    QCOMPARE(fields[version + 1], s["gameVersion"].toString());
    for (const QJsonValue &name : s["playerNames"].toArray())
        QVERIFY2(fields.contains(name.toString()), qPrintable(name.toString()));
}

void TestServerExchange::levelFromTheServersAddress()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString gamePath = dir.path() + QStringLiteral("/descent3");
    SimTest::TPeer peer;
    const QJsonObject s = m_sim.Server(1);
    const QByteArray reply = peer.Ask(SimTest::LevelRequest(), Address(s), GamePort(s));
    QCOMPARE(SimTest::Key(reply), quint16(0x0161));
    const QString address = DecodeLevelAddress(reply); // the blank text before it is passed over
    QCOMPARE(address, s["levelUrl"].toString());

    // The level check looks where the download puts it.
    const QString levelPath = LevelTarget::LocalPath(gamePath + QStringLiteral("\\missions\\") + s["level"].toString());
    QVERIFY(!QFileInfo::exists(levelPath));
    TLevelDownload download;
    QSignalSpy succeeded(&download, &TLevelDownload::Succeeded);
    QCOMPARE(download.Start(address, LevelTarget::Directory(true, gamePath, QString())),
             TLevelDownload::TStart::Started);
    QVERIFY(succeeded.wait(15000));
    QVERIFY(QFileInfo::exists(levelPath));
    QCOMPARE(QFileInfo(levelPath).size(), 20000);
}

void TestServerExchange::serverWithoutLevelAddress()
{
    SimTest::TPeer peer;
    const QJsonObject s = m_sim.Server(2);
    const QByteArray reply = peer.Ask(SimTest::LevelRequest(), Address(s), GamePort(s));
    QCOMPARE(SimTest::Key(reply), quint16(0x0161));
    QCOMPARE(DecodeLevelAddress(reply), QString());
}

QTEST_GUILESS_MAIN(TestServerExchange)
#include "tst_ServerExchange.moc"
