// Soak run: Orlo started as "orlo --demo" starts (the arguments are Orlo's own), and beside
// the lobby with its servers and chat, five talk conversations typing and a file downloaded
// over and over. Every 10 s one line: resident memory, lines kept by the text views, what
// the load did, and how late a 20 ms timer on the window's thread ran (the window's
// responsiveness). At the end the memory growth after the first minute, less the kept chat
// lines and talk keys at their measured cost, against 5%.
//
// ORLO_SOAK_SECONDS sets the length (default 600); ORLO_SOAK_PARTS=talk,transfer,lobby (all
// by default) chooses the load beside the chat. Exit status 0 when every check holds.
#include "BenchWorker.h"

#include "app/Application.h"
#include "app/UfrmMain.h"
#include "files/FileServerEngine.h"
#include "files/FileTransferClient.h"
#include "net/URC4.h"
#include "pxo/PxoTrackerClient.h"
#include "pxo/UfrmPXO.h"
#include "servers/ServerList.h"
#include "settings/UfrmConfig.h"
#include "talk/ChatWindow.h"
#include "talk/RedTalk.h"
#include "talk/UfrmDirectChat.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int SampleMs = 10000;
constexpr int TickMs = 20;
constexpr int TalkPairs = 5;
constexpr int KeyEveryMs = 100;
constexpr qint64 SharedFileBytes = 8 * 1024 * 1024;
// Memory a chat view keeps per line, as the chat ingest benchmark measures it.
constexpr double BytesPerKeptLine = 448;
// Memory a talk conversation keeps per key (its input and the peer's display), as the talk
// latency benchmark measures it.
constexpr double BytesPerKeptKey = 34;
constexpr double AllowedGrowth = 0.05;

qint64 ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Bytes the program holds on the heap: unlike the resident size, blind to pages the
// allocator keeps for reuse.
qint64 HeapKiB()
{
#ifdef __GLIBC__
    return qint64(mallinfo2().uordblks / 1024);
#else
    return -1;
#endif
}

// Lines of the chat views (talk windows are counted by their keys).
qint64 KeptLines()
{
    qint64 lines = 0;
    for (QWidget *widget : QApplication::allWidgets()) {
        if (qobject_cast<TfrmDirectChat *>(widget->window()))
            continue;
        if (auto *plain = qobject_cast<QPlainTextEdit *>(widget))
            lines += plain->document()->blockCount();
        else if (auto *rich = qobject_cast<QTextEdit *>(widget))
            lines += rich->document()->blockCount();
    }
    return lines;
}

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct TSample
{
    qint64 second = 0;
    qint64 residentKiB = 0;
    qint64 heapKiB = 0;
    qint64 lines = 0;
    qint64 keys = 0;
};

class TSoak : public QObject
{
public:
    explicit TSoak(TfrmMain &main) : m_main(&main)
    {
        m_seconds =
            qEnvironmentVariableIsSet("ORLO_SOAK_SECONDS") ? qEnvironmentVariableIntValue("ORLO_SOAK_SECONDS") : 600;
        MessageBox::SetHook([this](QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons) {
            // Questions (a talk to accept) are answered yes; anything else is an error of the run.
            Q_UNUSED(icon);
            if (!buttons.testFlag(QMessageBox::Yes)) {
                ++m_errors;
                std::printf("  box: %s\n", qPrintable(text.simplified()));
                std::fflush(stdout);
            }
            return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
        // What the user does once by moving the mouse over the seed window.
        if (TfrmConfig *config = frmConfig()) {
            if (!config->RandomGenerator)
                config->RandomGenerator = std::make_unique<TRC4>();
            config->RandomGenerator->SetKey(QString::number(QDateTime::currentMSecsSinceEpoch(), 2));
            config->RandomSeeded = true;
        }
        m_clock.start();
        m_tick.start(TickMs);
        m_lastTick = m_clock.elapsed();
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            m_worstLateMs = qMax(m_worstLateMs, now - m_lastTick - TickMs);
            m_lastTick = now;
        });
        connect(&m_sample, &QTimer::timeout, this, &TSoak::Sample);
        m_sample.start(SampleMs);
        QTimer::singleShot(3000, this, &TSoak::StartLoad);
        QTimer::singleShot(m_seconds * 1000 + 500, this, &TSoak::Finish);
        std::printf("soak for %d s; a line every %d s\n", m_seconds, SampleMs / 1000);
        std::printf("%6s %9s %9s %8s %8s %7s %9s %9s %9s %7s %6s\n", "s", "RSS KiB", "heap KiB", "lines", "servers",
                    "pinged", "keys sent", "arrived", "transfers", "late ms", "errors");
        std::fflush(stdout);
    }

