#include "sim/SimSocket.h"

#include <QJsonArray>
#include <QUdpSocket>

#include <cstdio>

bool BindLoopbackUdp(QUdpSocket &socket, const QHostAddress &address, quint16 port, QString *error)
{
    if (!address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol) {
        if (error)
            *error = QStringLiteral("%1 is not an IPv4 loopback address").arg(address.toString());
        return false;
    }
    if (!socket.bind(address, port)) {
        if (error)
            *error = QStringLiteral("cannot bind UDP %1: %2").arg(Endpoint(address, port), socket.errorString());
        return false;
    }
    return true;
}

QString Endpoint(const QHostAddress &address, quint16 port)
{
    return address.toString() + QLatin1Char(':') + QString::number(port);
}

QJsonObject DatagramEvent(const QString &to, const QString &kind, const QHostAddress &from, quint16 port,
                          const QStringList &deviations)
{
    QJsonObject event{{"event", "datagram"}, {"to", to}, {"kind", kind}, {"from", Endpoint(from, port)}};
    if (!deviations.isEmpty()) {
        event.insert("deviations", QJsonArray::fromStringList(deviations));
        std::fprintf(stderr, "orlo-pxo-sim: %s from %s to %s: %s\n", qPrintable(kind), qPrintable(Endpoint(from, port)),
                     qPrintable(to), qPrintable(deviations.join(QStringLiteral("; "))));
    }
    return event;
}
