#include "common/NgircdFixture.h"

#include "demo/NgircdConfig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

TNgircd::TNgircd() : TNgircd(TOptions{}) {}

TNgircd::TNgircd(const TOptions &options) : m_options(options) {}

TNgircd::~TNgircd()
{
    Stop();
}

QString TNgircd::Executable()
{
    return NgircdExecutable();
}

bool TNgircd::Available()
{
    return !Executable().isEmpty();
}

bool TNgircd::WriteConfig()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("conf.d"));
    QFile file(m_dir.filePath(QStringLiteral("ngircd.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    TNgircdConfig config;
    config.ServerName = m_options.ServerName;
    config.Motd = m_options.Motd;
    config.Port = m_port;
    config.MaxNickLength = m_options.MaxNickLength;
    config.PingTimeout = m_options.PingTimeout;
    config.IncludeDir = m_dir.filePath(QStringLiteral("conf.d"));
    return file.write(NgircdConfigText(config).toUtf8()) > 0;
}

bool TNgircd::Start()
{
    return StartOn(0);
}

bool TNgircd::Restart()
{
    return m_port != 0 && StartOn(m_port);
}

bool TNgircd::StartOn(quint16 fixedPort)
{
    Stop();
    m_error.clear();
    if (!Available()) {
        m_error = QStringLiteral("ngircd is not installed");
        return false;
    }
    // Another test may take the port between probing and binding: try a few.
    for (int attempt = 0; attempt < (fixedPort ? 1 : 5); ++attempt) {
        m_port = fixedPort ? fixedPort : FreeLoopbackPort();
        if (m_port == 0 || !WriteConfig()) {
            m_error = QStringLiteral("no free port or config folder");
            return false;
        }
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        // A small shell watches the test process: should the test die, the server goes too.
        static const QString watchdog = QStringLiteral(
            "\"$1\" -n -f \"$2\" & child=$!\n"
            "trap 'kill $child 2>/dev/null; wait $child; exit 0' TERM INT\n"
            "while kill -0 \"$3\" 2>/dev/null && kill -0 $child 2>/dev/null; do sleep 0.5 & wait $!; done\n"
            "kill $child 2>/dev/null; wait $child\n");
        m_process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), watchdog, QStringLiteral("ngircd-watchdog"),
                                                     Executable(), m_dir.filePath(QStringLiteral("ngircd.conf")),
                                                     QString::number(QCoreApplication::applicationPid())});
        if (!m_process->waitForStarted(5000)) {
            m_error = QStringLiteral("ngircd did not start: ") + m_process->errorString();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(Host(), m_port);
            if (probe.waitForConnected(200)) {
                probe.abort();
                return true;
            }
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
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

bool TNgircd::Running() const
{
    return m_process && m_process->state() == QProcess::Running;
}
