#pragma once

// Socket helpers shared by the simulated trackers and servers.

#include <QHostAddress>
#include <QJsonObject>
#include <QStringList>

class QUdpSocket;

constexpr int SimMaxDatagram = 4096;

// Binds to one loopback address only: the simulator answers unauthenticated datagrams with
// larger ones and must not be reachable from outside this machine.
bool BindLoopbackUdp(QUdpSocket &socket, const QHostAddress &address, quint16 port, QString *error);

QString Endpoint(const QHostAddress &address, quint16 port);

// One line of the event log: which part got which datagram from whom, and how it differed from
// its layout. Deviations also go to the diagnostic output, since they mean a faulty peer.
QJsonObject DatagramEvent(const QString &to, const QString &kind, const QHostAddress &from, quint16 port,
                          const QStringList &deviations);
