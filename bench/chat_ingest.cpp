// Chat ingest: a local server floods one channel with 100,000 lines (about 70 characters of
// text each, from 200 nicks) into one visible tab, then sends a PING. Measured: lines per
// second until the PONG comes back, the longest time the event loop was blocked, and the
// memory the kept lines cost. A longer flood also reports the resident memory after its
// first 100,000 lines and at its end: the tab keeps only its last lines, so the two should
// stay close.
//
//   bench_chat_ingest [lines] [lines kept per conversation, default the setting's]
#include "chat/Chat.h"
#include "chat/ChatSettings.h"
#include "chat/UfrmIRC.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int Nicks = 200;
constexpr int Checkpoint = 100000;

long ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

bool SendAll(int fd, std::string_view bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// Reads until a line containing Text arrived; false when the peer went away.
bool ReadUntil(int fd, std::string &buffer, const std::string &text)
{
    char chunk[4096];
    while (buffer.find(text) == std::string::npos) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, size_t(n));
    }
    return true;
}

std::string NickOf(int i)
{
    return "pilot" + std::to_string(i);
}

// The scripted server, on plain blocking sockets in its own thread so that it costs the
// measured event loop nothing.
struct TFloodServer
{
    int Listener = -1;
    quint16 Port = 0;
    int Lines = 0;
    std::string Flood;
    std::vector<size_t> LineEnds;
    std::promise<void> Go;
    std::atomic<bool> AtCheckpoint{false};
    std::promise<void> Resume;
    std::atomic<bool> Done{false};
    Clock::time_point Start, End;
    bool Ok = false;

    bool Listen()
    {
        Listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (Listener < 0 || ::bind(Listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(Listener, 1) != 0 || ::getsockname(Listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return false;
        Port = ntohs(addr.sin_port);
        return true;
    }

    // One block of distinct lines, sent as often as the flood needs.
    void BuildFlood(int lines)
    {
        static const char words[] = "the quick brown fox jumps over the lazy dog while the pyro frigate burns "
                                    "its afterburner across the mine of level seven";
        const std::string text(words);
        Lines = lines;
        const int block = std::min(lines, 10000);
        Flood.reserve(size_t(block) * 120);
        LineEnds.reserve(size_t(block));
        for (int i = 0; i < block; ++i) {
            const int nick = i % Nicks;
            const size_t offset = size_t(i * 7) % (text.size() - 70);
            Flood += ":" + NickOf(nick) + "!~p@10.0." + std::to_string(nick / 100) + "." + std::to_string(nick % 100) +
                     " PRIVMSG #bench :" + text.substr(offset, 66) + " " + std::to_string(i % 1000) + "\r\n";
            LineEnds.push_back(Flood.size());
        }
    }

    bool SendLines(int fd, int count)
    {
        while (count > 0) {
            const int now = std::min(count, int(LineEnds.size()));
            if (!SendAll(fd, std::string_view(Flood).substr(0, LineEnds[size_t(now) - 1])))
                return false;
            count -= now;
        }
        return true;
    }

    void Run(std::shared_future<void> go)
    {
        const int fd = ::accept(Listener, nullptr, nullptr);
        std::string in;
        if (fd < 0 || !ReadUntil(fd, in, "NICK bench"))
            return Finish(fd);
        std::string hello = ":srv 001 bench :Welcome\r\n:bench!~b@127.0.0.1 JOIN :#bench\r\n";
        std::string names = ":srv 353 bench = #bench :bench";
        for (int i = 0; i < Nicks; ++i)
            names += " " + NickOf(i);
        hello += names + "\r\n:srv 366 bench #bench :End of NAMES list\r\n";
        if (!SendAll(fd, hello))
            return Finish(fd);
        go.wait();
        Start = Clock::now();
        // A longer flood pauses once, unmeasured, while the client reads its memory.
        const int first = Lines > Checkpoint ? Checkpoint : Lines;
        if (!SendLines(fd, first))
            return Finish(fd);
        if (first < Lines) {
            if (!SendAll(fd, "PING :bench-checkpoint\r\n") || !ReadUntil(fd, in, "PONG :bench-checkpoint"))
                return Finish(fd);
            const Clock::time_point paused = Clock::now();
            AtCheckpoint = true;
            Resume.get_future().wait();
            Start += Clock::now() - paused;
            if (!SendLines(fd, Lines - first))
                return Finish(fd);
        }
        if (!SendAll(fd, "PING :bench-done\r\n"))
            return Finish(fd);
        Ok = ReadUntil(fd, in, "PONG :bench-done");
        End = Clock::now();
        // The connection stays open until the client was measured.
        Client = fd;
        Done = true;
    }

    void Finish(int fd)
    {
        if (fd >= 0)
            ::close(fd);
        Done = true;
    }

    int Client = -1;
};
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The conversation log is written as in use, but into this run's folder.
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;

    SetActiveStore(std::make_unique<TJsonSettingsStore>(dir.filePath(QStringLiteral("settings.json"))));
    TfrmConfig config;
    SetConfig(&config);
    if (argc > 2)
        config.speChatLinesKept->SetValue(std::atoi(argv[2]));
    const int limit = ChatSettings::LinesKept();

    MessageBox::SetHook([](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return QMessageBox::Ok;
    });

    TFloodServer server;
    if (!server.Listen()) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    server.BuildFlood(lines);
    std::shared_future<void> go = server.Go.get_future().share();
    std::thread serverThread([&server, go] { server.Run(go); });

    auto *form = new TfrmIRC;
    form->resize(900, 700);
    form->show();
    form->ConnectTo(QStringLiteral("127.0.0.1"), server.Port, QStringLiteral("bench"));
    QElapsedTimer setup;
    setup.start();
    while (!(form->FindChat(QStringLiteral("#bench")) &&
             form->FindChat(QStringLiteral("#bench"))->Users().size() == Nicks + 1) &&
           setup.elapsed() < 10000)
        app.processEvents(QEventLoop::AllEvents, 50);
    QPointer<TfrmIRC> alive(form);
    QPointer<TChat> chat = form->FindChat(QStringLiteral("#bench"));
    form->OnStatus = [](const QString &text) { std::fprintf(stderr, "status: %s\n", qPrintable(text)); };
    if (!chat) {
        std::fprintf(stderr, "the client did not join\n");
        server.Go.set_value();
        serverThread.join();
        return 1;
    }
    app.processEvents();
    malloc_trim(0);
    const long before = ResidentBytes();
    const int rowsBefore = chat->TextView->document()->isEmpty() ? 0 : chat->TextView->document()->blockCount();

    // The longest gap between ticks of a 2 ms timer is the longest stall of the loop.
    QElapsedTimer tick;
    qint64 longestStall = 0;
    int stallsOver50 = 0;
    // The main thread's own processor time in each gap: what the window itself blocked,
    // apart from time the machine gave to other processes.
    double longestBusy = 0;
    double lastCpu = ThreadCpuMs();
    long atCheckpoint = 0;
    QEventLoop loop; // not app.exec(): quitting the application would close the window
    QTimer monitor;
    monitor.setTimerType(Qt::PreciseTimer);
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        const qint64 gap = tick.restart();
        const double cpu = ThreadCpuMs();
        longestBusy = std::max(longestBusy, cpu - lastCpu);
        lastCpu = cpu;
        longestStall = std::max(longestStall, gap);
        stallsOver50 += gap > 50 ? 1 : 0;
        if (server.AtCheckpoint.exchange(false)) {
            malloc_trim(0);
            atCheckpoint = ResidentBytes();
            // The reading is no stall of the window.
            tick.restart();
            lastCpu = ThreadCpuMs();
            server.Resume.set_value();
        }
        if (server.Done)
            loop.quit();
    });
    const double cpuStart = ThreadCpuMs();
    tick.start();
    monitor.start(2);
    server.Go.set_value();
    loop.exec();
    serverThread.join();
    monitor.stop();
    const double cpuSeconds = (ThreadCpuMs() - cpuStart) / 1000;

