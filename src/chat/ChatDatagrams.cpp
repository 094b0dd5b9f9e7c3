// The chat form's datagrams: reading the socket, user pings and the replies to them.
#include "base/Log.h"
#include "base/Tick.h"
#include "chat/EchoReply.h"
#include "chat/UDPQueue.h"
#include "chat/UfrmChat.h"
#include "chat/UserPing.h"
#include "irc/User.h"
#include "net/DatagramReader.h"
#include "net/UNxSocket.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {
constexpr int MaxDatagram = 4096;

QString SenderText(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}
} // namespace

quint16 TfrmChat::UDPLocalPort() const
{
    return UDP->state() == QAbstractSocket::BoundState ? UDP->localPort() : 0;
}

bool TfrmChat::BindUDP(quint16 port)
{
    UDP->close();
    return UDP->bind(QHostAddress::AnyIPv4, port);
}

void TfrmChat::ReleaseUDP()
{
    UDP->close();
}

void TfrmChat::UDPReadReady()
{
    DatagramReader::ReadDatagrams(*UDP, MaxDatagram, [this](const QNetworkDatagram &datagram) {
        if (!Closing && !Released()) {
            m_datagramSender =
                SenderText(datagram.senderAddress()) + QLatin1Char(':') + QString::number(datagram.senderPort());
            UDPDataReceived(datagram.data(), SenderText(datagram.senderAddress()), quint16(datagram.senderPort()));
        }
    });
}

void TfrmChat::UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port)
{
    if (Closing)
        return;
    ReplyTick = TickCount();
    if (datagram.size() >= 2 && quint8(datagram[0]) == 0x05 && quint8(datagram[1]) == 0x01)
        HandleUserReply(datagram);
    else
        Log::Dropped(lcServers(), ip + QLatin1Char(':') + QString::number(port),
                     QStringLiteral("datagram that is no user reply"));
}

void TfrmChat::HandleUserReply(QByteArrayView datagram)
{
    const auto reply = EchoReply::ParseUserReply(datagram);
    if (!reply)
        return Log::Dropped(lcServers(), m_datagramSender, QStringLiteral("malformed user reply"));
    TUser *user = FindUser(reply->Nick);
    if (!user)
        return Log::Dropped(lcServers(), m_datagramSender, QStringLiteral("user reply for an unknown nick"));
    user->SetPingResult(EchoReply::UserReplySentTick(ReplyTick, reply->Value), ReplyTick);
    UserInfoChanged(user);
}

void TfrmChat::PingUser(TUser *user)
{
    if (!user || !UDPQueue)
        return;
    ::PingUser(*UDPQueue, user->Nick, user->Host, TickCount());
    emit ClientProbeWanted(user->Host);
    user->PingPending = false;
}

void TfrmChat::PingerDataReady()
{
    if (!Pinger)
        return;
    const quint32 now = TickCount();
    const auto reply = TakeEchoReply(*Pinger);
    if (!reply || Closing)
        return;
    TUser *user = FindUser(reply->Nick);
    if (!user)
        return;
    user->SetPingResult(reply->SentTick, now);
    UserInfoChanged(user);
}
