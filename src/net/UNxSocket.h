#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <exception>

class QSocketNotifier;

// A socket error with its English sentence. Codes are those of Windows Sockets; errors of
// other platforms are mapped to them first (SocketErrorCode).
class ESocketError : public std::exception
{
public:
    explicit ESocketError(const QString &message);
    static ESocketError CreateFromCode(qint32 code);
    static QString MessageForCode(qint32 code);
    const char *what() const noexcept override { return m_what.constData(); }

    QString Message;

private:
    QByteArray m_what;
};

// The Windows Sockets code for a platform error number (errno); unknown numbers give 0.
qint32 SocketErrorCode(int platformError);

// The Internet checksum (RFC 1071) of Bytes, as the big-endian 16-bit value to store.
quint16 InternetChecksum(QByteArrayView bytes);

// One raw or datagram socket for an IP protocol, watched on the thread that created it.
// RemoteIP and the send operations may be called from one other thread (the datagram
// worker); errors never open a box: each kind is reported once through OnError, delivered
// on the owner's thread.
class TNxSocket : public QObject
{
    Q_OBJECT
public:
    TNxSocket(QObject *owner, qint32 protocol);
    ~TNxSocket() override;
    TNxSocket(const TNxSocket &) = delete;
    TNxSocket &operator=(const TNxSocket &) = delete;

    bool IsOpen() const { return m_handle != InvalidHandle; }
    qintptr SocketHandle() const { return m_handle; }
    qint32 Protocol() const { return m_protocol; }
    // Why the socket could not be opened; empty when it is open.
    QString OpenError() const { return m_openError; }

    QString RemoteIP() const;
    // Chooses the peer: a numeric IPv4 address, or empty for none. Only a change does any
    // work; a text that is no address is reported and the old value stays (false).
    bool SetRemoteIP(const QString &ip);

    bool SendBuffer(const char *buffer, qsizetype length);
    // One datagram into Buffer (cut to Length); -1 when nothing could be read.
    int ReceiveBuffer(char *buffer, int length);
    // Size of the next waiting datagram (bytes waiting on a stream), -1 when none.
    int BytesAvailable() const;

    // What a read notification does: OnDataReady for each waiting datagram. A datagram
    // the handler leaves unread is dropped, so the notification cannot fire for ever.
    void HandleReadReady();

    // True for a raw socket: what it receives starts with the IP header.
    bool IsRaw() const { return m_raw; }

    static constexpr qintptr InvalidHandle = -1;

signals:
    void OnDataReady(TNxSocket *sender, int numberBytes);
    void OnDataSent(TNxSocket *sender);
    void OnError(const QString &message);
    // Emitted first by the destructor, before the socket closes: users on other threads
    // let go of it.
    void OnClosing();

protected:
    void ReportError(qint32 code);
    void ReportLastError();

private:
    void Open();
    void DiscardDatagram();
    void HandleWriteReady();

    qintptr m_handle = InvalidHandle;
    qint32 m_protocol = 0;
    int m_type = 0;
    bool m_raw = false;
    QString m_openError;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    quint64 m_reads = 0;

    mutable QMutex m_mutex; // guards what the worker thread touches
    QString m_remoteIP;
    quint32 m_remoteAddress = 0; // host order; meaningful when m_remoteIP is not empty
    QSet<qint32> m_reported;
};

// ICMP echo requests to one address at a time. Raw ICMP where the system allows it
// (replies then start with the IP header), else the unprivileged datagram ICMP socket
// (replies without IP header; the system sets the identifier). Where neither is
// allowed, Available is false and OnError tells it once.
class TNxPing : public TNxSocket
{
    Q_OBJECT
public:
    explicit TNxPing(QObject *owner);

    bool Available() const { return IsOpen(); }
    bool RepliesHaveIpHeader() const { return IsRaw(); }
    // Sends one echo request carrying Payload to RemoteIP.
    bool SendEcho(QByteArrayView payload);
    // Type 8, code 0, checksum, identifier bytes 1 0, sequence bytes 0 0, then Payload.
    static QByteArray BuildEchoRequest(QByteArrayView payload);
};