    ~TSoak() override { MessageBox::SetHook({}); }

    bool Passed() const { return m_passed; }

private:
    TfrmPXO *Lobby() const
    {
        for (QWidget *widget : QApplication::allWidgets()) {
            if (auto *lobby = qobject_cast<TfrmPXO *>(widget))
                return lobby;
        }
        return nullptr;
    }

    static bool Part(const char *name)
    {
        const QByteArray parts = qgetenv("ORLO_SOAK_PARTS");
        return parts.isEmpty() || parts.split(',').contains(name);
    }

    void StartLoad()
    {
        if (Part("talk"))
            StartTalks();
        if (Part("transfer"))
            StartTransfers();
        if (!Part("lobby"))
            return;
        // The lobby's own timers refresh too; these make sure every pass is exercised.
        connect(&m_ping, &QTimer::timeout, this, [this] {
            if (TfrmPXO *lobby = Lobby())
                lobby->ServerList->PingAllServers();
        });
        m_ping.start(30000);
        connect(&m_refresh, &QTimer::timeout, this, [this] {
            if (TfrmPXO *lobby = Lobby())
                lobby->Tracker->RequestGameList();
        });
        m_refresh.start(120000);
    }

    void StartTalks()
    {
        for (int i = 0; i < TalkPairs; ++i) {
            auto *accepting = new TfrmDirectChat(QStringLiteral("Ace%1").arg(i), 0);
            auto *initiating = new TfrmDirectChat(QStringLiteral("Bee%1").arg(i), 0);
            accepting->setAttribute(Qt::WA_DeleteOnClose);
            initiating->setAttribute(Qt::WA_DeleteOnClose);
            if (!accepting->Listen(FreePort()) || !initiating->Listen(FreePort())) {
                ++m_errors;
                std::printf("  talk: cannot listen\n");
                continue;
            }
            accepting->show();
            initiating->show();
            TChatWindow *out =
                initiating->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(accepting->ServerPort()));
            if (out)
                connect(out, &TChatWindow::Ended, this, [this] { ++m_errors; });
            m_talks.push_back({accepting, initiating});
        }
        connect(&m_keys, &QTimer::timeout, this, &TSoak::TypeKeys);
        m_keys.start(KeyEveryMs);
    }

    void TypeKeys()
    {
        for (auto &[accepting, initiating] : m_talks) {
            if (!accepting || !initiating)
                continue;
            if (accepting->Conversations().size() == 1 && !m_watched.contains(accepting)) {
                m_watched << accepting;
                connect(accepting->Conversations().first(), &TChatWindow::EditApplied, this, [this] { ++m_arrived; });
            }
            const bool enter = m_keysSent % 60 == 59;
            if (enter)
                QTest::keyClick(initiating->RedTalk, Qt::Key_Return);
            else
                QTest::keyClick(initiating->RedTalk, char('a' + m_keysSent % 26));
            ++m_keysSent;
        }
    }

    void StartTransfers()
    {
        const QString source = m_dir.filePath(QStringLiteral("shared.bin"));
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(SharedFileBytes, 'x')) != SharedFileBytes) {
            ++m_errors;
            return;
        }
        file.close();
        std::atomic<quint16> port{0};
        m_server = std::make_unique<TWorker>([&port, source](QObject *context) {
            auto *server = new TFileServerEngine(context);
            if (server->Listen(QHostAddress::LocalHost, 0) && server->AddSharedFile(source).isEmpty())
                port = server->Port();
        });
        m_client = std::make_unique<TFileTransferClient>();
        connect(m_client.get(), &TFileTransferClient::ListComplete, this, [this] { Download(); });
        connect(m_client.get(), &TFileTransferClient::DownloadFinished, this, [this](const QString &name) {
            if (QFileInfo(name).size() == SharedFileBytes)
                ++m_transfers;
            else
                ++m_errors;
            QTimer::singleShot(1000, this, &TSoak::Download);
        });
        connect(m_client.get(), &TFileTransferClient::DownloadFailed, this, [this](const QString &reason) {
            ++m_errors;
            std::printf("  transfer: %s\n", qPrintable(reason));
            std::fflush(stdout);
            QTimer::singleShot(5000, this, &TSoak::Download);
        });
        m_client->Connect(QStringLiteral("127.0.0.1"), port);
    }

    void Download()
    {
        if (!m_client || m_client->Listed().isEmpty())
            return;
        const QString error =
            m_client->Download(m_client->Listed().first().Index, m_dir.filePath(QStringLiteral("copy.bin")));
        if (!error.isEmpty()) {
            ++m_errors;
            std::printf("  transfer: %s\n", qPrintable(error));
        }
    }

    void Sample()
    {
        TSample sample;
        sample.second = (m_clock.elapsed() + 500) / 1000;
        sample.residentKiB = ResidentKiB();
        sample.heapKiB = HeapKiB();
        sample.keys = m_keysSent;
        sample.lines = KeptLines();
        m_samples.push_back(sample);
        int servers = 0;
        int pinged = 0;
        if (TfrmPXO *lobby = Lobby()) {
            servers = int(lobby->Servers().size());
            for (const TServer *server : lobby->Servers())
                pinged += server->AnsweredSeq > 0 ? 1 : 0;
        }
        m_worstLateOverall = qMax(m_worstLateOverall, m_worstLateMs);
        std::printf("%6lld %9lld %9lld %8lld %8d %7d %9lld %9lld %9d %7lld %6d\n", sample.second, sample.residentKiB,
                    sample.heapKiB, sample.lines, servers, pinged, m_keysSent, m_arrived, m_transfers, m_worstLateMs,
                    m_errors);
        std::fflush(stdout);
        m_worstLateMs = 0;
    }

    void Finish()
    {
        m_keys.stop();
        m_ping.stop();
        m_refresh.stop();
        m_client.reset();
        m_server.reset();
        const auto first =
            std::find_if(m_samples.cbegin(), m_samples.cend(), [](const TSample &s) { return s.second >= 60; });
        if (first == m_samples.cend() || m_samples.size() < 2) {
            std::printf("too short to judge\n");
            m_passed = m_errors == 0;
        } else {
            const TSample &last = m_samples.back();
            const double grown = double(last.residentKiB - first->residentKiB) * 1024;
            const double lines = double(last.lines - first->lines) * BytesPerKeptLine;
            const double keys = double(last.keys - first->keys) * BytesPerKeptKey;
            const double beyond = (grown - lines - keys) / (double(first->residentKiB) * 1024);
            std::printf("after the first minute: RSS %lld -> %lld KiB (%+.1f%%), kept lines %lld -> %lld "
                        "(%.0f KiB at %.0f bytes each)\n",
                        first->residentKiB, last.residentKiB, 100.0 * grown / (double(first->residentKiB) * 1024),
                        first->lines, last.lines, lines / 1024, BytesPerKeptLine);
            std::printf("talk keys kept %lld -> %lld (%.0f KiB at %.0f bytes each)\n", first->keys, last.keys,
                        keys / 1024, BytesPerKeptKey);
            std::printf("heap in use %lld -> %lld KiB\n", first->heapKiB, last.heapKiB);
            std::printf(
                "growth beyond the kept lines and keys: %+.2f%% (allowed %.0f%%); worst timer lateness %lld ms; "
                "errors %d; keys %lld sent, %lld shown; %d transfers\n",
                100 * beyond, 100 * AllowedGrowth, m_worstLateOverall, m_errors, m_keysSent, m_arrived, m_transfers);
            m_passed = beyond <= AllowedGrowth && m_errors == 0 && (m_arrived > 0 || !Part("talk")) &&
                       (m_transfers > 0 || !Part("transfer"));
        }
        std::printf("%s\n", m_passed ? "soak passed" : "soak FAILED");
        std::fflush(stdout);
        for (auto &[accepting, initiating] : m_talks) {
            if (accepting)
                accepting->close();
            if (initiating)
                initiating->close();
        }
        if (m_main)
            m_main->close();
    }

    QPointer<TfrmMain> m_main;
    int m_seconds = 600;
    QElapsedTimer m_clock;
    QTimer m_tick;
    QTimer m_sample;
    QTimer m_keys;
    QTimer m_ping;
    QTimer m_refresh;
    qint64 m_lastTick = 0;
    qint64 m_worstLateMs = 0;
    qint64 m_worstLateOverall = 0;
    std::vector<TSample> m_samples;
    std::vector<std::pair<QPointer<TfrmDirectChat>, QPointer<TfrmDirectChat>>> m_talks;
    QList<TfrmDirectChat *> m_watched;
    qint64 m_keysSent = 0;
    qint64 m_arrived = 0;
    QTemporaryDir m_dir;
    std::unique_ptr<TWorker> m_server;
    std::unique_ptr<TFileTransferClient> m_client;
    int m_transfers = 0;
    int m_errors = 0;
    bool m_passed = false;
};

} // namespace

int main(int argc, char *argv[])
{
    bool passed = false;
    const int result = RunOrlo(argc, argv, [&passed](TfrmMain &main) {
        auto *soak = new TSoak(main);
        soak->setParent(&main);
        // The verdict is read before the main window and the soak go.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, soak, [soak, &passed] { passed = soak->Passed(); });
    });
    return result != 0 ? result : passed ? 0 : 3;
}
