#pragma once

#include "files/FileInfo.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>

#include <memory>

// What the file server keeps per client connection.
class TConnectionInfo
{
public:
    QFile File;
    bool FileOpen = false;
    // Listed size of the open file: blocks are cut from it, never from the file's
    // current length, so the stream stays in step with what the client expects.
    qint64 FileSize = 0;
    // Command bytes received and not yet handled: a command being assembled, or the
    // requests held back while the send queue is full.
    QByteArray Pending;
    // Bytes of the open file from ReadAheadAt on: one read of the disk serves many blocks.
    QByteArray ReadAhead;
    qint64 ReadAheadAt = 0;
    // Replies to the requests being handled, sent together once they are.
    QByteArray Outgoing;
    // The list as last sent on this connection: open requests are resolved against it,
    // and an entry removed from sharing since then has expired.
    QList<std::weak_ptr<const TFileInfo>> Listed;
    // Requests wait while too much is queued for sending.
    bool Paused = false;
    // The connection is being closed: nothing more is read or sent.
    bool Closing = false;
    // Problems already logged for this connection.
    QSet<QString> Logged;
};
