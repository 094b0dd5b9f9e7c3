#pragma once

#include "servers/UDPThread.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QUdpSocket;
class TNxPing;
class TServer;

// One waiting datagram or echo.
struct TUDPPacket
{
    TServer *Owner = nullptr; // told when the packet leaves the queue
    quint8 Kind = 0;          // TUDPQueue::KindDatagram or KindEcho
    QString Host;
    quint16 Port = 0;
    quint16 Length = 0;
    QByteArray Data;       // Length bytes
    bool Repeated = false; // a request sent again anyway (game info, status)
};

// The datagram queue of one chat window: everything it sends to game servers, trackers
// and users goes through it, and one worker thread sends it, so that a slow
// send never holds up the window.
//
// The list changes only on the UI thread. The worker asks for work through the
// synchronised step (Step), which runs on the UI thread: it removes the packets the
// worker has finished with, tells their owners, and hands over the next batch. That
// hand-over is a queued call plus a wait on the worker's side, so Pause and the
// destructor never wait on a worker that waits on them. A packet with an owner opens
// its own batch, so that it leaves right when its owner's SentTick is taken.
//
// A packet whose host name is being looked up waits aside, and the packets behind it go on;
// it joins the end of the queue when the answer comes (and is skipped when there is none).
//
// Bounds: above Limit packets, the oldest waiting repeated request is dropped for each
// new packet (a new repeated request is refused when there is none); tracker datagrams
// and echoes are never dropped, but nothing at all is queued above HardLimit.
class TUDPQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr quint8 KindDatagram = 0; // from the form's datagram socket, so replies come back to it
    static constexpr quint8 KindEcho = 1;     // ICMP echo through the pinger
    static constexpr qsizetype MaxData = 4097;
    static constexpr qsizetype Limit = 10000;
    static constexpr qsizetype HardLimit = 50000;
    static constexpr qsizetype MaxBatch = 256;

    // Udp is the form's datagram socket and Pinger its ICMP component; either may be null.
    // Both must outlive the queue or be destroyed through their own signals (the queue
    // then stops using them first).
    TUDPQueue(QUdpSocket *udp, TNxPing *pinger, QObject *parent = nullptr);
    ~TUDPQueue() override;
    TUDPQueue(const TUDPQueue &) = delete;
    TUDPQueue &operator=(const TUDPQueue &) = delete;

    // False when the packet is refused: too long, or the queue is full.
    bool Enqueue(quint8 kind, TServer *owner, QByteArrayView data, quint16 port, const QString &host,
                 bool repeated = false);
    bool SendDatagram(const QString &host, quint16 port, QByteArrayView bytes)
    {
        return Enqueue(KindDatagram, nullptr, bytes, port, host);
    }
    const TUDPPacket *Peek() const { return m_packets.isEmpty() ? nullptr : &m_packets.first(); }
    // The packets waiting in order (not those whose host is being looked up).
    const QList<TUDPPacket> &Waiting() const { return m_packets; }
    qsizetype Count() const { return m_packets.size() + m_parkedCount; }
    bool Pending() const { return Count() > 0; }
    // Packets removed after the worker finished with them (sent, given up or skipped).
    quint32 SentCount() const { return m_sentCount; }
    // Packets dropped or refused: the queue was full, or the data too long.
    quint32 DroppedCount() const { return m_droppedCount; }
    // Packets given up after every attempt.
    quint32 FailedCount() const;
    // True while echoes can be sent at all.
    bool CanPing() const;

    // No waiting packet names Owner afterwards; call it before freeing the owner.
    void Forget(TServer *owner);

    // Returns once no send is in progress; nothing is sent until Resume, and the form's
    // datagram socket is no longer used, so it may be closed or rebound meanwhile.
    void Pause();
    void Resume();
    bool Paused() const { return m_paused; }

    // The synchronised step; the worker schedules it, nothing else needs to call it.
    void Step();

signals:
    void OnChange();

private:
    void ScheduleStep();
    void DequeueFirst();
    bool MakeRoom(bool newIsRepeated);
    void CountOwner(TServer *owner, int delta);
    // False while the host's address is still being looked up.
    bool Prepare(const TUDPPacket &packet, TSendItem &item);
    void Park(qsizetype index);
    void HostResolved(const QString &host);
    void RefreshUdpHandle();
    void ReleaseUdpHandle();
    void ReleasePinger();
    void WaitIdle();

    QList<TUDPPacket> m_packets;
    quint32 m_sentCount = 0;
    quint32 m_droppedCount = 0;
    qsizetype m_inFlight = 0; // packets at the head handed to the worker
    qsizetype m_repeated = 0; // repeated requests waiting
    QHash<TServer *, int> m_owners;
    bool m_paused = false;
    bool m_stepQueued = false;

    QPointer<QUdpSocket> m_udp;
    qintptr m_udpSource = -1; // the form's descriptor our duplicate was made from
    QPointer<TNxPing> m_pinger;

    QHash<QString, QList<TUDPPacket>> m_parked; // by the host name being looked up
    qsizetype m_parkedCount = 0;

    mutable TUDPShared m_shared;
    std::unique_ptr<TUDPThread> m_thread;
};
