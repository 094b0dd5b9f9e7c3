#include "demo/DemoNetwork.h"

#include "demo/NgircdConfig.h"
#include "demo/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
constexpr int StopWaitMs = 3000;

// Should Orlo die without stopping them, the helpers go too.
void EndWithParent(QProcess &process)
{
#ifdef Q_OS_LINUX
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#else
    Q_UNUSED(process);
#endif
}

void StopProcess(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->disconnect();
    process->terminate();
    if (!process->waitForFinished(StopWaitMs)) {
        process->kill();
        process->waitForFinished(StopWaitMs);
    }
}

QString Endpoint(const QHostAddress &address, quint16 port)
{
    return address.toString() + QLatin1Char(':') + QString::number(port);
}
} // namespace

TDemoNetwork::TDemoNetwork(QObject *parent) : QObject(parent) {}

TDemoNetwork::~TDemoNetwork()
{
    Stop();
}

QString TDemoNetwork::FindHelper(const QString &name, const QString &helperDir)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    QStringList folders;
    if (!helperDir.isEmpty())
        folders << helperDir;
    // Installed, or in the build tree (from src/app, or from the benchmarks' folder).
    folders << appDir << appDir + QStringLiteral("/../libexec/orlo") << appDir + QStringLiteral("/../../sim")
            << appDir + QStringLiteral("/../sim");
    for (const QString &folder : folders) {
        const QFileInfo info(folder + QLatin1Char('/') + name);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return {};
}

bool TDemoNetwork::Fail(const QString &error)
{
    m_error = error;
    Stop();
    return false;
}

bool TDemoNetwork::Start(const TDemoOptions &options)
{
    Stop();
    m_error.clear();
    m_options = options;
    m_layout.Root = options.Root;
    const quint32 address = options.Address.toIPv4Address();
    // The game servers take the addresses after it, all within 127.0.0.0/8.
    const quint32 last = address + quint32(qBound(0, options.Servers, TDemoOptions::MaxServers));
    if (!options.Address.isLoopback() || address == 0 || (address & 0xFF) == 0 || (last >> 24) != 127)
        return Fail(QStringLiteral("The demo network runs on a loopback address such as 127.0.0.1, not on %1.")
                        .arg(options.Address.toString()));
    if (!QDir().mkpath(m_layout.Root))
        return Fail(QStringLiteral("Cannot create the demo folder %1.").arg(QDir::toNativeSeparators(m_layout.Root)));

    m_lock = std::make_unique<QLockFile>(m_layout.LockFile());
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        m_lock->getLockInfo(&pid, &host, &application);
        m_lock.reset();
        return Fail(QStringLiteral("The Orlo demo is already running (process %1). Use that window, or quit it "
                                   "before starting the demo again.")
                        .arg(pid));
    }

    if (NgircdExecutable().isEmpty())
        return Fail(NgircdMissingText());
    m_gameProgram = FindHelper(QStringLiteral("orlo-demo-game"), options.HelperDir);
    for (const char *helper : {"orlo-pxo-sim", "orlo-demo-chatters", "orlo-demo-game"}) {
        if (FindHelper(QLatin1String(helper), options.HelperDir).isEmpty())
            return Fail(
                QStringLiteral("The demo helper program %1 was not found beside Orlo (%2). Build or install "
                               "Orlo completely.")
                    .arg(QLatin1String(helper), QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
    }
    if (!CheckPortsFree() || !StartLevelServer() || !StartSim())
        return false;
    m_missing = DemoFiles::ChooseMissing(m_serverLevels);
    QString error;
    if (!DemoFiles::PrepareLevels(m_layout, m_serverLevels, m_missing, error))
        return Fail(error);
    if (!StartNgircd() || !StartChatters())
        return false;
    m_running = true;
    return true;
}

bool TDemoNetwork::CheckPortsFree()
{
    const QHostAddress &address = m_options.Address;
    QTcpServer chat;
    if (!chat.listen(address, m_options.ChatPort))
        return Fail(QStringLiteral("The demo cannot start: the chat port %1 is already taken (%2). Another IRC "
                                   "server or another Orlo demo may be running; stop it and try again.")
                        .arg(Endpoint(address, m_options.ChatPort), chat.errorString()));
    for (quint16 port : {m_options.UserTrackerPort, m_options.GameTrackerPort}) {
        QUdpSocket tracker;
        if (!tracker.bind(address, port))
            return Fail(QStringLiteral("The demo cannot start: the tracker port %1 is already taken (%2).")
                            .arg(Endpoint(address, port), tracker.errorString()));
    }
    return true;
}

bool TDemoNetwork::StartLevelServer()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return Fail(QStringLiteral("The demo serves its levels with python3, which is not installed "
                                   "(sudo apt-get install python3)."));
    if (!QDir().mkpath(m_layout.LevelsDir()))
        return Fail(QStringLiteral("Cannot create %1.").arg(QDir::toNativeSeparators(m_layout.LevelsDir())));
    m_http = std::make_unique<QProcess>();
    EndWithParent(*m_http);
    m_http->setProcessChannelMode(QProcess::SeparateChannels);
    m_http->setStandardErrorFile(QProcess::nullDevice());
    m_http->start(python, {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                           QStringLiteral("0"), QStringLiteral("--bind"), m_options.Address.toString(),
                           QStringLiteral("--directory"), m_layout.LevelsDir()});
    // "Serving HTTP on 127.0.0.1 port 41234 (http://127.0.0.1:41234/) ..."
    static const QRegularExpression portLine(QStringLiteral("port (\\d+)"));
    QByteArray output;
    quint16 port = 0;
    WaitUntil(
        [&] {
            output += m_http->readAllStandardOutput();
            const QRegularExpressionMatch match = portLine.match(QString::fromLatin1(output));
            if (match.hasMatch())
                port = match.captured(1).toUShort();
            return port != 0 || m_http->state() == QProcess::NotRunning || output.size() > 4096;
        },
        m_options.StartTimeoutMs);
    if (port == 0)
        return Fail(QStringLiteral("The demo's level server (python3 http.server) did not start: %1")
                        .arg(m_http->errorString()));
    m_levelUrl = QStringLiteral("http://%1/").arg(Endpoint(m_options.Address, port));
    Watch(m_http.get(), QStringLiteral("level server"));
    return true;
}

