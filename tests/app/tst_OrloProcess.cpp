// The orlo program as a whole process: options, the first and second run's settings,
// a clean shutdown on SIGTERM that saves what it holds, also while host lookups hang.
#include "common/Loopback.h"
#include "demo/DemoFiles.h"
#include "demo/SimProcess.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <unistd.h>

class TestOrloProcess : public QObject
{
    Q_OBJECT

private slots:
    void settingsAcrossRuns();
    void quitsAtOnceWhileLookupsHang();

private:
    static QString Binary() { return qEnvironmentVariable("ORLO_BINARY_DIR") + QStringLiteral("/src/app/orlo"); }
    // Starts Orlo, waits until its start-up has written the settings, then ends it with SIGTERM.
    static int RunOnce(const QString &settings, bool waitForSave = true);
};

int TestOrloProcess::RunOnce(const QString &settings, bool waitForSave)
{
    QProcess orlo;
    orlo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QDateTime stamp = QFileInfo(settings).lastModified();
    orlo.start(Binary(), QStringList{QStringLiteral("--settings"), settings, QStringLiteral("--peer-address"),
                                     RandomLoopback().toString()});
    if (!orlo.waitForStarted(10000))
        return -1;
    // Start-up is done once it has saved the settings (a broken file is never written).
    (void)QTest::qWaitFor([&] { return QFileInfo(settings).lastModified() != stamp; }, waitForSave ? 10000 : 1500);
    QTest::qWait(300);
    orlo.terminate();
    if (!orlo.waitForFinished(10000)) {
        orlo.kill();
        orlo.waitForFinished();
        return -2;
    }
    return orlo.exitStatus() == QProcess::NormalExit ? orlo.exitCode() : -3;
}

// The first run writes the settings, the second leaves them byte for byte; SIGTERM ends Orlo
// as a quit does, so the windows' placements are saved too. A file Orlo cannot read is left
// alone, and the error box waiting for an answer does not keep SIGTERM from ending Orlo.
void TestOrloProcess::settingsAcrossRuns()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("orlo.json"));
    const auto content = [&settings] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(RunOnce(settings), 0);
    const QByteArray first = content();
    const QJsonObject root = QJsonDocument::fromJson(first).object();
    QVERIFY(root.contains(QLatin1String("\\Software\\Orlo\\PXO")));
    QVERIFY(root.contains(QLatin1String("\\Software\\Orlo\\Main Window")));
    QVERIFY(root.contains(QLatin1String("\\Software\\Orlo\\Banner Window")));
    QCOMPARE(RunOnce(settings), 0);
    QCOMPARE(content(), first);

    const QByteArray broken(R"({"\\Software\\Orlo\\PXO": {"Auto join": "yes"}})");
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(broken);
    file.close();
    QCOMPARE(RunOnce(settings, false), 0);
    QCOMPARE(content(), broken);
}

// 200 chat users whose host names go to a name server that never answers: Orlo looks them
// up (pings and client probes) and must still end within two seconds of SIGTERM.
void TestOrloProcess::quitsAtOnceWhileLookupsHang()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        QSKIP("needs root and unshare: Orlo runs with a resolv.conf of the test's own");
    QTemporaryDir dir;
    const QHostAddress nameServer = RandomLoopback();
    QUdpSocket dns; // takes every question, answers none
    QVERIFY2(dns.bind(nameServer, 53), qPrintable(dns.errorString()));
    QFile resolv(dir.filePath(QStringLiteral("resolv.conf")));
    QVERIFY(resolv.open(QIODevice::WriteOnly));
    resolv.write("nameserver " + nameServer.toString().toLatin1() + "\noptions timeout:30 attempts:3\n");
    resolv.close();

    const QString pxo = RandomLoopback().toString();
    TSimProcess sim;
    QVERIFY2(sim.Start({QStringLiteral("--user-tracker"), pxo + QStringLiteral(":2092"),
                        QStringLiteral("--game-tracker"), pxo + QStringLiteral(":3445"), QStringLiteral("--servers"),
                        QStringLiteral("1"), QStringLiteral("--login"), QStringLiteral("pilot:secret=TRK0000001")}),
             qPrintable(sim.ErrorString()));
    QTcpServer chat;
    QVERIFY(chat.listen(QHostAddress(pxo), 7170));
    const QString settings = dir.filePath(QStringLiteral("orlo.json"));
    {
        TJsonSettingsStore store(settings);
        DemoFiles::WriteSettings(store, {pxo,
                                         QStringLiteral("/bin/true"),
                                         dir.path(),
                                         QStringLiteral("pilot"),
                                         QStringLiteral("secret"),
                                         QStringLiteral("Pilot"),
                                         {}});
    }

    QProcess orlo;
    orlo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    orlo.start(
        QStringLiteral("unshare"),
        {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount --bind \"$1\" /etc/resolv.conf && exec \"$2\" --settings \"$3\" --peer-address $4"),
         QStringLiteral("sh"), resolv.fileName(), Binary(), settings, RandomLoopback().toString()});
    QVERIFY(orlo.waitForStarted(10000));
    QVERIFY(chat.waitForNewConnection(20000));
    QTcpSocket *client = chat.nextPendingConnection();
    QByteArray received;
    const auto waitFor = [&](const QByteArray &text) {
        return QTest::qWaitFor(
            [&] {
                received += client->readAll();
                return received.contains(text);
            },
            10000);
    };
    QVERIFY(waitFor("NICK Pilot"));
    client->write(":srv 001 Pilot :Welcome\r\nPING :srv\r\n");
    QVERIFY(waitFor("JOIN #autoselect"));
    QByteArray joins = ":Pilot!p@" + pxo.toLatin1() + " JOIN :#autoselect\r\n";
    for (int i = 0; i < 200; ++i)
        joins += QStringLiteral(":u%1!u@u%1.dialup.example.net JOIN :#autoselect\r\n").arg(i).toLatin1();
    client->write(joins);
    // Lookups are under way once the name server hears questions.
    QVERIFY(QTest::qWaitFor([&] { return dns.pendingDatagramSize() > 0; }, 10000));
    QTest::qWait(500);

    QElapsedTimer quitting;
    quitting.start();
    orlo.terminate();
    const bool ended = orlo.waitForFinished(10000);
    const qint64 took = quitting.elapsed();
    qInfo("Orlo quit %lld ms after SIGTERM", took);
    QVERIFY2(ended && took < 2000, qPrintable(QStringLiteral("Orlo took %1 ms to quit").arg(took)));
    QCOMPARE(orlo.exitStatus(), QProcess::NormalExit);
}

QTEST_GUILESS_MAIN(TestOrloProcess)
#include "tst_OrloProcess.moc"
