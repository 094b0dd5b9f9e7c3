#pragma once

#include "net/NxEncryptedConnection.h"

#include <QObject>
#include <QString>

class QTcpSocket;

// Makes one enciphered connection at a time. OnConnect, OnRead and OnWrite are held back
// until the server's announcement is complete; OnDisconnect and OnError come straight
// from the socket. Every new connection gets fresh keys.
class TNxEncryptedClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(quint16 Port READ Port WRITE SetPort)
    Q_PROPERTY(QString Host READ Host WRITE SetHost)
    Q_PROPERTY(bool Connected READ Connected)
public:
    explicit TNxEncryptedClient(QObject *parent = nullptr);
    ~TNxEncryptedClient() override;

    // True only while connected and the server's announcement is complete.
    bool Active() const { return Connected(); }
    void SetActive(bool active);
    bool Connected() const;
    quint16 Port() const { return m_port; }
    void SetPort(quint16 port) { m_port = port; }
    // An address literal is used as it is; any other text is a name to look up.
    QString Host() const { return m_host; }
    void SetHost(const QString &host) { m_host = host; }

    // Connection errors arrive through OnError.
    void Open();
    // Queued data is still sent before the connection closes.
    void Close();

    QByteArray ReceiveText() { return m_connection->ReceiveText(); }
    bool SendText(QByteArrayView text) { return m_connection->SendText(text); }
    TNxKeys &Keys() { return m_connection->Keys(); }
    QTcpSocket *Socket() const { return m_connection->Socket(); }

signals:
    void OnConnect();
    void OnRead();
    void OnWrite();
    void OnDisconnect();
    void OnError(QAbstractSocket::SocketError error);

private:
    TNxEncryptedConnection *m_connection;
    QString m_host;
    quint16 m_port = 0;
    quint64 m_openAttempt = 0; // a lookup that answers an older Open connects nothing
};
