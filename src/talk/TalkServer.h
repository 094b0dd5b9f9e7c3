#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

// A talk window's listening socket. Incoming connections wait here, unread, until the user
// has answered for them one at a time; only a few may wait, the rest are refused at once.
class TTalkServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 4;

    explicit TTalkServer(QObject *parent = nullptr);
    ~TTalkServer() override;

    // Listens on every address; false with ErrorString when the port cannot be had.
    bool Listen(quint16 port);
    bool IsListening() const { return m_server.isListening(); }
    quint16 Port() const { return m_server.serverPort(); }
    QString ErrorString() const { return m_server.errorString(); }

    // The oldest waiting connection that is still open, or null. It stays in the queue.
    QTcpSocket *NextWaiting();
    // Takes Socket out of the queue; the caller owns it. Null when it closed meanwhile.
    QTcpSocket *Take(QTcpSocket *socket);
    // Closes Socket and drops it from the queue.
    void Refuse(QTcpSocket *socket);
    int WaitingCount() const { return int(m_waiting.size()); }

signals:
    // A connection joined the queue.
    void ConnectionWaiting();
    // One more than MaxWaiting knocked and was closed.
    void ConnectionRefused(const QString &peer);

private:
    void ServerNewConnection();
    void Drop(QTcpSocket *socket);
    void Prune();

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_waiting;
};