bool TDemoNetwork::StartSim()
{
    m_sim = std::make_unique<TSimProcess>();
    m_sim->SetProgram(FindHelper(QStringLiteral("orlo-pxo-sim"), m_options.HelperDir));
    const QString first = QHostAddress(m_options.Address.toIPv4Address() + 1).toString();
    const QStringList arguments = {
        QStringLiteral("--servers"),
        QString::number(m_options.Servers),
        QStringLiteral("--user-tracker"),
        Endpoint(m_options.Address, m_options.UserTrackerPort),
        QStringLiteral("--game-tracker"),
        Endpoint(m_options.Address, m_options.GameTrackerPort),
        QStringLiteral("--first-server"),
        first,
        QStringLiteral("--level-url"),
        m_levelUrl.chopped(1),
        QStringLiteral("--login"),
        QStringLiteral("%1:%2=%3").arg(QLatin1String(LoginName), QLatin1String(Password), QLatin1String(TrackerId))};
    if (!m_sim->Start(arguments, m_options.StartTimeoutMs))
        return Fail(QStringLiteral("The simulated PXO network did not start: %1").arg(m_sim->ErrorString()));
    m_serverLevels.clear();
    for (const QJsonValue &server : m_sim->Servers())
        m_serverLevels << server.toObject().value(QStringLiteral("level")).toString();
    return true;
}

