#pragma once

#include "talk/TalkProtocol.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

// One talk connection: its socket and its protocol state. The side that opens the
// connection calls ConnectTo; the accepting side hands over its socket and calls Start.
// Ended is emitted once, from inside the socket's event, so owners must defer removal.
class TTalkConnection : public QObject, private TTalkLink
{
    Q_OBJECT
public:
    enum class TEnd { ConnectFailed, Disconnected, Failed };
    Q_ENUM(TEnd)

    // What a single read may bring; a fast peer is then applied in slices.
    static constexpr qint64 ReadChunk = 64 * 1024;
    static constexpr int ConnectTimeoutMs = 30000;

    // Accepted: the socket of an accepted connection (taken over), else null.
    TTalkConnection(QTcpSocket *accepted, const QByteArray &alias, TTalkDisplay &display, TRandomByteSource random,
                    QObject *parent = nullptr);
    ~TTalkConnection() override;

    void ConnectTo(const QString &host, quint16 port);
    // The accepting side's first step: our key and alias. Ends the connection when no
    // random number can be had.
    void Start();
    // Sends through the cipher at once (no delay for small writes).
    void Send(QByteArrayView bytes);
    // Closes gracefully; Ended(Disconnected) follows.
    void Disconnect();
    // Closes without any further signal.
    void Shutdown();

    bool Initiator() const { return m_protocol.Initiator(); }
    bool KeyExchanged() const { return !m_protocol.AwaitingKey() && m_protocol.KeySent(); }
    bool HasEnded() const { return m_ended; }
    const TTalkProtocol &Protocol() const { return m_protocol; }
    QTcpSocket *Socket() const { return m_socket; }
    QString PeerText() const;

signals:
    void Ended(TTalkConnection::TEnd end, const QString &message);

private:
    void Write(const QByteArray &bytes) override;
    void Wire();
    void SocketConnected();
    void SocketReadyRead();
    void SocketDisconnected();
    void SocketError();
    void Finish(TEnd end, const QString &message = {});

    QTcpSocket *m_socket;
    TTalkProtocol m_protocol;
    QTimer m_connectTimer;
    bool m_everConnected = false;
    bool m_ended = false;
    QString m_host;
};
