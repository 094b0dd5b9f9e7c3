#include "net/NxEncryptedClient.h"

#include "net/SocketEventScope.h"

#include <QHostAddress>
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
    quint32 address = 0;
    if (ParseDottedIPv4(m_host, &address))
        socket->connectToHost(QHostAddress(address), m_port);
    else
        socket->connectToHost(m_host, m_port);
}

void TNxEncryptedClient::Close()
{
    m_connection->Socket()->disconnectFromHost();
}

bool TNxEncryptedClient::ParseDottedIPv4(const QString &text, quint32 *address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        unsigned number = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            number = number * 10 + unsigned(c.unicode() - u'0');
        }
        if (number > 255)
            return false;
        value = (value << 8) | number;
    }
    if (address)
        *address = value;
    return true;
}
