#pragma once

// What a lobby queued for the trackers, read with the simulator's decoders: "login NAME/PASSWORD",
// "stats NAME/ID", "ack login|stats VALUE", "list request" or "list ack VALUE", then every byte
// that differs from its layout in brackets, then "@HOST:PORT".
#include "servers/UDPQueue.h"
#include "sim/TrackerDatagrams.h"

inline QString SentText(const TUDPPacket &p)
{
    using namespace TrackerDatagrams;
    QString what = QStringLiteral("?");
    QStringList deviations;
    switch (Classify(p.Data)) {
    case TKind::LoginRequest: {
        const TLoginRequest r = DecodeLoginRequest(p.Data);
        std::tie(what, deviations) = std::tuple("login " + r.name + '/' + r.password, r.deviations);
        break;
    }
    case TKind::StatsRequest: {
        const TStatsRequest r = DecodeStatsRequest(p.Data);
        std::tie(what, deviations) = std::tuple("stats " + r.displayName + '/' + r.trackerId, r.deviations);
        break;
    }
    case TKind::UserAck: {
        const TUserAck r = DecodeUserAck(p.Data);
        what = QStringLiteral("ack %1 %2").arg(r.forReply == TUserAck::TFor::Login ? "login" : "stats").arg(r.value);
        deviations = r.deviations;
        break;
    }
    case TKind::ListRequest:
        std::tie(what, deviations) = std::tuple(QStringLiteral("list request"), DecodeListRequest(p.Data).deviations);
        break;
    case TKind::ListAck: {
        const TListAck r = DecodeListAck(p.Data);
        std::tie(what, deviations) = std::tuple(QStringLiteral("list ack %1").arg(r.value), r.deviations);
        break;
    }
    default:
        break;
    }
    return what + (deviations.isEmpty() ? QString() : " [" + deviations.join(", ") + u']') + u'@' + p.Host + u':' +
           QString::number(p.Port);
}

// Everything waiting in a paused queue.
inline QStringList SentTexts(const TUDPQueue *queue)
{
    QStringList sent;
    for (const TUDPPacket &p : queue->Waiting())
        sent << SentText(p);
    return sent;
}
