#include "demo/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

namespace {
#ifdef Q_OS_WIN
const QString ProgramName = QStringLiteral("orlo-pxo-sim.exe");
#else
const QString ProgramName = QStringLiteral("orlo-pxo-sim");
#endif
constexpr int MaxLine = 16 * 1024 * 1024; // a stats line with thousands of servers stays well under this
constexpr int StartAttempts = 4;
} // namespace

TSimProcess::TSimProcess(QObject *parent) : QObject(parent), m_program(DefaultProgram())
{
    // The simulator's diagnostics (deviations of the peers' datagrams) belong in the test's log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &TSimProcess::ReadOutput);
}

TSimProcess::~TSimProcess()
{
    if (IsRunning())
        Stop(3000);
}

QString TSimProcess::DefaultProgram()
{
    const QString explicitPath = qEnvironmentVariable("ORLO_PXO_SIM");
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString binaryDir = qEnvironmentVariable("ORLO_BINARY_DIR");
    if (!binaryDir.isEmpty())
        return QDir(binaryDir).filePath(QStringLiteral("sim/") + ProgramName);
    return QDir(QCoreApplication::applicationDirPath()).filePath(ProgramName);
}

QString TSimProcess::RandomServerBase()
{
    QRandomGenerator *rng = QRandomGenerator::global();
    return QStringLiteral("127.%1.%2.1").arg(100 + rng->bounded(128)).arg(rng->bounded(256));
}

bool TSimProcess::Start(const QStringList &arguments, int timeoutMs)
{
    if (IsRunning()) {
        m_error = QStringLiteral("the simulator is already running");
        return false;
    }
    if (!QFileInfo(m_program).isExecutable()) {
        m_error = QStringLiteral("no simulator program at %1").arg(m_program);
        return false;
    }
    const bool ownBase = std::none_of(arguments.cbegin(), arguments.cend(),
                                      [](const QString &a) { return a.startsWith(QStringLiteral("--first-server")); });
    for (int attempt = 0; attempt < (ownBase ? StartAttempts : 1); ++attempt) {
        QStringList args = arguments;
        if (ownBase)
            args << QStringLiteral("--first-server") << RandomServerBase();
        if (StartOnce(args, timeoutMs))
            return true;
        // Only a taken address is worth another try.
        if (!m_startError.value("message").toString().contains(QStringLiteral("cannot bind")))
            break;
    }
    return false;
}

bool TSimProcess::StartOnce(const QStringList &arguments, int timeoutMs)
{
    m_ready = QJsonObject();
    m_startError = QJsonObject();
    m_buffer.clear();
    m_replies.clear();
    m_events.clear();
    m_repliesToSkip = 0;
    m_process.start(m_program, arguments);
    const bool ended =
        !WaitUntil([this] { return !m_ready.isEmpty() || !m_startError.isEmpty() || !IsRunning(); }, timeoutMs);
    if (!m_ready.isEmpty())
        return true;
    if (!m_startError.isEmpty())
        m_error = m_startError.value("message").toString();
    else if (ended)
        m_error = QStringLiteral("the simulator did not report ready within %1 ms").arg(timeoutMs);
    else
        m_error = QStringLiteral("the simulator ended before it was ready: %1").arg(m_process.errorString());
    WaitForExit(2000);
    if (IsRunning()) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    return false;
}

QString TSimProcess::UserTrackerAddress() const
{
    return m_ready.value("userTracker").toObject().value("address").toString();
}

quint16 TSimProcess::UserTrackerPort() const
{
    return quint16(m_ready.value("userTracker").toObject().value("port").toInt());
}

QString TSimProcess::GameTrackerAddress() const
{
    return m_ready.value("gameTracker").toObject().value("address").toString();
}

quint16 TSimProcess::GameTrackerPort() const
{
    return quint16(m_ready.value("gameTracker").toObject().value("port").toInt());
}

QJsonObject TSimProcess::Server(int index) const
{
    for (const QJsonValue &server : Servers()) {
        if (server.toObject().value("index").toInt(-1) == index)
            return server.toObject();
    }
    return QJsonObject();
}

QJsonObject TSimProcess::Command(const QString &line, int timeoutMs)
{
    if (!IsRunning())
        return QJsonObject();
    m_process.write(line.toUtf8() + '\n');
    if (!WaitUntil([this] { return !m_replies.isEmpty() || !IsRunning(); }, timeoutMs) || m_replies.isEmpty()) {
        if (IsRunning())
            ++m_repliesToSkip;
        return QJsonObject();
    }
    return m_replies.takeFirst();
}

qint64 TSimProcess::Counter(const QString &group, const QString &kind, int timeoutMs)
{
    const QJsonValue value = Stats(timeoutMs).value(group).toObject().value(kind);
    return value.isDouble() ? qint64(value.toDouble()) : -1;
}

qint64 TSimProcess::ServerCounter(int index, const QString &group, const QString &kind, int timeoutMs)
{
    for (const QJsonValue &server : Stats(timeoutMs).value("servers").toArray()) {
        const QJsonObject counts = server.toObject();
        if (counts.value("index").toInt(-1) != index)
            continue;
        const QJsonValue value = counts.value(group).toObject().value(kind);
        return value.isDouble() ? qint64(value.toDouble()) : -1;
    }
    return -1;
}

bool TSimProcess::WaitForEvent(const std::function<bool(const QJsonObject &)> &match, int timeoutMs)
{
    qsizetype checked = 0;
    return WaitUntil(
        [&] {
            for (; checked < m_events.size(); ++checked) {
                if (match(m_events[checked]))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

int TSimProcess::Stop(int timeoutMs)
{
    if (IsRunning()) {
        m_process.write("quit\n");
        m_process.closeWriteChannel();
    }
    const int code = WaitForExit(timeoutMs);
    if (code >= 0 || !IsRunning())
        return code;
    m_process.kill();
    m_process.waitForFinished(2000);
    return -1;
}

int TSimProcess::WaitForExit(int timeoutMs)
{
    WaitUntil([this] { return !IsRunning(); }, timeoutMs);
    if (IsRunning())
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void TSimProcess::ReadOutput()
{
    m_buffer += m_process.readAllStandardOutput();
    qsizetype newline;
    while ((newline = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(newline);
        m_buffer.remove(0, newline + 1);
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains("reply")) {
            if (m_repliesToSkip > 0)
                --m_repliesToSkip;
            else
                m_replies.append(object);
        } else if (object.value("event") == QLatin1String("ready") && m_ready.isEmpty()) {
            m_ready = object;
        } else if (object.value("event") == QLatin1String("error") && m_ready.isEmpty()) {
            m_startError = object;
        } else if (!object.isEmpty()) {
            if (m_events.size() >= MaxKeptEvents)
                m_events.removeFirst();
            m_events.append(object);
            emit EventReceived(object);
        }
    }
    if (m_buffer.size() > MaxLine)
        m_buffer.clear();
}

bool TSimProcess::WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto check = [&] {
        if (done())
            loop.quit();
    };
    // Queued, so that ReadOutput has stored the line before the check runs.
    const auto a = connect(&m_process, &QProcess::readyReadStandardOutput, &loop, check, Qt::QueuedConnection);
    const auto b = connect(&m_process, &QProcess::finished, &loop, check, Qt::QueuedConnection);
    const auto c = connect(&m_process, &QProcess::errorOccurred, &loop, check, Qt::QueuedConnection);
    deadline.start(std::max(0, timeoutMs));
    loop.exec();
    disconnect(a);
    disconnect(b);
    disconnect(c);
    return done();
}
