// One Orlo per user: a later start hands its request to the running one over a real local
// socket; what a sender may leave there is bounded.
#include "net/InstanceChannel.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QtTest>

#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestInstanceChannel : public QObject
{
    Q_OBJECT

private slots:
    void handOver()
    {
        const QString key = QStringLiteral("test %1").arg(QCoreApplication::applicationPid());
        TInstanceChannel first(key);
        QVERIFY(!first.HandOverOrListen(QStringLiteral("show")));
        QVERIFY(first.Listening());
        QSignalSpy received(&first, &TInstanceChannel::MessageReceived);
        // A later start runs in a process of its own; a thread stands in for it here.
        auto later = std::async(std::launch::async, [key] {
            TInstanceChannel second(key);
            return second.HandOverOrListen(QStringLiteral("orlo://join/1.2.3.4:2092"));
        });
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toString(), QStringLiteral("orlo://join/1.2.3.4:2092"));
        QVERIFY(later.get());

        // An over-long line is dropped, and the channel still serves the next start.
        auto flood = std::async(std::launch::async, [key] {
            TInstanceChannel second(key);
            return second.HandOverOrListen(QString(4000, u'x'));
        });
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, 5000);
        QCOMPARE(received.last().first().toString().size(), TInstanceChannel::MaxMessage - 1);
        QVERIFY(flood.get());

        // A line without end is not kept for ever: past MaxMessage bytes its sender is cut off.
        QLocalSocket raw;
        raw.connectToServer(first.ServerName());
        QVERIFY(raw.waitForConnected(5000));
        raw.write(QByteArray(TInstanceChannel::MaxMessage + 1, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(received.size(), 2);
    }

    // An Orlo that crashed leaves its socket file; nobody answers there, so the next one
    // takes its place.
    void aCrashedOrloLeavesNoObstacle()
    {
        TInstanceChannel next(QStringLiteral("crash %1").arg(QCoreApplication::applicationPid()));
        const QByteArray path = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + next.ServerName());
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        QCOMPARE(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(stale);
        QVERIFY(QFile::exists(QFile::decodeName(path)));
        QVERIFY(!next.HandOverOrListen(QStringLiteral("show")));
        QVERIFY(next.Listening());
    }
};

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "tst_InstanceChannel.moc"
