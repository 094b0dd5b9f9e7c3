#include "talk/TalkServer.h"

#include "net/SocketEventScope.h"

#include <QTcpSocket>

namespace {
// A peer sends nothing before our key; this only bounds what a rude one can park here.
constexpr qint64 WaitingReadBuffer = 1024;
} // namespace

TTalkServer::TTalkServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TTalkServer::ServerNewConnection);
}

TTalkServer::~TTalkServer()
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_waiting)) {
        if (socket) {
            socket->disconnect(this);
            socket->abort();
        }
    }
}

bool TTalkServer::Listen(quint16 port)
{
    if (m_server.isListening())
        m_server.close();
    return m_server.listen(QHostAddress::Any, port);
}

void TTalkServer::Prune()
{
    m_waiting.removeIf([](const QPointer<QTcpSocket> &socket) { return socket.isNull(); });
}

void TTalkServer::ServerNewConnection()
{
    TSocketEventScope scope;
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        Prune();
        if (m_waiting.size() >= MaxWaiting) {
            emit ConnectionRefused(socket->peerAddress().toString());
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        socket->setReadBufferSize(WaitingReadBuffer);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        m_waiting.append(socket);
        emit ConnectionWaiting();
    }
}

void TTalkServer::Drop(QTcpSocket *socket)
{
    m_waiting.removeAll(socket);
    socket->disconnect(this);
    socket->deleteLater();
}

QTcpSocket *TTalkServer::NextWaiting()
{
    Prune();
    while (!m_waiting.isEmpty()) {
        QTcpSocket *socket = m_waiting.front();
        if (socket->state() == QAbstractSocket::ConnectedState)
            return socket;
        Drop(socket);
    }
    return nullptr;
}

QTcpSocket *TTalkServer::Take(QTcpSocket *socket)
{
    if (!socket || !m_waiting.contains(socket))
        return nullptr;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        Drop(socket);
        return nullptr;
    }
    m_waiting.removeAll(socket);
    socket->disconnect(this);
    socket->setParent(nullptr);
    return socket;
}

void TTalkServer::Refuse(QTcpSocket *socket)
{
    if (!socket || !m_waiting.contains(socket))
        return;
    socket->disconnectFromHost();
    Drop(socket);
}
