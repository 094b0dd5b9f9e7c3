// The demo network as Orlo starts it: every helper up on loopback and talking, all or
// nothing at start, and nothing left running once it stops.
#include "common/IrcTestClient.h"
#include "common/Loopback.h"
#include "demo/DemoFiles.h"
#include "demo/DemoNetwork.h"
#include "demo/SimProcess.h"

#include <QDir>
#include <QLockFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {
constexpr int Wait = 15000;

bool ProcessAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    // A zombie is gone for our purposes: it only waits to be reaped.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) != "Z";
}

// Every living process below Root (children, their children, ...), read from /proc.
QList<qint64> Descendants(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] != "Z")
            children[fields[1].toLongLong()] << pid;
    }
    QList<qint64> result;
    QList<qint64> todo{root};
    while (!todo.isEmpty() && result.size() < 1000) {
        for (qint64 child : children.value(todo.takeFirst())) {
            result << child;
            todo << child;
        }
    }
    return result;
}

bool AllGone(const QList<qint64> &pids, int timeoutMs = 10000)
{
    return QTest::qWaitFor(
        [&] { return std::none_of(pids.cbegin(), pids.cend(), [](qint64 pid) { return ProcessAlive(pid); }); },
        timeoutMs);
}

// A loopback address whose next addresses are free for the game servers.
QHostAddress DemoAddress()
{
    const quint32 base = RandomLoopback().toIPv4Address() & 0xFFFFFF00u;
    return QHostAddress(base | 1u);
}

TDemoOptions DemoOptionsIn(const QString &root)
{
    TDemoOptions options;
    options.Root = root;
    options.Address = DemoAddress();
    options.HelperDir = qEnvironmentVariable("ORLO_BINARY_DIR") + QStringLiteral("/sim");
    return options;
}

QByteArray Fetch(const QString &url, int *status)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(url)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(Wait))
        return {};
    *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}
} // namespace

class tst_DemoNetwork : public QObject
{
    Q_OBJECT

private slots:
    void runsEverythingAndStopsEverything();
    void failedStartLeavesNothingRunning_data();
    void failedStartLeavesNothingRunning();
};

void tst_DemoNetwork::runsEverythingAndStopsEverything()
{
    QTemporaryDir root;
    TDemoNetwork demo;
    TDemoOptions options = DemoOptionsIn(root.path());
    QVERIFY2(demo.Start(options), qPrintable(demo.ErrorString()));
    const QList<qint64> pids = demo.ProcessIds();
    QCOMPARE(pids.size(), 4);

    // The chat users are in the lobby channel and answer a private message.
    TIrcTestClient pilot;
    QVERIFY(pilot.Register(demo.Host(), 7170, QStringLiteral("tester"), Wait));
    pilot.Send(QStringLiteral("JOIN #autoselect"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            pilot.Send(QStringLiteral("NAMES #autoselect"));
            return pilot.WaitFor(QStringLiteral("Quill"), 500);
        },
        Wait));
    pilot.Send(QStringLiteral("PRIVMSG Kestrel :hello there"));
    QVERIFY(pilot.WaitFor(QStringLiteral("PRIVMSG tester :Hey!"), Wait));
    QVERIFY(pilot.Matched().startsWith(QStringLiteral(":Kestrel!")));

    // The level server has the levels left missing.
    QVERIFY(!demo.MissingLevels().isEmpty());
    const QString missing = demo.MissingLevels().first();
    int status = 0;
    QCOMPARE(Fetch(demo.LevelBaseUrl() + missing, &status), DemoFiles::LevelBytes(missing));
    QCOMPARE(status, 200);
    Fetch(demo.LevelBaseUrl() + QStringLiteral("nosuch.mn3"), &status);
    QCOMPARE(status, 404);

    // Same folder, other address: refused by the lock before anything starts.
    TDemoNetwork second;
    options.Address = DemoAddress();
    QVERIFY(!second.Start(options));
    QVERIFY2(second.ErrorString().contains(QStringLiteral("already running")), qPrintable(second.ErrorString()));
    QVERIFY(second.ErrorString().contains(QString::number(QCoreApplication::applicationPid())));
    QCOMPARE(Descendants(QCoreApplication::applicationPid()).size(), pids.size());
    QCOMPARE(demo.ProcessIds(), pids);

    demo.Stop();
    QVERIFY(demo.ProcessIds().isEmpty());
    QVERIFY(AllGone(pids));
    // The lock is free again.
    QLockFile lock(demo.Layout().LockFile());
    QVERIFY(lock.tryLock(0));
}

// A start that fails on the way says why and leaves no helper running and the lock free;
// once the cause is gone the same folder starts.
void tst_DemoNetwork::failedStartLeavesNothingRunning_data()
{
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<QString>("message");
    QTest::newRow("chat port taken") << true << QStringLiteral("chat port %1:7170 is already taken");
    QTest::newRow("no ngircd") << false << QStringLiteral("apt-get install ngircd");
}

void tst_DemoNetwork::failedStartLeavesNothingRunning()
{
    QFETCH(bool, portTaken);
    QFETCH(QString, message);
    QTemporaryDir root;
    TDemoOptions options = DemoOptionsIn(root.path());
    QTcpServer squatter;
    if (portTaken)
        QVERIFY(squatter.listen(options.Address, 7170));
    else
        qputenv("ORLO_NGIRCD", root.filePath(QStringLiteral("no-such-ngircd")).toUtf8());
    TDemoNetwork demo;
    const bool started = demo.Start(options);
    qunsetenv("ORLO_NGIRCD");
    QVERIFY(!started);
    if (portTaken)
        message = message.arg(options.Address.toString());
    QVERIFY2(demo.ErrorString().contains(message), qPrintable(demo.ErrorString()));
    QVERIFY(demo.ProcessIds().isEmpty());
    QVERIFY(AllGone(Descendants(QCoreApplication::applicationPid())));
    QLockFile lock(demo.Layout().LockFile());
    QVERIFY(lock.tryLock(0));
    lock.unlock();

    squatter.close();
    QVERIFY2(demo.Start(options), qPrintable(demo.ErrorString()));
}

QTEST_GUILESS_MAIN(tst_DemoNetwork)
#include "tst_DemoNetwork.moc"
