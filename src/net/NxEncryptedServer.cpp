#include "net/NxEncryptedServer.h"

#include <QTcpServer>
#include <QTcpSocket>

TNxEncryptedServer::TNxEncryptedServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TNxEncryptedServer::AcceptPending);
}

TNxEncryptedServer::~TNxEncryptedServer()
{
    // Connections die with us without telling a window that is going away itself.
    for (TNxEncryptedConnection *connection : std::as_const(m_connections))
        connection->disconnect(this);
}

bool TNxEncryptedServer::Active() const
{
    return m_server->isListening();
}

void TNxEncryptedServer::SetActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

quint16 TNxEncryptedServer::Port() const
{
    return m_server->isListening() ? m_server->serverPort() : m_port;
}

void TNxEncryptedServer::SetPort(quint16 port)
{
    m_port = port;
}

bool TNxEncryptedServer::Open()
{
    if (m_server->isListening())
        return true;
    return m_server->listen(m_address, m_port);
}

void TNxEncryptedServer::Close()
{
    m_server->close();
    // Copy: closing a connection may remove it from the list at once.
    const QList<TNxEncryptedConnection *> connections = m_connections;
    for (TNxEncryptedConnection *connection : connections)
        connection->Socket()->disconnectFromHost();
}

QString TNxEncryptedServer::ErrorString() const
{
    return m_server->errorString();
}

QByteArray TNxEncryptedServer::ReceiveText(TNxEncryptedConnection *connection)
{
    return connection && m_connections.contains(connection) ? connection->ReceiveText() : QByteArray();
}

bool TNxEncryptedServer::SendText(TNxEncryptedConnection *connection, QByteArrayView text)
{
    return connection && m_connections.contains(connection) && connection->SendText(text);
}

void TNxEncryptedServer::AcceptPending()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new TNxEncryptedConnection(socket, this);
        m_connections.append(connection);
        connect(connection, &TNxEncryptedConnection::OnConnect, this,
                [this, connection] { emit OnConnect(connection); });
        connect(connection, &TNxEncryptedConnection::OnRead, this, [this, connection] { emit OnRead(connection); });
        connect(connection, &TNxEncryptedConnection::OnWrite, this, [this, connection] { emit OnWrite(connection); });
        connect(connection, &TNxEncryptedConnection::OnDisconnect, this,
                [this, connection] { emit OnDisconnect(connection); });
        connect(connection, &TNxEncryptedConnection::OnError, this,
                [this, connection](QAbstractSocket::SocketError error) { emit OnError(connection, error); });
        connect(connection, &TNxEncryptedConnection::Finished, this, [this, connection] { Forget(connection); });
        connection->Start();
    }
}

void TNxEncryptedServer::Forget(TNxEncryptedConnection *connection)
{
    m_connections.removeOne(connection);
    connection->deleteLater();
}
