#include "net/NxEncryptedClient.h"

#include "net/SocketEventScope.h"

#include <QTcpSocket>

TNxEncryptedClient::TNxEncryptedClient(QObject *parent)
    : QObject(parent), m_connection(new TNxEncryptedConnection(new QTcpSocket, this))
{
    connect(m_connection, &TNxEncryptedConnection::OnConnect, this, &TNxEncryptedClient::OnConnect);
    connect(m_connection, &TNxEncryptedConnection::OnRead, this, &TNxEncryptedClient::OnRead);
    connect(m_connection, &TNxEncryptedConnection::OnWrite, this, &TNxEncryptedClient::OnWrite);
    connect(m_connection, &TNxEncryptedConnection::OnError, this, &TNxEncryptedClient::OnError);
    connect(m_connection->Socket(), &QAbstractSocket::disconnected, this, [this] {
        TSocketEventScope scope;
        emit OnDisconnect();
    });
}

TNxEncryptedClient::~TNxEncryptedClient()
{
    m_connection->disconnect(this);
    m_connection->Socket()->disconnect(this);
}

void TNxEncryptedClient::SetActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

bool TNxEncryptedClient::Connected() const
{
    return m_connection->Ready() && m_connection->Socket()->state() == QAbstractSocket::ConnectedState;
}

void TNxEncryptedClient::Open()
{
    QTcpSocket *socket = m_connection->Socket();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        return;
    // An address literal is used as it is; any other text, also one that starts with a
    // digit ("3dfx.example.net"), is a name to look up.
    socket->connectToHost(m_host, m_port);
}

void TNxEncryptedClient::Close()
{
    m_connection->Socket()->disconnectFromHost();
}
