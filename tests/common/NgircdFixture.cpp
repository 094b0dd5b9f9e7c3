#include "common/NgircdFixture.h"

#include "demo/NgircdConfig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

bool TNgircd::Available()
{
    return !NgircdExecutable().isEmpty();
}

bool TNgircd::Start()
{
    Stop();
    if (!Available()) {
        m_error = QStringLiteral("ngircd is not installed");
        return false;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("conf.d"));
    // Another test may take the port between probing and binding: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTcpServer probe;
        m_port = probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
        probe.close();
        TNgircdConfig config;
        config.Port = m_port;
        config.IncludeDir = m_dir.filePath(QStringLiteral("conf.d"));
        QFile file(m_dir.filePath(QStringLiteral("ngircd.conf")));
        if (m_port == 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(NgircdConfigText(config).toUtf8()) <= 0) {
            m_error = QStringLiteral("no free port or config folder");
            return false;
        }
        file.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        // A small shell watches the test process: should the test die, the server goes too.
        static const QString watchdog = QStringLiteral(
            "\"$1\" -n -f \"$2\" & child=$!\n"
            "trap 'kill $child 2>/dev/null; wait $child; exit 0' TERM INT\n"
            "while kill -0 \"$3\" 2>/dev/null && kill -0 $child 2>/dev/null; do sleep 0.5 & wait $!; done\n"
            "kill $child 2>/dev/null; wait $child\n");
        m_process->start(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), watchdog, QStringLiteral("ngircd-watchdog"), NgircdExecutable(),
                          file.fileName(), QString::number(QCoreApplication::applicationPid())});
        if (!m_process->waitForStarted(5000)) {
            m_error = QStringLiteral("ngircd did not start: ") + m_process->errorString();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
            QTcpSocket connection;
            connection.connectToHost(Host(), m_port);
            if (connection.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        m_error = QStringLiteral("ngircd did not listen on %1: %2")
                      .arg(m_port)
                      .arg(QString::fromLocal8Bit(m_process->readAll()));
        Stop();
    }
    return false;
}

void TNgircd::Stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}
