#include "servers/UDPQueue.h"

#include "base/Tick.h"
#include "net/HostResolver.h"
#include "net/UNxSocket.h"
#include "servers/Server.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QThread>
#include <QUdpSocket>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

void CloseDuplicate(qintptr handle)
{
#ifdef Q_OS_WIN
    closesocket(SOCKET(handle));
#else
    ::close(int(handle));
#endif
}

// Our own handle on the form's socket: the worker may keep sending on it while the form
// closes its own, and it never becomes some other socket that reused the number.
qintptr Duplicate(qintptr handle, int &family)
{
#ifdef Q_OS_WIN
    WSAPROTOCOL_INFOW info;
    if (WSADuplicateSocketW(SOCKET(handle), GetCurrentProcessId(), &info) != 0)
        return -1;
    const SOCKET copy = WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0);
    if (copy == INVALID_SOCKET)
        return -1;
    family = info.iAddressFamily;
    return qintptr(copy);
#else
    const int copy = ::dup(int(handle));
    if (copy < 0)
        return -1;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    family = ::getsockname(copy, reinterpret_cast<sockaddr *>(&local), &length) == 0 ? local.ss_family : AF_INET;
    return copy;
#endif
}

} // namespace

TUDPQueue::TUDPQueue(QUdpSocket *udp, TNxPing *pinger, QObject *parent) : QObject(parent), m_udp(udp), m_pinger(pinger)
{
    m_shared.Pinger = pinger;
    connect(&THostResolver::Shared(), &THostResolver::Finished, this, &TUDPQueue::HostResolved);
    m_thread = std::make_unique<TUDPThread>(this, m_shared);
    if (udp) {
        connect(udp, &QIODevice::aboutToClose, this, &TUDPQueue::ReleaseUdpHandle);
        connect(udp, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
            if (state != QAbstractSocket::BoundState && state != QAbstractSocket::ConnectedState)
                ReleaseUdpHandle();
        });
        connect(udp, &QObject::destroyed, this, &TUDPQueue::ReleaseUdpHandle);
    }
    if (pinger)
        connect(pinger, &TNxSocket::OnClosing, this, &TUDPQueue::ReleasePinger, Qt::DirectConnection);
}

TUDPQueue::~TUDPQueue()
{
    // The worker gives up within one send call: no wait on this thread can block it.
    m_thread.reset();
    if (m_shared.UdpHandle != -1)
        CloseDuplicate(m_shared.UdpHandle);
}

bool TUDPQueue::Enqueue(quint8 kind, TServer *owner, QByteArrayView data, quint16 port, const QString &host,
                        bool repeated)
{
    Q_ASSERT(thread() == QThread::currentThread());
    if (data.size() > MaxData || !MakeRoom(repeated)) {
        ++m_droppedCount;
        return false;
    }
    TUDPPacket packet;
    packet.Owner = owner;
    packet.Kind = kind;
    packet.Host = host;
    packet.Port = port;
    packet.Length = quint16(data.size());
    packet.Data = data.toByteArray();
    packet.Repeated = repeated;
    m_packets.append(std::move(packet));
    if (repeated)
        ++m_repeated;
    CountOwner(owner, 1);
    emit OnChange();
    if (m_inFlight == 0)
        ScheduleStep();
    return true;
}

bool TUDPQueue::MakeRoom(bool newIsRepeated)
{
    if (Count() < Limit)
        return true;
    if (Count() >= HardLimit)
        return false;
    if (m_repeated > 0) {
        for (qsizetype i = m_inFlight; i < m_packets.size(); ++i) {
            if (m_packets[i].Repeated) {
                CountOwner(m_packets[i].Owner, -1);
                m_packets.removeAt(i);
                --m_repeated;
                ++m_droppedCount;
                emit OnChange();
                return true;
            }
        }
    }
    return !newIsRepeated;
}

void TUDPQueue::CountOwner(TServer *owner, int delta)
{
    if (!owner)
        return;
    int &count = m_owners[owner];
    count += delta;
    if (count <= 0)
        m_owners.remove(owner);
}

void TUDPQueue::DequeueFirst()
{
    if (m_packets.isEmpty())
        return;
    const TUDPPacket &first = m_packets.first();
    CountOwner(first.Owner, -1);
    if (first.Repeated)
        --m_repeated;
    m_packets.removeFirst();
    ++m_sentCount;
    emit OnChange();
}

void TUDPQueue::Forget(TServer *owner)
{
    if (!owner || !m_owners.contains(owner))
        return;
    for (TUDPPacket &packet : m_packets) {
        if (packet.Owner == owner)
            packet.Owner = nullptr;
    }
    for (QList<TUDPPacket> &parked : m_parked) {
        for (TUDPPacket &packet : parked) {
            if (packet.Owner == owner)
                packet.Owner = nullptr;
        }
    }
    m_owners.remove(owner);
}

quint32 TUDPQueue::FailedCount() const
{
    std::unique_lock lock(m_shared.Mutex);
    return m_shared.Failed;
}

bool TUDPQueue::CanPing() const
{
    return m_pinger && m_pinger->Available();
}

void TUDPQueue::Pause()
{
    m_paused = true;
    std::unique_lock lock(m_shared.Mutex);
    m_shared.Paused.store(true);
    m_shared.Idle.wait(lock, [this] { return !m_shared.Sending; });
    // Let the form release its port: our duplicate would keep it bound.
    if (m_shared.UdpHandle != -1) {
        CloseDuplicate(m_shared.UdpHandle);
        m_shared.UdpHandle = -1;
    }
    m_udpSource = -1;
}

