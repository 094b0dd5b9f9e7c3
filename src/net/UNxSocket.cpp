#include "net/UNxSocket.h"

#include "base/Bytes.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// Codes of Windows Sockets used by the message table and by the mapping below.
constexpr qint32 WsaEintr = 10004;
constexpr qint32 WsaEacces = 10013;
constexpr qint32 WsaEfault = 10014;
constexpr qint32 WsaEinval = 10022;
constexpr qint32 WsaEmfile = 10024;
constexpr qint32 WsaEwouldblock = 10035;
constexpr qint32 WsaEinprogress = 10036;
constexpr qint32 WsaEalready = 10037;
constexpr qint32 WsaEnotsock = 10038;
constexpr qint32 WsaEmsgsize = 10040;
constexpr qint32 WsaEprototype = 10041;
constexpr qint32 WsaEprotonosupport = 10043;
constexpr qint32 WsaEsocktnosupport = 10044;
constexpr qint32 WsaEopnotsupp = 10045;
constexpr qint32 WsaEafnosupport = 10047;
constexpr qint32 WsaEaddrinuse = 10048;
constexpr qint32 WsaEaddrnotavail = 10049;
constexpr qint32 WsaEnetdown = 10050;
constexpr qint32 WsaEnetunreach = 10051;
constexpr qint32 WsaEnetreset = 10052;
constexpr qint32 WsaEconnaborted = 10053;
constexpr qint32 WsaEconnreset = 10054;
constexpr qint32 WsaEnobufs = 10055;
constexpr qint32 WsaEisconn = 10056;
constexpr qint32 WsaEnotconn = 10057;
constexpr qint32 WsaEshutdown = 10058;
constexpr qint32 WsaEtimedout = 10060;
constexpr qint32 WsaEconnrefused = 10061;
constexpr qint32 WsaEhostunreach = 10065;
constexpr qint32 WsaNotinitialised = 10093;

constexpr int MaxReadsPerNotification = 64;

#ifdef Q_OS_WIN
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

NativeSocket Native(qintptr handle)
{
    return NativeSocket(handle);
}

int LastPlatformError()
{
#ifdef Q_OS_WIN
    return WSAGetLastError();
#else
    return errno;
#endif
}

bool WouldBlock(int error)
{
#ifdef Q_OS_WIN
    return error == WSAEWOULDBLOCK;
#else
    return error == EAGAIN || error == EWOULDBLOCK;
#endif
}

void CloseHandle(qintptr handle)
{
#ifdef Q_OS_WIN
    closesocket(Native(handle));
#else
    ::close(Native(handle));
#endif
}

// The socket type for an IP protocol number.
int SocketTypeFor(qint32 protocol)
{
    switch (protocol) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 12:
    case 22:
    case 77:
    case 255:
    case 256:
        return SOCK_RAW;
    case 6:
        return SOCK_STREAM;
    case 17:
        return SOCK_DGRAM;
    default:
        return 0;
    }
}

} // namespace

ESocketError::ESocketError(const QString &message) : Message(message), m_what(message.toUtf8()) {}

ESocketError ESocketError::CreateFromCode(qint32 code)
{
    return ESocketError(MessageForCode(code));
}

