#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TNxPing;
class TUDPQueue;

// One packet as the worker sends it, prepared on the UI thread.
struct TSendItem
{
    enum class TAction { Skip, Datagram, Echo };
    TAction Action = TAction::Skip;
    quint32 Address = 0; // IPv4, host order
    quint16 Port = 0;
    QString AddressText; // the same address as dotted text, for the pinger
    QByteArray Data;
};

// What the queue and its worker share; every field is guarded by Mutex. Standard
// primitives rather than Qt's, so that a thread checker sees every hand-over.
struct TUDPShared
{
    std::mutex Mutex;
    std::condition_variable Wake; // a batch was handed over, or the worker must stop
    std::condition_variable Idle; // the worker finished a send

    QList<TSendItem> Batch; // handed over by the UI step
    bool Busy = false;      // a batch is handed over and not yet finished
    qsizetype Done = 0;     // packets the worker finished with in its last batch
    quint32 Failed = 0;     // packets given up after every attempt
    bool Sending = false;   // a send call is running on the worker
    std::atomic<bool> Stop{false};
    std::atomic<bool> Paused{false};

    qintptr UdpHandle = -1; // the queue's own duplicate of the form's datagram socket
    int UdpFamily = 0;      // that socket's address family
    TNxPing *Pinger = nullptr;
};

// The datagram worker: sends each batch the queue hands over, one packet at a time, and
// asks the UI thread for the next batch when done. Sockets owned by the UI thread are
// used only through OS calls (sendto on a duplicated descriptor), never through Qt.
class TUDPThread
{
public:
    static constexpr int MaxAttempts = 4;

    TUDPThread(TUDPQueue *queue, TUDPShared &shared);
    // Stops the worker (at most one send call away) and waits for it.
    ~TUDPThread();
    TUDPThread(const TUDPThread &) = delete;
    TUDPThread &operator=(const TUDPThread &) = delete;

private:
    void Run();
    bool SendDatagram(const TSendItem &item, qintptr handle, int family);
    bool SendEcho(const TSendItem &item, TNxPing *pinger);
    bool GiveUp() const { return m_shared.Stop.load() || m_shared.Paused.load(); }

    TUDPQueue *m_queue;
    TUDPShared &m_shared;
    std::thread m_thread;
};
