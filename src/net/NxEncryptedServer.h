#pragma once

#include "net/NxEncryptedConnection.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

class QTcpServer;

// Serves enciphered connections: one TNxEncryptedConnection per accepted client, each
// with fresh keys. The events name the connection; they are held back until that
// client's announcement is complete, and a client that leaves before it produces none.
class TNxEncryptedServer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(quint16 Port READ Port WRITE SetPort)
public:
    explicit TNxEncryptedServer(QObject *parent = nullptr);
    ~TNxEncryptedServer() override;

    bool Active() const;
    void SetActive(bool active);
    // The listening port once listening (the one the system chose for 0), else the one set.
    quint16 Port() const;
    void SetPort(quint16 port);
    // Any address by default.
    void SetListenAddress(const QHostAddress &address) { m_address = address; }

    // False when the port cannot be had; ErrorString says why.
    bool Open();
    // Stops listening and closes every connection (queued data is still sent).
    void Close();
    QString ErrorString() const;

    QTcpServer *Socket() const { return m_server; }
    QList<TNxEncryptedConnection *> Connections() const { return m_connections; }

    QByteArray ReceiveText(TNxEncryptedConnection *connection);
    bool SendText(TNxEncryptedConnection *connection, QByteArrayView text);

signals:
    void OnConnect(TNxEncryptedConnection *connection);
    void OnDisconnect(TNxEncryptedConnection *connection);
    void OnWrite(TNxEncryptedConnection *connection);
    void OnRead(TNxEncryptedConnection *connection);
    void OnError(TNxEncryptedConnection *connection, QAbstractSocket::SocketError error);

private:
    void AcceptPending();
    void Forget(TNxEncryptedConnection *connection);

    QTcpServer *m_server;
    QHostAddress m_address = QHostAddress::Any;
    quint16 m_port = 0;
    QList<TNxEncryptedConnection *> m_connections;
};