void TUDPQueue::Resume()
{
    m_paused = false;
    {
        std::unique_lock lock(m_shared.Mutex);
        m_shared.Paused.store(false);
    }
    ScheduleStep();
}

void TUDPQueue::ScheduleStep()
{
    if (m_stepQueued)
        return;
    m_stepQueued = true;
    QMetaObject::invokeMethod(this, &TUDPQueue::Step, Qt::QueuedConnection);
}

void TUDPQueue::Step()
{
    m_stepQueued = false;
    qsizetype done = 0;
    {
        std::unique_lock lock(m_shared.Mutex);
        if (m_shared.Busy)
            return; // the worker asks again when it is done
        done = std::exchange(m_shared.Done, 0);
    }
    for (qsizetype i = 0; i < done && i < m_inFlight; ++i)
        DequeueFirst();
    m_inFlight = 0;
    if (m_paused || m_packets.isEmpty())
        return;

    RefreshUdpHandle();
    QList<TSendItem> batch;
    const quint32 now = TickCount();
    for (qsizetype i = 0; i < m_packets.size();) {
        const TUDPPacket &packet = m_packets.at(i);
        if (batch.size() == MaxBatch)
            break;
        // A packet that times its owner's reply goes first in its batch, so that it leaves
        // right when SentTick is taken.
        if (packet.Owner && !batch.isEmpty())
            break;
        TSendItem item;
        if (!Prepare(packet, item)) {
            Park(i); // its host is being looked up; the answer brings it back
            continue;
        }
        ++i;
        if (packet.Owner) {
            packet.Owner->SentTick = now;
            packet.Owner->AwaitingReply = true;
        }
        batch.append(std::move(item));
    }
    if (batch.isEmpty())
        return;
    m_inFlight = batch.size();
    std::unique_lock lock(m_shared.Mutex);
    m_shared.Batch = std::move(batch);
    m_shared.Busy = true;
    lock.unlock();
    m_shared.Wake.notify_one();
}

bool TUDPQueue::Prepare(const TUDPPacket &packet, TSendItem &item)
{
    item.Action = TSendItem::TAction::Skip;
    const QString host = packet.Host.trimmed();
    if (host.isEmpty() || (packet.Kind != KindEcho && packet.Port == 0))
        return true;
    if (packet.Kind != KindDatagram && packet.Kind != KindEcho)
        return true;
    if (packet.Kind == KindEcho && !CanPing())
        return true;
    QHostAddress resolved;
    const THostResolver::TStatus lookup = THostResolver::Shared().Resolve(host, resolved);
    if (lookup != THostResolver::TStatus::Ok)
        return lookup == THostResolver::TStatus::Failed;
    bool isV4 = false;
    const quint32 address = resolved.toIPv4Address(&isV4);
    if (!isV4)
        return true; // datagrams and echoes go out over IPv4 only
    item.Action = packet.Kind == KindEcho ? TSendItem::TAction::Echo : TSendItem::TAction::Datagram;
    item.Address = address;
    item.Port = packet.Port;
    item.Data = packet.Data;
    if (packet.Kind == KindEcho)
        item.AddressText = QHostAddress(address).toString();
    return true;
}

void TUDPQueue::Park(qsizetype index)
{
    TUDPPacket packet = m_packets.takeAt(index);
    m_parked[packet.Host.trimmed()].append(std::move(packet));
    ++m_parkedCount;
}

void TUDPQueue::HostResolved(const QString &host)
{
    const QList<TUDPPacket> parked = m_parked.take(host);
    if (parked.isEmpty())
        return;
    m_parkedCount -= parked.size();
    m_packets.append(parked);
    if (m_inFlight == 0)
        ScheduleStep();
}

void TUDPQueue::RefreshUdpHandle()
{
    if (!m_udp)
        return;
    // Like a first writeDatagram, an unbound socket is bound to any port.
    if (m_udp->state() == QAbstractSocket::UnconnectedState)
        m_udp->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    const qintptr source = m_udp->socketDescriptor();
    if (source == m_udpSource && m_shared.UdpHandle != -1)
        return;
    // The worker is between batches here, so the old duplicate is not in use.
    std::unique_lock lock(m_shared.Mutex);
    if (m_shared.UdpHandle != -1)
        CloseDuplicate(m_shared.UdpHandle);
    m_shared.UdpHandle = source == -1 ? -1 : Duplicate(source, m_shared.UdpFamily);
    m_udpSource = m_shared.UdpHandle == -1 ? -1 : source;
}

void TUDPQueue::ReleaseUdpHandle()
{
    std::unique_lock lock(m_shared.Mutex);
    m_shared.Idle.wait(lock, [this] { return !m_shared.Sending; });
    if (m_shared.UdpHandle != -1)
        CloseDuplicate(m_shared.UdpHandle);
    m_shared.UdpHandle = -1;
    m_udpSource = -1;
}

void TUDPQueue::ReleasePinger()
{
    std::unique_lock lock(m_shared.Mutex);
    m_shared.Idle.wait(lock, [this] { return !m_shared.Sending; });
    m_shared.Pinger = nullptr;
}