QString ESocketError::MessageForCode(qint32 code)
{
    switch (code) {
    case WsaEintr:
        return QStringLiteral("The (blocking) call was canceled through WSACancelBlockingCall.");
    case WsaEacces:
        return QStringLiteral("Attempt to connect datagram socket to broadcast address failed because setsockopt "
                              "option SO_BROADCAST is not enabled.");
    case WsaEfault:
        return QStringLiteral("The name or the namelen parameter is not valid.");
    case WsaEinval:
        return QStringLiteral("The socket is already bound to an address.");
    case WsaEmfile:
        return QStringLiteral("No more socket descriptors are available.");
    case WsaEwouldblock:
        return QStringLiteral("The socket is marked as nonblocking and the connection cannot be completed "
                              "immediately.");
    case WsaEinprogress:
        return QStringLiteral("A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
                              "processing a callback function.");
    case WsaEalready:
        return QStringLiteral("A nonblocking connect call is in progress on the specified socket.");
    case WsaEnotsock:
        return QStringLiteral("The descriptor is not a socket.");
    case WsaEmsgsize:
        return QStringLiteral("The socket is message oriented, and the message is larger than the maximum supported "
                              "by the underlying transport.");
    case WsaEprototype:
        return QStringLiteral("The specified protocol is the wrong type for this socket.");
    case WsaEprotonosupport:
        return QStringLiteral("The specified protocol is not supported.");
    case WsaEsocktnosupport:
        return QStringLiteral("The specified socket type is not supported in this address family.");
    case WsaEopnotsupp:
        return QStringLiteral("MSG_OOB was specified, but the socket is not stream style such as type SOCK_STREAM, "
                              "out-of-band data is not supported in the communication domain associated with this "
                              "socket, or the socket is unidirectional and supports only receive operations.");
    case WsaEafnosupport:
        return QStringLiteral("The specified address family is not supported.");
    case WsaEaddrinuse:
        return QStringLiteral("The specified address is already in use.");
    case WsaEaddrnotavail:
        return QStringLiteral("The specified address is not available from the local machine.");
    case WsaEnetdown:
        return QStringLiteral("The network subsystem or the associated service provider has failed.");
    case WsaEnetunreach:
        return QStringLiteral("The network cannot be reached from this host at this time.");
    case WsaEnetreset:
        return QStringLiteral("The connection has been broken due to the remote host resetting.");
    case WsaEconnaborted:
        return QStringLiteral("The virtual circuit was terminated due to a time-out or other failure.");
    case WsaEconnreset:
        return QStringLiteral("The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" "
                              "close.");
    case WsaEnobufs:
        return QStringLiteral("No buffer space is available. The socket cannot be created.");
    case WsaEisconn:
        return QStringLiteral("The socket is already connected.");
    case WsaEnotconn:
        return QStringLiteral("The socket is not connected.");
    case WsaEshutdown:
        return QStringLiteral("\tThe socket has been shut down.");
    case WsaEtimedout:
        return QStringLiteral("Attempt to connect timed out without establishing a connection.");
    case WsaEconnrefused:
        return QStringLiteral("The attempt to connect was forcefully rejected.");
    case WsaEhostunreach:
        return QStringLiteral("The remote host cannot be reached from this host at this time.");
    case WsaNotinitialised:
        return QStringLiteral("A successful WSAStartup must occur before using this function.");
    default:
        return QStringLiteral("Unknown socket error.");
    }
}

qint32 SocketErrorCode(int platformError)
{
#ifdef Q_OS_WIN
    return platformError;
#else
    switch (platformError) {
    case EINTR:
        return WsaEintr;
    case EACCES:
    case EPERM:
        return WsaEacces;
    case EFAULT:
        return WsaEfault;
    case EINVAL:
        return WsaEinval;
    case EMFILE:
    case ENFILE:
        return WsaEmfile;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return WsaEwouldblock;
    case EINPROGRESS:
        return WsaEinprogress;
    case EALREADY:
        return WsaEalready;
    case ENOTSOCK:
    case EBADF:
        return WsaEnotsock;
    case EMSGSIZE:
        return WsaEmsgsize;
    case EPROTOTYPE:
        return WsaEprototype;
    case EPROTONOSUPPORT:
        return WsaEprotonosupport;
    case ESOCKTNOSUPPORT:
        return WsaEsocktnosupport;
    case EOPNOTSUPP:
        return WsaEopnotsupp;
    case EAFNOSUPPORT:
        return WsaEafnosupport;
    case EADDRINUSE:
        return WsaEaddrinuse;
    case EADDRNOTAVAIL:
        return WsaEaddrnotavail;
    case ENETDOWN:
        return WsaEnetdown;
    case ENETUNREACH:
        return WsaEnetunreach;
    case ENETRESET:
        return WsaEnetreset;
    case ECONNABORTED:
        return WsaEconnaborted;
    case ECONNRESET:
        return WsaEconnreset;
    case ENOBUFS:
    case ENOMEM:
        return WsaEnobufs;
    case EISCONN:
        return WsaEisconn;
    case ENOTCONN:
    case EDESTADDRREQ:
        return WsaEnotconn;
    case ESHUTDOWN:
    case EPIPE:
        return WsaEshutdown;
    case ETIMEDOUT:
        return WsaEtimedout;
    case ECONNREFUSED:
        return WsaEconnrefused;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return WsaEhostunreach;
    default:
        return 0;
    }
#endif
}

