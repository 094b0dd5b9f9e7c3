#pragma once

#include "chat/EchoReply.h"

#include <QString>
#include <QtGlobal>

#include <optional>

class TNxPing;
class TUDPQueue;

// Queues an echo for a chat user: the 40-byte payload with Tick, our marker and the nick,
// as an echo (no owner, port 0) to Host. False when nothing was queued: no host, no
// ICMP on this system, or the queue refused it. The form then sends the client probe
// through the main window and clears the user's PingPending.
bool PingUser(TUDPQueue &queue, const QString &nick, const QString &host, quint32 tick);

// Reads the waiting reply from the pinger (its OnDataReady, on the UI thread). Gives the
// nick and the tick the echo was queued at when the reply is one of ours; the form finds
// the user and calls SetPingResult(SentTick, the reply tick taken before reading).
std::optional<EchoReply::TEchoReply> TakeEchoReply(TNxPing &pinger);
