// The chat form's datagrams: its endpoint, and the users' pings.
#include "base/Log.h"
#include "irc/User.h"
#include "chat/UfrmChat.h"
#include "net/UNxSocket.h"
#include "servers/DatagramEndpoint.h"

void TfrmChat::CreateDatagrams()
{
    Datagrams = new TDatagramEndpoint(this);
    connect(Datagrams, &TDatagramEndpoint::DatagramReceived, this,
            [this](const QByteArray &datagram, const QString &ip, quint16 port) {
                if (!Closing && !Released())
                    UDPDataReceived(datagram, ip, port);
            });
    connect(Datagrams, &TDatagramEndpoint::UserPinged, this, &TfrmChat::HandleUserReply);
    connect(Datagrams->Pinger(), &TNxSocket::OnError, this, [this](const QString &text) {
        if (OnStatus)
            OnStatus(text);
    });
}

QUdpSocket *TfrmChat::UDP() const
{
    return Datagrams->Socket();
}

TNxPing *TfrmChat::Pinger() const
{
    return Datagrams->Pinger();
}

TUDPQueue *TfrmChat::UDPQueue() const
{
    return Datagrams->Queue();
}

quint32 TfrmChat::ReplyTick() const
{
    return Datagrams->ReplyTick();
}

void TfrmChat::UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port)
{
    Q_UNUSED(datagram);
    Log::Dropped(lcServers(), ip + QLatin1Char(':') + QString::number(port),
                 QStringLiteral("datagram that is no user reply"));
}

void TfrmChat::HandleUserReply(const QString &nick, quint32 sentTick, quint32 replyTick, const QString &from)
{
    if (Closing)
        return;
    TUser *user = FindUser(nick);
    if (!user) {
        if (!from.isEmpty())
            Log::Dropped(lcServers(), from, QStringLiteral("user reply for an unknown nick"));
        return;
    }
    user->SetPingResult(sentTick, replyTick);
    UserInfoChanged(user);
}

void TfrmChat::PingUser(TUser *user)
{
    if (!user)
        return;
    Datagrams->PingUser(user->Nick, user->Host);
    emit ClientProbeWanted(user->Host);
    user->PingPending = false;
}
