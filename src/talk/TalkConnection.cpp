#include "talk/TalkConnection.h"

#include "base/Log.h"
#include "net/HostResolver.h"
#include "net/SocketEventScope.h"

#include <QTcpSocket>

TTalkConnection::TTalkConnection(QTcpSocket *accepted, const QByteArray &alias, TTalkDisplay &display,
                                 TRandomByteSource random, QObject *parent)
    : QObject(parent), m_socket(accepted ? accepted : new QTcpSocket),
      m_protocol(accepted == nullptr, alias, display, *this, std::move(random))
{
    m_socket->setParent(this);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_socket->abort();
        Finish(TEnd::ConnectFailed);
    });
    if (accepted) {
        m_everConnected = true;
        // Shown as the user knows it: an IPv4 peer of the dual-stack server without its v6 mapping.
        bool isV4 = false;
        const quint32 v4 = accepted->peerAddress().toIPv4Address(&isV4);
        m_host = isV4 ? QHostAddress(v4).toString() : accepted->peerAddress().toString();
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
    m_socket->setReadBufferSize(ReadChunk);
    Wire();
}

TTalkConnection::~TTalkConnection()
{
    Shutdown();
}

void TTalkConnection::Wire()
{
    connect(m_socket, &QTcpSocket::connected, this, &TTalkConnection::SocketConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TTalkConnection::SocketReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &TTalkConnection::SocketDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TTalkConnection::SocketError);
}

QString TTalkConnection::PeerText() const
{
    return m_host;
}

void TTalkConnection::ConnectTo(const QString &host, quint16 port)
{
    m_host = host.trimmed();
    m_connectTimer.start(ConnectTimeoutMs);
    ConnectResolved(
        *m_socket, m_host, port, [this] { return !m_ended && m_socket->state() == QAbstractSocket::UnconnectedState; },
        [this] { Finish(TEnd::ConnectFailed, QStringLiteral("Host not found")); });
}

void TTalkConnection::Start()
{
    if (m_ended)
        return;
    if (!m_protocol.SendKey())
        Finish(TEnd::Failed, m_protocol.ErrorText());
    else if (m_socket->bytesAvailable() > 0)
        SocketReadyRead(); // a peer that spoke before its turn
}

void TTalkConnection::Send(QByteArrayView bytes)
{
    if (m_ended || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_protocol.SendBytes(bytes);
}

void TTalkConnection::Write(const QByteArray &bytes)
{
    m_socket->write(bytes);
    m_socket->flush();
}

void TTalkConnection::Disconnect()
{
    if (m_ended)
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->disconnectFromHost(); // disconnected follows, now or later
        return;
    }
    m_socket->abort();
    Finish(TEnd::Disconnected);
}

void TTalkConnection::Shutdown()
{
    m_ended = true;
    m_connectTimer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
}

void TTalkConnection::Finish(TEnd end, const QString &message)
{
    if (m_ended)
        return;
    m_ended = true;
    m_connectTimer.stop();
    if (end == TEnd::Failed)
        Log::Dropped(lcTalk(), m_host, message);
    emit Ended(end, message);
}

void TTalkConnection::SocketConnected()
{
    TSocketEventScope scope;
    m_everConnected = true;
    m_connectTimer.stop();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TTalkConnection::SocketReadyRead()
{
    TSocketEventScope scope;
    if (m_ended)
        return;
    const QByteArray bytes = m_socket->read(ReadChunk);
    // The bounded read buffer hands a flood over in slices, one event each, so the window
    // keeps painting between them.
    if (!m_protocol.ProcessIncoming(bytes))
        Finish(TEnd::Failed, m_protocol.ErrorText());
}

void TTalkConnection::SocketDisconnected()
{
    TSocketEventScope scope;
    // Text that arrived with the close is still shown.
    while (!m_ended && m_socket->bytesAvailable() > 0)
        SocketReadyRead();
    Finish(TEnd::Disconnected);
}

void TTalkConnection::SocketError()
{
    TSocketEventScope scope;
    if (!m_everConnected)
        Finish(TEnd::ConnectFailed, m_socket->errorString());
}
