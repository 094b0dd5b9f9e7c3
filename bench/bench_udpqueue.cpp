// Datagrams per second through the queue to a loopback receiver, and the UI thread's time
// per Enqueue. Targets: over 50,000 datagrams/s, under 5 us per Enqueue.
#include "servers/LoopbackReceiver.h"
#include "servers/UDPQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>
#include <QtEndian>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr quint32 Total = 200000;
    constexpr quint32 Burst = 1000;
    constexpr qsizetype Backlog = 4000; // the window keeps feeding while this much waits

    TLoopbackReceiver receiver;
    QUdpSocket udp;
    if (receiver.Port() == 0 || !udp.bind(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "cannot bind loopback sockets\n");
        return 1;
    }
    const QString host = QStringLiteral("127.0.0.1");
    QByteArray payload(32, 'q'); // about the size of a game-info request

    // For scale: the same datagrams sent by a bare loop on this thread, no queue.
    QElapsedTimer bare;
    bare.start();
    for (quint32 i = 0; i < Total / 2; ++i)
        udp.writeDatagram(payload, QHostAddress::LocalHost, receiver.Port());
    const double bareRate = Total / 2 / (double(bare.nsecsElapsed()) / 1e9);
    QElapsedTimer drain;
    drain.start();
    while (receiver.Count() < qsizetype(Total / 2) && drain.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const qsizetype bareReceived = receiver.Count();

    TUDPQueue queue(&udp, nullptr);

    QElapsedTimer wall;
    QElapsedTimer inEnqueue;
    qint64 enqueueNs = 0;
    quint32 queued = 0;
    wall.start();
    while (queue.SentCount() < Total) {
        if (queued < Total && queue.Count() < Backlog) {
            inEnqueue.start();
            for (quint32 i = 0; i < Burst && queued < Total; ++i, ++queued) {
                qToLittleEndian(queued, payload.data());
                queue.SendDatagram(host, receiver.Port(), payload);
            }
            enqueueNs += inEnqueue.nsecsElapsed();
        }
        // Idle until the worker asks for more, as a window's loop would.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (wall.elapsed() > 120000) {
            std::fprintf(stderr, "timed out after %u datagrams\n", queue.SentCount());
            return 1;
        }
    }
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    QElapsedTimer settle;
    settle.start();
    while (receiver.Count() - bareReceived < qsizetype(Total) && settle.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    std::printf("udpqueue: %u datagrams in %.3f s: %.0f datagrams/s (target > 50000)\n", Total, seconds,
                Total / seconds);
    std::printf("udpqueue: UI thread per Enqueue: %.3f us (target < 5)\n", double(enqueueNs) / Total / 1000.0);
    std::printf("udpqueue: received %lld, failed %u\n", qlonglong(receiver.Count() - bareReceived),
                queue.FailedCount());
    std::printf("udpqueue: bare send loop on this machine now, for scale: %.0f datagrams/s\n", bareRate);
    return 0;
}
