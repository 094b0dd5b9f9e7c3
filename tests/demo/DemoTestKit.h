#pragma once

// What the demo tests share: a demo network on a loopback address of the test's own, and a
// look at which processes are still alive.
#include "common/Loopback.h"
#include "demo/DemoNetwork.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/types.h>

inline bool ProcessAlive(qint64 pid)
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
inline QList<qint64> Descendants(qint64 root)
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

inline bool AllGone(const QList<qint64> &pids, int timeoutMs = 10000)
{
    return QTest::qWaitFor(
        [&] { return std::none_of(pids.cbegin(), pids.cend(), [](qint64 pid) { return ProcessAlive(pid); }); },
        timeoutMs);
}

// A loopback address whose next addresses are free for the game servers.
inline QHostAddress DemoAddress()
{
    const quint32 base = RandomLoopback().toIPv4Address() & 0xFFFFFF00u;
    return QHostAddress(base | 1u);
}

inline TDemoOptions DemoOptionsIn(const QString &root)
{
    TDemoOptions options;
    options.Root = root;
    options.Address = DemoAddress();
    options.HelperDir = qEnvironmentVariable("ORLO_BINARY_DIR") + QStringLiteral("/sim");
    return options;
}
