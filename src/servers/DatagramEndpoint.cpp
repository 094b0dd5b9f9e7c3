#include "servers/DatagramEndpoint.h"

#include "base/Log.h"
#include "base/Tick.h"
#include "net/DatagramReader.h"
#include "net/UNxSocket.h"
#include "servers/EchoReply.h"
#include "servers/UDPQueue.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {
QString SenderText(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}
} // namespace

TDatagramEndpoint::TDatagramEndpoint(QObject *parent)
    : QObject(parent), m_socket(new QUdpSocket(this)), m_pinger(new TNxPing(this)),
      m_queue(new TUDPQueue(m_socket, m_pinger, this))
{
    Bind(0);
    connect(m_socket, &QUdpSocket::readyRead, this, &TDatagramEndpoint::ReadSocket);
    connect(m_pinger, &TNxSocket::OnDataReady, this, &TDatagramEndpoint::ReadPinger);
}

TDatagramEndpoint::~TDatagramEndpoint()
{
    delete m_queue;
    delete m_pinger;
    disconnect(m_socket, nullptr, this, nullptr);
}

quint16 TDatagramEndpoint::LocalPort() const
{
    return m_socket->state() == QAbstractSocket::BoundState ? m_socket->localPort() : 0;
}

bool TDatagramEndpoint::Bind(quint16 port)
{
    m_socket->close();
    return m_socket->bind(QHostAddress::AnyIPv4, port);
}

void TDatagramEndpoint::Release()
{
    // A released port is never what we take back afterwards.
    if (const quint16 port = LocalPort())
        m_port = port;
    // No send may be in progress while the port goes to the game.
    m_queue->Pause();
    m_socket->close();
    m_released = true;
}

bool TDatagramEndpoint::Rebind()
{
    const bool bound = Bind(m_port) || Bind(0);
    m_released = false;
    m_queue->Resume();
    return bound;
}

QString TDatagramEndpoint::ErrorString() const
{
    return m_socket->errorString();
}

void TDatagramEndpoint::ReadSocket()
{
    DatagramReader::ReadDatagrams(*m_socket, MaxDatagram, [this](const QNetworkDatagram &datagram) {
        Feed(datagram.data(), SenderText(datagram.senderAddress()), quint16(datagram.senderPort()));
    });
}

void TDatagramEndpoint::Feed(const QByteArray &datagram, const QString &ip, quint16 port)
{
    m_replyTick = TickCount();
    const QByteArray received = datagram.size() > MaxDatagram ? datagram.first(MaxDatagram) : datagram;
    if (!EchoReply::IsUserReply(received)) {
        emit DatagramReceived(received, ip, port);
        return;
    }
    const auto reply = EchoReply::ParseUserReply(received);
    const QString from = ip + QLatin1Char(':') + QString::number(port);
    if (!reply || reply->Nick.isEmpty())
        return Log::Dropped(lcServers(), from, QStringLiteral("malformed user reply"));
    emit UserPinged(reply->Nick, EchoReply::UserReplySentTick(m_replyTick, reply->Value), m_replyTick, from);
}

bool TDatagramEndpoint::PingUser(const QString &nick, const QString &host)
{
    if (host.trimmed().isEmpty() || !m_queue->CanPing())
        return false;
    return m_queue->Enqueue(TUDPQueue::KindEcho, nullptr, EchoReply::BuildPayload(TickCount(), nick), 0, host);
}

void TDatagramEndpoint::ReadPinger()
{
    const quint32 now = TickCount();
    char buffer[EchoReply::MaxReplySize];
    const int size = m_pinger->ReceiveBuffer(buffer, int(sizeof buffer));
    if (size <= 0)
        return;
    const auto reply = EchoReply::Parse(QByteArrayView(buffer, size), m_pinger->RepliesHaveIpHeader()
                                                                          ? EchoReply::TFormat::WithIpHeader
                                                                          : EchoReply::TFormat::IcmpOnly);
    if (reply)
        emit UserPinged(reply->Nick, reply->SentTick, now, {});
}
