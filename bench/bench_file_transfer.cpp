// A file from the file server to the transfer client, beside plain TCP exchanges of the
// same bytes on the same run as the machine's reference: 100 MiB over loopback, and 8 MiB
// through a relay that holds every chunk back 25 ms each way, as a path across the internet
// with room to spare would. Servers and the relay run on threads of their own, as they
// would in other programs. MB are 10^6 bytes; the best of three rounds is shown.
#include "files/FileServerEngine.h"
#include "files/FileTransferClient.h"

#include "BenchWorker.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>

namespace {
constexpr qint64 LoopbackSize = 100 * 1024 * 1024;
constexpr qint64 RelaySize = 8 * 1024 * 1024;
constexpr int RelayDelay = 25; // ms each way
constexpr int Rounds = 3;
constexpr qint64 ChunkSize = 64 * 1024;
constexpr qint64 Reply = 5 + 1024;
// A plain exchange at a narrow window over the relay would take minutes: it stops here.
constexpr qint64 PatternTimeLimit = 5000;

QByteArray Hash(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

bool MakeSource(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    quint32 x = 2463534242u ^ quint32(size);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        for (char &c : chunk) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = char(x);
        }
        if (file.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

// One direction of a relayed connection: what From gives is written to To Delay later.
class TDelayedPipe : public QObject
{
public:
    TDelayedPipe(QTcpSocket *from, QTcpSocket *to, int delay) : QObject(from), m_from(from), m_to(to), m_delay(delay)
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &TDelayedPipe::Release);
        connect(from, &QIODevice::readyRead, this, [this] {
            m_chunks.push_back({m_clock.nsecsElapsed() + qint64(m_delay) * 1000000, m_from->readAll()});
            Arm();
        });
        connect(from, &QAbstractSocket::disconnected, this, [this] {
            m_closed = true;
            Arm();
        });
    }

private:
    void Arm()
    {
        if (m_timer.isActive())
            return;
        if (m_chunks.empty()) {
            if (m_closed)
                m_to->disconnectFromHost();
            return;
        }
        const qint64 wait = m_chunks.front().first - m_clock.nsecsElapsed();
        m_timer.start(int(std::max<qint64>(0, (wait + 999999) / 1000000)));
    }
    void Release()
    {
        const qint64 now = m_clock.nsecsElapsed();
        while (!m_chunks.empty() && m_chunks.front().first <= now) {
            m_to->write(m_chunks.front().second);
            m_chunks.pop_front();
        }
        Arm();
    }

    QTcpSocket *m_from;
    QTcpSocket *m_to;
    int m_delay;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<std::pair<qint64, QByteArray>> m_chunks; // due time (ns), bytes
    bool m_closed = false;
};

// Where a client connects for a server on a port: the server itself, or a relay in front
// of it on a thread of its own that delays every chunk by Delay ms in each direction and
// never limits the rate.
class TPath
{
public:
    TPath(quint16 target, int delay)
    {
        if (delay == 0) {
            m_port = target;
            return;
        }
        std::atomic<quint16> port{0};
        m_relay = std::make_unique<TWorker>([&port, target, delay](QObject *context) {
            auto *server = new QTcpServer(context);
            QObject::connect(server, &QTcpServer::newConnection, context, [server, target, delay] {
                while (QTcpSocket *near = server->nextPendingConnection()) {
                    auto *far = new QTcpSocket(near);
                    // Small requests go out at once, as on the path being stood for.
                    near->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                    QObject::connect(far, &QAbstractSocket::connected, far,
                                     [far] { far->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
                    new TDelayedPipe(near, far, delay);
                    new TDelayedPipe(far, near, delay);
                    far->connectToHost(QHostAddress::LocalHost, target);
                }
            });
            if (server->listen(QHostAddress::LocalHost, 0))
                port = server->serverPort();
        });
        m_port = port;
    }
    quint16 Port() const { return m_port; }

private:
    std::unique_ptr<TWorker> m_relay;
    quint16 m_port = 0;
};

struct TTransfer
{
    double rate = 0; // MB/s; 0 when it failed
    int window = 0;  // the client's window at the last block
};

TTransfer FileTransfer(const QString &source, const QString &target, qint64 size, int delay)
{
    std::atomic<quint16> port{0};
    TWorker worker([&port, &source](QObject *context) {
        auto *server = new TFileServerEngine(context);
        if (server->Listen(QHostAddress::LocalHost, 0) && server->AddSharedFile(source).isEmpty())
            port = server->Port();
    });
    if (port == 0)
        return {};
    const TPath path(port, delay);
    TFileTransferClient client;
    QSignalSpy listed(&client, &TFileTransferClient::ListComplete);
    QSignalSpy finished(&client, &TFileTransferClient::DownloadFinished);
    QSignalSpy failed(&client, &TFileTransferClient::DownloadFailed);
    client.Connect(QStringLiteral("127.0.0.1"), path.Port());
    if (!listed.wait(10000) || client.Listed().isEmpty())
        return {};
    QElapsedTimer timer;
    timer.start();
    if (!client.Download(client.Listed().first().Index, target).isEmpty())
        return {};
    int window = 0;
    QObject::connect(&client, &TFileTransferClient::Progress, [&] { window = client.Window(); });
    while (finished.isEmpty() && failed.isEmpty() && timer.elapsed() < 600000)
        finished.wait(1000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    client.Disconnect();
    return {finished.isEmpty() ? 0 : double(size) / 1e6 / seconds, window};
}

double PlainTcpMBps(const QString &source, const QString &target, qint64 size, int delay)
{
    std::atomic<quint16> port{0};
    TWorker worker([&port, &source](QObject *context) {
        auto *server = new QTcpServer(context);
        QObject::connect(server, &QTcpServer::newConnection, context, [server, source] {
            QTcpSocket *socket = server->nextPendingConnection();
            auto *file = new QFile(source, socket);
            if (!file->open(QIODevice::ReadOnly))
                return;
            // Keeps one chunk queued ahead of the socket, as a careful sender does.
            auto pump = [socket, file] {
                while (socket->bytesToWrite() < ChunkSize && !file->atEnd())
                    socket->write(file->read(ChunkSize));
                if (file->atEnd() && socket->bytesToWrite() == 0)
                    socket->disconnectFromHost();
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
            pump();
        });
        if (server->listen(QHostAddress::LocalHost, 0))
            port = server->serverPort();
    });
    if (port == 0)
        return 0;
    const TPath path(port, delay);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    QTcpSocket socket;
    QElapsedTimer timer;
    timer.start();
    qint64 received = 0;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
        const QByteArray bytes = socket.readAll();
        received += bytes.size();
        out.write(bytes);
    });
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, path.Port());
    while (closed.isEmpty() && timer.elapsed() < 600000)
        closed.wait(1000);
    out.close();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return received == size ? double(size) / 1e6 / seconds : 0;
}

// The protocol's own pace without cipher or files: 5-byte requests, 1029-byte replies and
// a fixed number of requests in flight, over plain TCP. What any implementation of it
// could reach here with that many.
double PlainPatternMBps(qint64 size, int inFlight, int delay)
{
    std::atomic<quint16> port{0};
    TWorker worker([&port](QObject *context) {
        auto *server = new QTcpServer(context);
        QObject::connect(server, &QTcpServer::newConnection, context, [server] {
            QTcpSocket *socket = server->nextPendingConnection();
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto pending = std::make_shared<qint64>(0);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, pending] {
                *pending += socket->readAll().size();
                QByteArray replies;
                for (; *pending >= 5; *pending -= 5)
                    replies += QByteArray(Reply, 'r');
                socket->write(replies);
                socket->flush();
            });
        });
        if (server->listen(QHostAddress::LocalHost, 0))
            port = server->serverPort();
    });
    if (port == 0)
        return 0;
    const TPath path(port, delay);
    const qint64 blocks = size / 1024;
    QTcpSocket socket;
    qint64 requested = 0;
    qint64 received = 0;
    auto request = [&](qint64 count) {
        QByteArray requests;
        for (; count > 0 && requested < blocks; --count, ++requested)
            requests += QByteArray(5, 'q');
        socket.write(requests);
        socket.flush();
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
        const qint64 before = received / Reply;
        received += socket.readAll().size();
        request(received / Reply - before);
    });
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    socket.connectToHost(QHostAddress::LocalHost, path.Port());
    if (!connected.wait(10000))
        return 0;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QElapsedTimer timer;
    timer.start();
    request(inFlight);
    while (received < blocks * Reply && timer.elapsed() < PatternTimeLimit)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return double(received / Reply * 1024) / 1e6 / seconds;
}