bool TDemoNetwork::StartNgircd()
{
    const QString dir = m_layout.NgircdDir();
    QDir().mkpath(dir + QStringLiteral("/conf.d"));
    TNgircdConfig config;
    config.ServerName = QStringLiteral("chat.orlo.demo");
    config.Info = QStringLiteral("Orlo demo network");
    config.Motd = QStringLiteral("Welcome to the Orlo demo network: everyone here is simulated on this computer.");
    config.ListenAddress = m_options.Address.toString();
    config.Port = m_options.ChatPort;
    config.RequireAuthPing = true;
    config.IncludeDir = dir + QStringLiteral("/conf.d");
    QFile file(dir + QStringLiteral("/ngircd.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(NgircdConfigText(config).toUtf8()) <= 0)
        return Fail(QStringLiteral("Cannot write %1.").arg(QDir::toNativeSeparators(file.fileName())));
    file.close();

    m_ngircd = std::make_unique<QProcess>();
    EndWithParent(*m_ngircd);
    m_ngircd->setProcessChannelMode(QProcess::MergedChannels);
    m_ngircd->start(NgircdExecutable(), {QStringLiteral("-n"), QStringLiteral("-f"), file.fileName()});
    bool listening = false;
    const auto probe = std::make_unique<QTcpSocket>();
    QObject::connect(probe.get(), &QTcpSocket::connected, probe.get(), [&listening] { listening = true; });
    QObject::connect(probe.get(), &QTcpSocket::errorOccurred, probe.get(), [&] {
        // Not listening yet: try again shortly.
        QTimer::singleShot(100, probe.get(), [&] {
            probe->abort();
            probe->connectToHost(m_options.Address, m_options.ChatPort);
        });
    });
    probe->connectToHost(m_options.Address, m_options.ChatPort);
    WaitUntil([&] { return listening || m_ngircd->state() == QProcess::NotRunning; }, m_options.StartTimeoutMs);
    probe->abort();
    if (!listening)
        return Fail(QStringLiteral("The demo's chat server (ngircd) did not start on %1:\n%2")
                        .arg(Endpoint(m_options.Address, m_options.ChatPort),
                             QString::fromLocal8Bit(m_ngircd->readAll()).trimmed().right(2000)));
    Watch(m_ngircd.get(), QStringLiteral("chat server"));
    return true;
}

bool TDemoNetwork::StartChatters()
{
    m_chatters = std::make_unique<QProcess>();
    EndWithParent(*m_chatters);
    m_chatters->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_chatters->setStandardOutputFile(QProcess::nullDevice());
    m_chatters->start(FindHelper(QStringLiteral("orlo-demo-chatters"), m_options.HelperDir),
                      {QStringLiteral("--host"), m_options.Address.toString(), QStringLiteral("--port"),
                       QString::number(m_options.ChatPort), QStringLiteral("--nicks"),
                       m_options.ChatterNicks.join(QLatin1Char(',')), QStringLiteral("--interval-ms"),
                       QString::number(m_options.ChatIntervalMs)});
    WaitUntil([&] { return m_chatters->state() != QProcess::Starting; }, m_options.StartTimeoutMs);
    if (m_chatters->state() != QProcess::Running)
        return Fail(QStringLiteral("The demo's chat users did not start: %1").arg(m_chatters->errorString()));
    Watch(m_chatters.get(), QStringLiteral("chat users"));
    return true;
}

void TDemoNetwork::Watch(QProcess *process, const QString &name)
{
    connect(process, &QProcess::finished, this, [this, name] {
        if (m_running)
            emit HelperEnded(name);
    });
}

void TDemoNetwork::Stop()
{
    m_running = false;
    // The chat users first, so they leave before their server goes.
    StopProcess(m_chatters.get());
    StopProcess(m_ngircd.get());
    if (m_sim && m_sim->IsRunning())
        m_sim->Stop(StopWaitMs);
    StopProcess(m_http.get());
    m_chatters.reset();
    m_ngircd.reset();
    m_sim.reset();
    m_http.reset();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

DemoFiles::TSettings TDemoNetwork::Settings() const
{
    DemoFiles::TSettings settings;
    settings.Host = Host();
    settings.GameProgram = m_gameProgram;
    settings.GameDir = m_layout.GameDir();
    settings.LoginName = QLatin1String(LoginName);
    settings.Password = QLatin1String(Password);
    settings.Alias = QLatin1String(Alias);
    if (!m_options.ChatterNicks.isEmpty())
        settings.Friends = {m_options.ChatterNicks.first()};
    return settings;
}

QList<qint64> TDemoNetwork::ProcessIds() const
{
    QList<qint64> ids;
    for (QProcess *process : {m_http.get(), m_ngircd.get(), m_chatters.get()}) {
        if (process && process->state() != QProcess::NotRunning)
            ids << process->processId();
    }
    if (m_sim && m_sim->IsRunning())
        ids << m_sim->ProcessId();
    return ids;
}

bool TDemoNetwork::WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.hasExpired(timeoutMs))
            loop.quit();
    });
    if (done())
        return true;
    poll.start(20);
    loop.exec();
    return done();
}