    app.processEvents();
    if (!chat) {
        std::fprintf(stderr, "the chat window went away (form %s, done %d ok %d)\n", alive ? "alive" : "gone",
                     int(server.Done), int(server.Ok));
        if (alive)
            std::fprintf(stderr, "%s\n", qPrintable(alive->Misc()->TextView->toPlainText().right(500)));
        return 1;
    }
    malloc_trim(0);
    const long after = ResidentBytes();
    const int kept = chat->TextView->document()->blockCount() - rowsBefore;
    const double seconds = std::chrono::duration<double>(server.End - server.Start).count();
    std::printf("chat ingest: %d lines, %d kept in the tab, %s\n", lines, kept,
                server.Ok ? "PONG received" : "NO PONG");
    std::printf("  %.0f lines/s (%.2f s until the PONG); %.0f lines per second of the window's processor time\n",
                lines / seconds, seconds, lines / std::max(cpuSeconds, 1e-6));
    std::printf("  longest event-loop stall: %lld ms wall (%d over 50 ms), %.0f ms of the window's own work\n",
                static_cast<long long>(longestStall), stallsOver50, longestBusy);
    std::printf("  memory: %.0f bytes per kept line (%.1f MB)\n", double(after - before) / std::max(1, kept),
                double(after - before) / 1e6);
    if (atCheckpoint > 0)
        std::printf("  resident: %.1f MB after the first %d lines, %.1f MB after all %d (%+.1f MB); %s\n",
                    atCheckpoint / 1e6, Checkpoint, after / 1e6, lines, (after - atCheckpoint) / 1e6,
                    limit > 0 ? qPrintable(QStringLiteral("%1 lines kept per conversation").arg(limit))
                              : "all lines kept");
    delete alive.data();
    if (server.Client >= 0)
        ::close(server.Client);
    ::close(server.Listener);
    // A tab keeps the limit's lines and up to a quarter more.
    const bool keptRight = limit > 0 ? kept >= std::min(lines, limit) && kept <= limit + limit / 4 : kept == lines;
    return server.Ok && keptRight ? 0 : 1;
}