struct TFigures
{
    double file = 0;
    int window = 0;
    double plain = 0;
    double narrow = 0;
    double wide = 0;
};

// Best of Rounds, each file checked against its source; false when a transfer failed.
bool Measure(const QTemporaryDir &dir, qint64 size, int delay, TFigures &best)
{
    const QString source = dir.filePath(QStringLiteral("source-%1.bin").arg(size));
    if (!MakeSource(source, size)) {
        std::fprintf(stderr, "cannot write the %lld-byte source file\n", size);
        return false;
    }
    const QByteArray expected = Hash(source);
    const QString fetched = dir.filePath(QStringLiteral("fetched.bin"));
    const QString copied = dir.filePath(QStringLiteral("copied.bin"));
    for (int round = 0; round < Rounds; ++round) {
        const TTransfer file = FileTransfer(source, fetched, size, delay);
        if (file.rate == 0 || Hash(fetched) != expected) {
            std::fprintf(stderr, "file transfer round %d (%d ms) failed or differs\n", round, delay);
            return false;
        }
        if (file.rate > best.file) {
            best.file = file.rate;
            best.window = file.window;
        }
        const double plain = PlainTcpMBps(source, copied, size, delay);
        if (plain == 0 || Hash(copied) != expected) {
            std::fprintf(stderr, "plain TCP round %d (%d ms) failed or differs\n", round, delay);
            return false;
        }
        best.plain = std::max(best.plain, plain);
        best.narrow = std::max(best.narrow, PlainPatternMBps(size, 4, delay));
        best.wide = std::max(best.wide, PlainPatternMBps(size, TFileTransferClient::MaxWindow, delay));
        QFile::remove(fetched);
        QFile::remove(copied);
    }
    QFile::remove(source);
    return true;
}

void Print(const char *title, const TFigures &figures, double target)
{
    std::printf("%s\n", title);
    std::printf("  file transfer (enciphered, 1024-byte blocks, %4d in flight): %7.2f MB/s (target >= %.0f)\n",
                figures.window, figures.file, target);
    std::printf("  plain TCP copy of the same bytes:                              %7.2f MB/s\n", figures.plain);
    std::printf("  plain TCP, same request pattern, no cipher, %4d in flight:    %7.2f MB/s\n", 4, figures.narrow);
    std::printf("  plain TCP, same request pattern, no cipher, %4d in flight:    %7.2f MB/s\n",
                TFileTransferClient::MaxWindow, figures.wide);
    if (figures.file < target)
        std::printf("  below the %.0f MB/s target on this run\n", target);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    TFigures loopback;
    TFigures relay;
    if (!Measure(dir, LoopbackSize, 0, loopback) || !Measure(dir, RelaySize, RelayDelay, relay))
        return 1;
    Print("loopback, 100 MiB:", loopback, 40);
    Print("through a relay adding 25 ms each way (50 ms round trip), 8 MiB:", relay, 2);
    return 0;
}
