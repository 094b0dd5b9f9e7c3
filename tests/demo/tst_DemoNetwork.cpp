// The demo network as Orlo starts it: every helper up on loopback and talking, all or
// nothing at start, and nothing left running once it stops.
#include "DemoTestKit.h"
#include "common/IrcTestClient.h"
#include "demo/DemoFiles.h"
#include "demo/SimProcess.h"

#include <QLockFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int Wait = 15000;

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
    void secondStartIsRefused();
    void takenChatPortLeavesNothingRunning();
    void withoutNgircdSaysHowToInstallIt();
};

void tst_DemoNetwork::runsEverythingAndStopsEverything()
{
    QTemporaryDir root;
    TDemoNetwork demo;
    QVERIFY2(demo.Start(DemoOptionsIn(root.path())), qPrintable(demo.ErrorString()));
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

    // The trackers know the demo login; the servers name levels the HTTP server has.
    QCOMPARE(demo.Sim()->Servers().size(), 12);
    QVERIFY(!demo.MissingLevels().isEmpty());
    const QString missing = demo.MissingLevels().first();
    QVERIFY(!QFile::exists(demo.Layout().MissionsDir() + QLatin1Char('/') + missing));
    int present = 0;
    for (const QString &level : demo.ServerLevels())
        present += QFile::exists(demo.Layout().MissionsDir() + QLatin1Char('/') + level) ? 1 : 0;
    QVERIFY(present > 0);
    int status = 0;
    QCOMPARE(Fetch(demo.LevelBaseUrl() + missing, &status), DemoFiles::LevelBytes(missing));
    QCOMPARE(status, 200);
    Fetch(demo.LevelBaseUrl() + QStringLiteral("nosuch.mn3"), &status);
    QCOMPARE(status, 404);

    demo.Stop();
    QVERIFY(demo.ProcessIds().isEmpty());
    QVERIFY(AllGone(pids));
    // The lock is free again.
    QLockFile lock(demo.Layout().LockFile());
    QVERIFY(lock.tryLock(0));
}

void tst_DemoNetwork::secondStartIsRefused()
{
    QTemporaryDir root;
    TDemoNetwork first;
    TDemoOptions options = DemoOptionsIn(root.path());
    QVERIFY2(first.Start(options), qPrintable(first.ErrorString()));
    const QList<qint64> running = first.ProcessIds();

    // Same folder, other address: refused by the lock before anything starts.
    TDemoNetwork second;
    options.Address = DemoAddress();
    QVERIFY(!second.Start(options));
    QVERIFY2(second.ErrorString().contains(QStringLiteral("already running")), qPrintable(second.ErrorString()));
    QVERIFY(second.ErrorString().contains(QString::number(QCoreApplication::applicationPid())));
    QVERIFY(second.ProcessIds().isEmpty());
    QCOMPARE(Descendants(QCoreApplication::applicationPid()).size(), running.size());
    // The first one is untouched.
    QCOMPARE(first.ProcessIds(), running);
    TIrcTestClient pilot;
    QVERIFY(pilot.Register(first.Host(), 7170, QStringLiteral("tester"), Wait));
}

void tst_DemoNetwork::takenChatPortLeavesNothingRunning()
{
    QTemporaryDir root;
    TDemoOptions options = DemoOptionsIn(root.path());
    QTcpServer squatter;
    QVERIFY(squatter.listen(options.Address, 7170));
    TDemoNetwork demo;
    QVERIFY(!demo.Start(options));
    QVERIFY2(demo.ErrorString().contains(
                 QStringLiteral("chat port %1:7170 is already taken").arg(options.Address.toString())),
             qPrintable(demo.ErrorString()));
    QVERIFY(demo.ProcessIds().isEmpty());
    QVERIFY(AllGone(Descendants(QCoreApplication::applicationPid())));
    QLockFile lock(demo.Layout().LockFile());
    QVERIFY(lock.tryLock(0));
    lock.unlock();

    // Once the port is free the same folder starts.
    squatter.close();
    QVERIFY2(demo.Start(options), qPrintable(demo.ErrorString()));
}

void tst_DemoNetwork::withoutNgircdSaysHowToInstallIt()
{
    QTemporaryDir root;
    qputenv("ORLO_NGIRCD", root.filePath(QStringLiteral("no-such-ngircd")).toUtf8());
    TDemoNetwork demo;
    const bool started = demo.Start(DemoOptionsIn(root.path()));
    qunsetenv("ORLO_NGIRCD");
    QVERIFY(!started);
    QVERIFY2(demo.ErrorString().contains(QStringLiteral("apt-get install ngircd")), qPrintable(demo.ErrorString()));
    QVERIFY(demo.ProcessIds().isEmpty());
    QVERIFY(AllGone(Descendants(QCoreApplication::applicationPid())));
    QLockFile lock(demo.Layout().LockFile());
    QVERIFY(lock.tryLock(0));
}

QTEST_GUILESS_MAIN(tst_DemoNetwork)
#include "tst_DemoNetwork.moc"
