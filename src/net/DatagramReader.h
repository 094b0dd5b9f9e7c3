#pragma once

#include <QNetworkDatagram>
#include <QUdpSocket>

// Reading a datagram socket in bounded turns.
//
// Call ReadDatagrams only from the socket's readyRead. What is left after a turn comes with
// the next readyRead, as the socket stays readable. Reading it anywhere else (a timer, a
// posted call) can switch Qt's read notification off for good: a notification for a
// datagram somebody else already took turns it off, and only a read turns it on again.
namespace DatagramReader {

// Datagrams handled in one turn of the event loop; a flood waits for the next turn.
constexpr int PerTurn = 256;

// Hands each waiting datagram (at most MaxSize bytes of it) to Handle, at most Limit of
// them; returns how many were read.
template <typename THandle> int ReadDatagrams(QUdpSocket &socket, qint64 maxSize, THandle &&handle, int limit = PerTurn)
{
    int read = 0;
    while (read < limit && socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram(maxSize);
        ++read;
        handle(datagram);
    }
    return read;
}

} // namespace DatagramReader
