#pragma once

#include "net/NxKeys.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>

#include <memory>

class QTcpSocket;

// One enciphered TCP connection, on either end. It sends its own announcement as soon as
// the TCP connection is up and holds back the application's events until the peer's
// announcement is complete, so the application only ever sees a connection that is ready
// for enciphered data. OnConnect always comes before the first OnRead.
class TNxEncryptedConnection : public QObject
{
    Q_OBJECT
public:
    // Bytes the socket buffers before the peer has to wait for us to read.
    static constexpr qint64 ReadBufferLimit = 1024 * 1024;

    // Takes Socket over as a child. A socket that connects later starts by itself;
    // one that is connected already is started by its owner with Start.
    explicit TNxEncryptedConnection(QTcpSocket *socket, QObject *parent = nullptr);
    ~TNxEncryptedConnection() override;

    QTcpSocket *Socket() const { return m_socket; }
    // The keys of the current connection; renewed by every Start.
    TNxKeys &Keys() { return *m_keys; }
    // The peer's announcement is complete.
    bool Ready() const { return !m_keys->AwaitingAnnouncement(); }

    // All deciphered bytes that have arrived; empty before the connection is ready, so
    // announcement bytes never reach the application.
    QByteArray ReceiveText();
    // Enciphers and queues Text. False when the socket is not connected.
    bool SendText(QByteArrayView text);

    // Fresh keys and our announcement, ahead of anything else.
    void Start();

signals:
    void OnConnect();
    void OnRead();
    // Everything queued so far has been handed to the system.
    void OnWrite();
    // Only for a connection that had become ready.
    void OnDisconnect();
    // The remote end closing is reported by the disconnect, not here.
    void OnError(QAbstractSocket::SocketError error);
    // After every disconnect, ready or not.
    void Finished();

private:
    void HandleRead();
    void HandleWritten();
    void HandleDisconnected();
    void HandleError(QAbstractSocket::SocketError error);

    QTcpSocket *m_socket;
    std::unique_ptr<TNxKeys> m_keys;
};
