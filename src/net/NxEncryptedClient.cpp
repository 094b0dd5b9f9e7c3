#include "net/NxEncryptedClient.h"

#include "net/HostResolver.h"
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
    const quint64 attempt = ++m_openAttempt;
    ConnectResolved(
        *socket, m_host, m_port,
        [this, attempt, socket] {
            return attempt == m_openAttempt && socket->state() == QAbstractSocket::UnconnectedState;
        },
        [this] {
            TSocketEventScope scope;
            emit OnError(QAbstractSocket::HostNotFoundError);
        });
}

void TNxEncryptedClient::Close()
{
    ++m_openAttempt; // a lookup still running opens nothing
    m_connection->Socket()->disconnectFromHost();
}
