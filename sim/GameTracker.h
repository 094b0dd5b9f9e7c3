#pragma once

// The simulated PXO game tracker: answers each game-list request with the listed servers, split
// over as many replies as needed, and checks each acknowledgement against the reply it belongs to.

#include "sim/SimCounters.h"
#include "sim/TrackerDatagrams.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <functional>

class TGameTracker : public QObject
{
    Q_OBJECT
public:
    using TEntrySource = std::function<QList<TrackerDatagrams::TListEntry>()>;

    // chunk: entries per reply, 1 to MaxListEntries.
    TGameTracker(quint32 seed, int chunk, TEntrySource entries, TSimCounters &counters, QObject *parent = nullptr);

    bool Bind(const QHostAddress &address, quint16 port, QString *error);
    // A second port on the same address that takes the same datagrams: clients send their
    // list acknowledgement to a fixed port, whatever port they asked the list from.
    bool BindAckPort(quint16 port, QString *error);
    QHostAddress Address() const { return m_socket.localAddress(); }
    quint16 Port() const { return m_socket.localPort(); }
    quint16 AckPort() const { return m_ackSocket.localPort(); }
    void SetSilent(bool silent) { m_silent = silent; }

signals:
    void Datagram(const QJsonObject &event);

private:
    void ReadPending(QUdpSocket &socket);
    void HandleRequest(QUdpSocket &socket, const QByteArray &data, const QHostAddress &from, quint16 port);
    void HandleAck(const QByteArray &data, const QHostAddress &from, quint16 port);

    int m_chunk;
    TEntrySource m_entries;
    TSimCounters &m_counters;
    TAckLedger m_acks;
    bool m_silent = false;
    QUdpSocket m_socket;
    QUdpSocket m_ackSocket;
};
