// A 100 MiB file from the file server to the transfer client over loopback, beside a plain
// TCP copy of the same bytes on the same run as the machine's reference. The sending side
// runs on a thread of its own, as it would in another copy of the program. MB are 10^6
// bytes; the best of three rounds is shown.
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

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {
constexpr qint64 FileSize = 100 * 1024 * 1024;
constexpr int Rounds = 3;
constexpr qint64 ChunkSize = 64 * 1024;

QByteArray Hash(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

bool MakeSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qint64 written = 0; written < FileSize; written += chunk.size()) {
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

double FileTransferMBps(const QString &source, const QString &target)
{
    std::atomic<quint16> port{0};
    TWorker worker([&port, &source](QObject *context) {
        auto *server = new TFileServerEngine(context);
        if (server->Listen(QHostAddress::LocalHost, 0) && server->AddSharedFile(source).isEmpty())
            port = server->Port();
    });
    if (port == 0)
        return 0;
    TFileTransferClient client;
    QSignalSpy listed(&client, &TFileTransferClient::ListComplete);
    QSignalSpy finished(&client, &TFileTransferClient::DownloadFinished);
    QSignalSpy failed(&client, &TFileTransferClient::DownloadFailed);
    client.Connect(QStringLiteral("127.0.0.1"), port);
    if (!listed.wait(10000) || client.Listed().isEmpty())
        return 0;
    QElapsedTimer timer;
    timer.start();
    if (!client.Download(client.Listed().first().Index, target).isEmpty())
        return 0;
    while (finished.isEmpty() && failed.isEmpty() && timer.elapsed() < 600000)
        finished.wait(1000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    client.Disconnect();
    return finished.isEmpty() ? 0 : double(FileSize) / 1e6 / seconds;
}

double PlainTcpMBps(const QString &source, const QString &target)
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
    socket.connectToHost(QHostAddress::LocalHost, port);
    while (closed.isEmpty() && timer.elapsed() < 600000)
        closed.wait(1000);
    out.close();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return received == FileSize ? double(FileSize) / 1e6 / seconds : 0;
}
// The protocol's own pace without cipher or files: 5-byte requests, 1029-byte replies and
// four requests in flight, over plain TCP. What any implementation of it could reach here.
double PlainPatternMBps()
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
                    replies += QByteArray(5 + 1024, 'r');
                socket->write(replies);
                socket->flush();
            });
        });
        if (server->listen(QHostAddress::LocalHost, 0))
            port = server->serverPort();
    });
    if (port == 0)
        return 0;
    constexpr qint64 Blocks = FileSize / 1024;
    QTcpSocket socket;
    qint64 requested = 0;
    qint64 received = 0;
    auto request = [&](int count) {
        QByteArray requests;
        for (; count > 0 && requested < Blocks; --count, ++requested)
            requests += QByteArray(5, 'q');
        socket.write(requests);
        socket.flush();
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
        const qint64 before = received / (5 + 1024);
        received += socket.readAll().size();
        request(int(received / (5 + 1024) - before));
    });
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!connected.wait(10000))
        return 0;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QElapsedTimer timer;
    timer.start();
    request(4);
    while (received < Blocks * (5 + 1024) && timer.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    return double(FileSize) / 1e6 / seconds;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!dir.isValid() || !MakeSource(source)) {
        std::fprintf(stderr, "cannot write the 100 MiB source file\n");
        return 1;
    }
    const QByteArray expected = Hash(source);
    double file = 0;
    double plain = 0;
    double pattern = 0;
    for (int round = 0; round < Rounds; ++round) {
        const QString fetched = dir.filePath(QStringLiteral("fetched-%1.bin").arg(round));
        const double rate = FileTransferMBps(source, fetched);
        if (rate == 0 || Hash(fetched) != expected) {
            std::fprintf(stderr, "file transfer round %d failed or differs\n", round);
            return 1;
        }
        file = std::max(file, rate);
        QFile::remove(fetched);
        const QString copied = dir.filePath(QStringLiteral("copied-%1.bin").arg(round));
        const double reference = PlainTcpMBps(source, copied);
        if (reference == 0 || Hash(copied) != expected) {
            std::fprintf(stderr, "plain TCP round %d failed or differs\n", round);
            return 1;
        }
        plain = std::max(plain, reference);
        pattern = std::max(pattern, PlainPatternMBps());
        QFile::remove(copied);
    }
    std::printf("file transfer (enciphered, 1024-byte blocks, 4 outstanding): %.1f MB/s (target >= 40)\n", file);
    std::printf("plain TCP copy of the same bytes on loopback:                 %.1f MB/s\n", plain);
    std::printf("plain TCP, same request pattern, no cipher and no files:      %.1f MB/s\n", pattern);
    if (file < 40)
        std::printf("below the 40 MB/s target on this run\n");
    return 0;
}
