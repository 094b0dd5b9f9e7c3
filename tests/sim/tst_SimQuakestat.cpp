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
    void serversAsQuakestatReadsThem_data();
    void serversAsQuakestatReadsThem();

private:
    QString m_quakestat;
};

void TestSimQuakestat::initTestCase()
{
    m_quakestat = QStandardPaths::findExecutable("quakestat");
    if (m_quakestat.isEmpty())
        QSKIP("quakestat is not installed (Debian package qstat)");
}

void TestSimQuakestat::serversAsQuakestatReadsThem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("command");
    // Servers with players, one full and one empty.
    QTest::newRow("game queries (-d3p)") << "-d3p" << QStringList{"--servers", "3", "--full", "2", "--seed", "5"}
                                         << "set-players 1 0";
    QTest::newRow("gamespy status (-d3g)") << "-d3g" << QStringList{"--servers", "1", "--status-gamespy"} << "";
}

void TestSimQuakestat::serversAsQuakestatReadsThem()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, arguments);
    QFETCH(QString, command);
    TSimProcess sim;
    QVERIFY2(sim.Start(arguments), qPrintable(sim.ErrorString()));
    QVERIFY(command.isEmpty() || sim.Command(command)["reply"].toString() == "ok");
    for (const QJsonValue &value : sim.Command("servers")["servers"].toArray()) {
        const QJsonObject s = value.toObject();
        const int port = kind == "-d3p" ? s["gamePort"].toInt() : 20142;
        QProcess quakestat;
        quakestat.start(m_quakestat, {kind, s["address"].toString() + ':' + QString::number(port), "-raw", ",", "-P",
                                      "-R", "-timeout", "2", "-retry", "3"});
        if (!quakestat.waitForFinished(30000))
            quakestat.kill();
        // KIND,address:port,name,level,max players,players,...; with -R a line of key=value
        // rules follows, then a line for each player.
        const QStringList lines = QString::fromUtf8(quakestat.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const QStringList server = lines.value(0).split(',');
        QVERIFY2(server.size() >= 6, qPrintable(lines.join('\n')));
        QCOMPARE(server.mid(2, 4) << server[0],
                 QStringList({s["name"].toString(), s["level"].toString(), QString::number(s["maxPlayers"].toInt()),
                              QString::number(s["players"].toInt()), kind.mid(1).toUpper()}));
        QSet<QString> names;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (i > 1 || !lines[i].contains('='))
                names.insert(lines[i].section(',', 0, 0));
        }
        const QStringList served = s["playerNames"].toVariant().toStringList();
        QCOMPARE(names, QSet<QString>(served.cbegin(), served.cend()));
    }
}

QTEST_GUILESS_MAIN(TestSimQuakestat)
#include "tst_SimQuakestat.moc"