quint16 InternetChecksum(QByteArrayView bytes)
{
    quint32 sum = 0;
    const TByteReader r(bytes);
    // An odd final byte counts as followed by a zero byte, which the reader gives past the end.
    for (qsizetype i = 0; i < bytes.size(); i += 2)
        sum += r.U16BEAt(i);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

TNxSocket::TNxSocket(QObject *owner, qint32 protocol) : QObject(owner), m_protocol(protocol)
{
#ifdef Q_OS_WIN
    WSADATA data;
    if (const int result = WSAStartup(MAKEWORD(1, 1), &data); result != 0)
        throw ESocketError::CreateFromCode(result);
#endif
    Open();
}

TNxSocket::~TNxSocket()
{
    emit OnClosing();
    delete m_readNotifier;
    delete m_writeNotifier;
    if (IsOpen())
        CloseHandle(m_handle);
#ifdef Q_OS_WIN
    WSACleanup();
#endif
}

void TNxSocket::Open()
{
    m_type = SocketTypeFor(m_protocol);
    qintptr handle = qintptr(::socket(AF_INET, m_type, m_protocol));
    int error = handle == InvalidHandle ? LastPlatformError() : 0;
#ifndef Q_OS_WIN
    // Without the right to raw sockets, ICMP may still be open to this user as a datagram
    // socket (the system then fills in the identifier and the checksum).
    if (handle == InvalidHandle && m_protocol == IPPROTO_ICMP && (error == EPERM || error == EACCES)) {
        handle = qintptr(::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP));
        if (handle != InvalidHandle)
            m_type = SOCK_DGRAM;
        else
            error = LastPlatformError();
    }
#endif
    if (handle == InvalidHandle) {
        const qint32 code = SocketErrorCode(error);
        m_openError = m_protocol == IPPROTO_ICMP
                          ? QStringLiteral("User pings are off: this system does not allow ICMP sockets for this user.")
                          : ESocketError::MessageForCode(code);
        {
            QMutexLocker lock(&m_mutex);
            m_reported.insert(code);
        }
        // Told once, after the owner has had the chance to listen.
        QMetaObject::invokeMethod(
            this, [this] { emit OnError(m_openError); }, Qt::QueuedConnection);
        return;
    }
    m_handle = handle;
    m_raw = m_type == SOCK_RAW;
#ifdef Q_OS_WIN
    u_long nonBlocking = 1;
    ioctlsocket(Native(m_handle), FIONBIO, &nonBlocking);
#endif
    m_readNotifier = new QSocketNotifier(m_handle, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TNxSocket::HandleReadReady);
    m_writeNotifier = new QSocketNotifier(m_handle, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false); // a datagram socket can nearly always send
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &TNxSocket::HandleWriteReady);
}

QString TNxSocket::RemoteIP() const
{
    QMutexLocker lock(&m_mutex);
    return m_remoteIP;
}

bool TNxSocket::SetRemoteIP(const QString &ip)
{
    QMutexLocker lock(&m_mutex);
    if (ip == m_remoteIP)
        return true;
    if (ip.isEmpty()) {
        m_remoteIP.clear();
        return true;
    }
    in_addr address{};
    if (::inet_pton(AF_INET, ip.toLatin1().constData(), &address) != 1) {
        lock.unlock();
        ReportError(WsaEfault);
        return false;
    }
    if (m_type == SOCK_STREAM && IsOpen()) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr = address;
        if (::connect(Native(m_handle), reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0 &&
            !WouldBlock(LastPlatformError())) {
            lock.unlock();
            ReportLastError();
            return false;
        }
    }
    // Datagram and raw sockets stay unconnected and send to the chosen address: a
    // connected one would drop the late replies of every earlier peer.
    m_remoteIP = ip;
    m_remoteAddress = qFromBigEndian(quint32(address.s_addr));
    return true;
}

