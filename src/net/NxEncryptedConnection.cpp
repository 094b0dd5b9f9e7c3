#include "net/NxEncryptedConnection.h"

#include "net/SocketEventScope.h"

#include <QPointer>
#include <QTcpSocket>

TNxEncryptedConnection::TNxEncryptedConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent), m_socket(socket), m_keys(std::make_unique<TNxKeys>())
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(ReadBufferLimit);
    connect(m_socket, &QAbstractSocket::connected, this, &TNxEncryptedConnection::Start);
    connect(m_socket, &QIODevice::readyRead, this, &TNxEncryptedConnection::HandleRead);
    connect(m_socket, &QIODevice::bytesWritten, this, &TNxEncryptedConnection::HandleWritten);
    connect(m_socket, &QAbstractSocket::disconnected, this, &TNxEncryptedConnection::HandleDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &TNxEncryptedConnection::HandleError);
}

TNxEncryptedConnection::~TNxEncryptedConnection()
{
    // The socket dies with us; its last signals must not reach a half-destroyed object.
    m_socket->disconnect(this);
}

void TNxEncryptedConnection::Start()
{
    m_keys = std::make_unique<TNxKeys>();
    m_keys->SendAnnouncement(*m_socket);
}

QByteArray TNxEncryptedConnection::ReceiveText()
{
    if (!Ready())
        return {};
    return m_keys->ReceiveDecrypted(*m_socket);
}

bool TNxEncryptedConnection::SendText(QByteArrayView text)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    return m_keys->SendEncrypted(*m_socket, text);
}

void TNxEncryptedConnection::HandleRead()
{
    TSocketEventScope scope;
    const QPointer<TNxEncryptedConnection> alive(this);
    if (m_keys->AwaitingAnnouncement()) {
        m_keys->ReadAnnouncement(*m_socket);
        if (m_keys->AwaitingAnnouncement())
            return;
        emit OnConnect();
        if (!alive)
            return;
    }
    emit OnRead();
}

void TNxEncryptedConnection::HandleWritten()
{
    if (!Ready() || m_socket->bytesToWrite() > 0)
        return;
    TSocketEventScope scope;
    emit OnWrite();
}

void TNxEncryptedConnection::HandleDisconnected()
{
    TSocketEventScope scope;
    const QPointer<TNxEncryptedConnection> alive(this);
    if (Ready())
        emit OnDisconnect();
    if (alive)
        emit Finished();
}

void TNxEncryptedConnection::HandleError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    TSocketEventScope scope;
    emit OnError(error);
}
