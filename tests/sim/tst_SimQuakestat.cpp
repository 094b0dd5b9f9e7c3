// quakestat, an independent implementation of game-server queries, reads what the simulator
// serves. Skipped when quakestat is not installed.

#include "demo/SimProcess.h"

#include <QJsonArray>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

class TestSimQuakestat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void gameInfoAndPlayers();
    void gamespyStatus();

private:
    // quakestat's raw output for one server: its line split at commas, then its player lines.
    struct TQuery
    {
        QStringList server;
        QList<QStringList> players;
    };
    TQuery Query(const QString &kind, const QString &endpoint);
    static QSet<QString> Names(const QJsonObject &server);

    QString m_quakestat;
};

void TestSimQuakestat::initTestCase()
{
    m_quakestat = QStandardPaths::findExecutable("quakestat");
    if (m_quakestat.isEmpty())
        QSKIP("quakestat is not installed (Debian package qstat)");
}

TestSimQuakestat::TQuery TestSimQuakestat::Query(const QString &kind, const QString &endpoint)
{
    QProcess quakestat;
    quakestat.start(m_quakestat, {kind, endpoint, "-raw", ",", "-P", "-R", "-timeout", "2", "-retry", "3"});
    TQuery query;
    if (!quakestat.waitForFinished(30000)) {
        quakestat.kill();
        quakestat.waitForFinished(2000);
        return query;
    }
    const QStringList lines = QString::fromUtf8(quakestat.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return query;
    query.server = lines[0].split(',');
    // With -R the line after the server's holds its rules (key=value pairs); players follow.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (i == 1 && lines[i].contains('='))
            continue;
        query.players.append(lines[i].split(','));
    }
    return query;
}

QSet<QString> TestSimQuakestat::Names(const QJsonObject &server)
{
    QSet<QString> names;
    for (const QJsonValue &name : server["playerNames"].toArray())
        names.insert(name.toString());
    return names;
}

void TestSimQuakestat::gameInfoAndPlayers()
{
    TSimProcess sim;
    QVERIFY2(sim.Start({"--servers", "3", "--full", "2", "--seed", "5"}), qPrintable(sim.ErrorString()));
    QCOMPARE(sim.Command("set-players 1 0")["reply"].toString(), QString("ok"));
    const QJsonArray servers = sim.Command("servers")["servers"].toArray();
    QCOMPARE(servers.size(), 3);
    for (const QJsonValue &value : servers) {
        const QJsonObject s = value.toObject();
        const QString endpoint = s["address"].toString() + ':' + QString::number(s["gamePort"].toInt());
        const TQuery query = Query("-d3p", endpoint);
        // D3P,address:port,name,level,max players,players,ping,retries
        QVERIFY2(query.server.size() >= 6, qPrintable(query.server.join(',')));
        QCOMPARE(query.server[0], QString("D3P"));
        QCOMPARE(query.server[2], s["name"].toString());
        QCOMPARE(query.server[3], s["level"].toString());
        QCOMPARE(query.server[4].toInt(), s["maxPlayers"].toInt());
        QCOMPARE(query.server[5].toInt(), s["players"].toInt());
        QSet<QString> names;
        for (const QStringList &player : query.players)
            names.insert(player.value(0));
        QCOMPARE(names, Names(s));
    }
    QCOMPARE(servers[1]["players"].toInt(), 0);
    QCOMPARE(servers[2]["players"].toInt(), servers[2]["maxPlayers"].toInt());
}

void TestSimQuakestat::gamespyStatus()
{
    TSimProcess sim;
    QVERIFY2(sim.Start({"--servers", "1", "--status-gamespy"}), qPrintable(sim.ErrorString()));
    const QJsonObject s = sim.Server(0);
    const TQuery query = Query("-d3g", s["address"].toString() + ":20142");
    // D3G,address:port,name,level,max players,players,...
    QVERIFY2(query.server.size() >= 6, qPrintable(query.server.join(',')));
    QCOMPARE(query.server[2], s["name"].toString());
    QCOMPARE(query.server[3], s["level"].toString());
    QCOMPARE(query.server[4].toInt(), s["maxPlayers"].toInt());
    QCOMPARE(query.server[5].toInt(), s["players"].toInt());
    QSet<QString> names;
    for (const QStringList &player : query.players)
        names.insert(player.value(0));
    QCOMPARE(names, Names(s));
}

QTEST_GUILESS_MAIN(TestSimQuakestat)
#include "tst_SimQuakestat.moc"