bool TNxSocket::SendBuffer(const char *buffer, qsizetype length)
{
    if (!IsOpen())
        return false;
    QMutexLocker lock(&m_mutex);
    qsizetype sent;
    if (m_type != SOCK_STREAM && !m_remoteIP.isEmpty()) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = qToBigEndian(m_remoteAddress);
        lock.unlock();
        sent =
            ::sendto(Native(m_handle), buffer, int(length), 0, reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
    } else {
        lock.unlock();
        sent = ::send(Native(m_handle), buffer, int(length), 0);
    }
    if (sent == length)
        return true;
    const int error = LastPlatformError();
    if (WouldBlock(error)) {
        // Tell OnDataSent once the socket can send again.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_writeNotifier)
                    m_writeNotifier->setEnabled(true);
            },
            Qt::QueuedConnection);
    }
    ReportError(SocketErrorCode(error));
    return false;
}

int TNxSocket::ReceiveBuffer(char *buffer, int length)
{
    ++m_reads;
    if (!IsOpen() || length < 0)
        return -1;
#ifdef Q_OS_WIN
    const int received = ::recv(Native(m_handle), buffer, length, 0);
#else
    const int received = int(::recv(Native(m_handle), buffer, size_t(length), MSG_DONTWAIT));
#endif
    if (received < 0) {
        const int error = LastPlatformError();
#ifdef Q_OS_WIN
        // A datagram longer than the buffer is cut, as the caller asked.
        if (error == WSAEMSGSIZE)
            return length;
#endif
        if (!WouldBlock(error))
            ReportError(SocketErrorCode(error));
        return -1;
    }
    return received;
}

int TNxSocket::BytesAvailable() const
{
    if (!IsOpen())
        return -1;
#ifdef Q_OS_WIN
    u_long waiting = 0;
    if (ioctlsocket(Native(m_handle), FIONREAD, &waiting) != 0)
        return -1;
    return int(waiting);
#else
    int waiting = 0;
    if (m_type == SOCK_STREAM)
        return ::ioctl(Native(m_handle), FIONREAD, &waiting) == 0 ? waiting : -1;
    // The size of the next datagram, whether or not the socket kind answers FIONREAD.
    char probe;
    const ssize_t size = ::recv(Native(m_handle), &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    return size < 0 ? -1 : int(size);
#endif
}

void TNxSocket::HandleReadReady()
{
    if (!IsOpen())
        return;
    QPointer<TNxSocket> self(this);
    m_readNotifier->setEnabled(false); // a handler that runs a nested loop must not re-enter
    for (int i = 0; i < MaxReadsPerNotification; ++i) {
        const int waiting = BytesAvailable();
        if (waiting < 1) {
            if (waiting == 0 && m_type != SOCK_STREAM)
                DiscardDatagram(); // an empty datagram still makes the socket readable
            break;
        }
        const quint64 readsBefore = m_reads;
        emit OnDataReady(this, waiting);
        if (!self)
            return;
        if (m_reads == readsBefore && m_type != SOCK_STREAM)
            DiscardDatagram();
    }
    m_readNotifier->setEnabled(true);
}

void TNxSocket::DiscardDatagram()
{
    char byte;
#ifdef Q_OS_WIN
    ::recv(Native(m_handle), &byte, 1, 0);
#else
    ::recv(Native(m_handle), &byte, 1, MSG_DONTWAIT);
#endif
}

void TNxSocket::HandleWriteReady()
{
    m_writeNotifier->setEnabled(false);
    emit OnDataSent(this);
}

void TNxSocket::ReportError(qint32 code)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_reported.contains(code))
            return;
        m_reported.insert(code);
    }
    // Emitted from the worker thread too: the owner's handlers then run queued on its own thread.
    emit OnError(ESocketError::MessageForCode(code));
}

void TNxSocket::ReportLastError()
{
    ReportError(SocketErrorCode(LastPlatformError()));
}

TNxPing::TNxPing(QObject *owner) : TNxSocket(owner, IPPROTO_ICMP) {}

QByteArray TNxPing::BuildEchoRequest(QByteArrayView payload)
{
    TByteWriter message(8);
    message.U8At(0, 8); // echo request
    message.U8At(4, 1); // identifier bytes 1, 0
    message.Add(payload);
    message.U16BEAt(2, InternetChecksum(message.Data()));
    return message.Data();
}

bool TNxPing::SendEcho(QByteArrayView payload)
{
    if (!Available())
        return false;
    const QByteArray message = BuildEchoRequest(payload);
    return SendBuffer(message.constData(), message.size());
}
