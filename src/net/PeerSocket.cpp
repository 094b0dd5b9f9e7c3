#include "net/PeerSocket.h"

#include "base/Log.h"
#include "net/DatagramReader.h"
#include "net/HostResolver.h"

#include <QNetworkDatagram>

namespace {
constexpr qint64 ProbeReplyIntervalMs = 1000;
constexpr int MaxRememberedSenders = 1024;
} // namespace

TPeerSocket::TPeerSocket(QObject *parent) : QObject(parent)
{
    m_clock.start();
    connect(&m_socket, &QUdpSocket::readyRead, this, &TPeerSocket::UDPDataReceived);
}

bool TPeerSocket::Bind(const QHostAddress &address, quint16 port)
{
    return m_socket.bind(address, port);
}

void TPeerSocket::SendTo(const QString &host, const QByteArray &datagram)
{
    const QString target = host.trimmed();
    if (target.isEmpty() || !IsBound())
        return;
    const QHostAddress address(target);
    if (!address.isNull()) {
        m_socket.writeDatagram(datagram, address, m_remotePort);
        return;
    }
    // A host name is looked up without blocking the window; the datagram goes out after.
    const quint16 port = m_remotePort;
    THostResolver::Shared().Lookup(target, this, [this, datagram, port](const QHostAddress &found) {
        if (found.protocol() == QAbstractSocket::IPv4Protocol && IsBound())
            m_socket.writeDatagram(datagram, found, port);
    });
}

bool TPeerSocket::ProbeReplyAllowed(const QString &host)
{
    const qint64 now = m_clock.elapsed();
    if (m_lastReply.size() > MaxRememberedSenders) {
        for (auto it = m_lastReply.begin(); it != m_lastReply.end();)
            it = now - it.value() >= ProbeReplyIntervalMs ? m_lastReply.erase(it) : std::next(it);
    }
    const auto it = m_lastReply.constFind(host);
    if (it != m_lastReply.constEnd() && now - it.value() < ProbeReplyIntervalMs)
        return false;
    if (m_lastReply.size() > MaxRememberedSenders)
        return false; // a flood from many addresses at once: answer none of them
    m_lastReply.insert(host, now);
    return true;
}

void TPeerSocket::UDPDataReceived()
{
    DatagramReader::ReadDatagrams(m_socket, PeerPackets::MaxDatagram, [this](const QNetworkDatagram &datagram) {
        const QString sender = datagram.senderAddress().toString();
        const auto packet = PeerPackets::Decode(datagram.data());
        if (!packet)
            return Log::Dropped(lcNet(), sender, QStringLiteral("peer datagram of no known kind"));
        if (std::holds_alternative<PeerPackets::TProbe>(*packet)) {
            if (sender.trimmed().isEmpty() || !ProbeReplyAllowed(sender))
                Log::Dropped(lcNet(), sender, QStringLiteral("probe not answered (at most one a second)"));
            else
                SendTo(sender, PeerPackets::EncodeProbeReply());
        } else if (const auto *reply = std::get_if<PeerPackets::TProbeReply>(&*packet)) {
            emit ProbeReplyReceived(sender, reply->build);
        } else if (const auto *request = std::get_if<PeerPackets::TTalkRequest>(&*packet)) {
            emit TalkRequestReceived(sender, request->port, request->alias);
        }
    });
}
