#include "files/FileServerEngine.h"

#include "base/Log.h"
#include "files/FileCommandParser.h"
#include "files/FileProtocol.h"
#include "net/NxEncryptedSocket.h"

#include <QFileInfo>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cstring>

namespace {
QString PeerText(TNxEncryptedConnection *connection)
{
    const QTcpSocket *socket = connection->Socket();
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

// The base name by every separator a peer or a platform may use, so no path leaks.
qsizetype NameStart(const QString &fileName)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < fileName.size(); ++i) {
        const QChar c = fileName.at(i);
        if (c == u'/' || c == u'\\' || c == u':')
            start = i + 1;
    }
    return start;
}
} // namespace

TFileServerEngine::TFileServerEngine(QObject *parent) : QObject(parent), m_server(new TNxEncryptedServer(this))
{
    connect(m_server, &TNxEncryptedServer::OnConnect, this, &TFileServerEngine::ServerConnect);
    connect(m_server, &TNxEncryptedServer::OnDisconnect, this, &TFileServerEngine::ServerDisconnect);
    connect(m_server, &TNxEncryptedServer::OnRead, this, &TFileServerEngine::ServerRead);
    connect(m_server, &TNxEncryptedServer::OnWrite, this, &TFileServerEngine::ServerWrite);
}

TFileServerEngine::~TFileServerEngine()
{
    m_server->disconnect(this);
}

bool TFileServerEngine::Listen(const QHostAddress &address, quint16 port)
{
    m_server->SetListenAddress(address);
    m_server->SetPort(port);
    return m_server->Open();
}

QString TFileServerEngine::ErrorString() const
{
    return m_server->ErrorString();
}

quint16 TFileServerEngine::Port() const
{
    return m_server->Port();
}

QString TFileServerEngine::AddSharedFile(const QString &fileName)
{
    const QFileInfo about(fileName);
    if (about.isDir())
        return QStringLiteral("Cannot share %1: it is a folder.").arg(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot share %1: %2").arg(fileName, file.errorString());
    const qint64 size = file.size();
    file.close();
    if (size > FileProtocol::MaxFileSize)
        return QStringLiteral("Cannot share %1: files over %2 bytes cannot be sent.")
            .arg(fileName)
            .arg(FileProtocol::MaxFileSize);
    const qsizetype start = NameStart(fileName);
    auto info = std::make_shared<TFileInfo>();
    info->Path = fileName.left(start);
    info->Name = fileName.mid(start);
    info->Size = qint32(size);
    if (info->Name.isEmpty())
        return QStringLiteral("Cannot share %1: it has no file name.").arg(fileName);
    const auto at = std::lower_bound(m_files.cbegin(), m_files.cend(), fileName,
                                     [](const auto &entry, const QString &name) { return entry->FullName() < name; });
    if (at != m_files.cend() && (*at)->FullName() == fileName)
        return {}; // shared already
    m_files.insert(at, std::move(info));
    emit FilesChanged();
    return {};
}

void TFileServerEngine::RemoveSharedFile(const QString &fileName)
{
    const auto removed = std::remove_if(m_files.begin(), m_files.end(),
                                        [&fileName](const auto &entry) { return entry->FullName() == fileName; });
    if (removed == m_files.end())
        return;
    m_files.erase(removed, m_files.end());
    emit FilesChanged();
}

qint64 TFileServerEngine::BufferedBytes() const
{
    qint64 bytes = 0;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        const QTcpSocket *socket = it.key()->Socket();
        bytes += it.value()->Pending.size() + it.value()->Outgoing.size() + socket->bytesAvailable() +
                 socket->bytesToWrite();
    }
    return bytes;
}

QList<TFileServerEngine::TUser> TFileServerEngine::Users() const
{
    QList<TUser> users;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
        users << TUser{PeerText(it.key()), it.value()->FileOpen ? it.value()->File.fileName() : QString()};
    std::sort(users.begin(), users.end(), [](const TUser &a, const TUser &b) { return a.Address < b.Address; });
    return users;
}

void TFileServerEngine::ServerConnect(TNxEncryptedConnection *connection)
{
    m_connections.insert(connection, std::make_shared<TConnectionInfo>());
    // Replies are small and the client waits for each: no coalescing delay.
    connection->Socket()->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Whatever way the connection ends, its state goes with it.
    connect(connection, &QObject::destroyed, this, [this, connection] {
        if (m_connections.remove(connection))
            emit UsersChanged();
    });
    emit UsersChanged();
}

void TFileServerEngine::ServerDisconnect(TNxEncryptedConnection *connection)
{
    if (m_connections.remove(connection))
        emit UsersChanged();
}

void TFileServerEngine::ServerRead(TNxEncryptedConnection *connection)
{
    // Held here: the connection may go while its requests are handled.
    const std::shared_ptr<TConnectionInfo> info = m_connections.value(connection);
    if (!info || info->Paused || info->Closing)
        return; // paused: the bytes wait in the socket until the queue drains
    Serve(connection, *info);
}

void TFileServerEngine::ServerWrite(TNxEncryptedConnection *connection)
{
    const std::shared_ptr<TConnectionInfo> info = m_connections.value(connection);
    if (!info || !info->Paused || info->Closing)
        return;
    info->Paused = false;
    // Queued: the queue may drain inside the flush at the end of handling commands.
    QMetaObject::invokeMethod(
        this,
        [this, connection, weak = std::weak_ptr<TConnectionInfo>(info)] {
            const std::shared_ptr<TConnectionInfo> info = weak.lock();
            if (!info || info->Paused || info->Closing || m_connections.value(connection) != info)
                return;
            Serve(connection, *info);
        },
        Qt::QueuedConnection);
}

void TFileServerEngine::Serve(TNxEncryptedConnection *connection, TConnectionInfo &info)
{
    // The requests held back by a full queue come first, and the socket is read only once
    // they are all handled: a client that asks faster than it reads then waits in the
    // socket's capped buffer and the system's, never in a buffer here that would grow by
    // a socketful each time the queue drains.
    if (HandleCommands(connection, info)) {
        info.Pending += m_server->ReceiveText(connection);
        HandleCommands(connection, info);
    }
}

bool TFileServerEngine::HandleCommands(TNxEncryptedConnection *connection, TConnectionInfo &info)
{
    const QPointer<TNxEncryptedConnection> alive(connection);
    qsizetype at = 0;
    bool handled = false; // all but the start of a command
    while (alive && !info.Closing) {
        if (at == info.Pending.size()) {
            handled = true;
            break;
        }
        if (connection->Socket()->bytesToWrite() + info.Outgoing.size() > SendQueueLimit) {
            info.Paused = true;
            break;
        }
        const TParsedFileCommand parsed = ParseFileCommand(QByteArrayView(info.Pending).sliced(at));
        if (parsed.status == TParsedFileCommand::Status::Incomplete) {
            handled = true;
            break;
        }
        at += parsed.frameSize;
        if (parsed.status == TParsedFileCommand::Status::Bad) {
            LogOnce(connection, info, QStringLiteral("command"),
                    QStringLiteral("unknown command byte %1 skipped").arg(quint8(info.Pending.at(at - 1))));
            continue;
        }
        switch (parsed.command.kind) {
        case TFileCommand::Kind::List:
            SendList(info);
            break;
        case TFileCommand::Kind::Open:
            OpenListed(connection, info, parsed.command.value);
            break;
        case TFileCommand::Kind::Block:
            SendBlock(connection, info, parsed.command.value);
            break;
        case TFileCommand::Kind::Padding:
            break;
        }
    }
    info.Pending.remove(0, at);
    if (!alive)
        return false;
    if (!info.Outgoing.isEmpty()) {
        // One send for the whole batch, handed to the system now: the client waits for it.
        // The queue may drain inside the flush and lift a pause at once.
        m_server->SendText(connection, info.Outgoing);
        info.Outgoing.clear();
        connection->Socket()->flush();
    }
    return handled && alive && !info.Closing;
}

void TFileServerEngine::SendList(TConnectionInfo &info)
{
    QList<FileProtocol::TListedFile> files;
    info.Listed.clear();
    for (const auto &entry : std::as_const(m_files)) {
        const QByteArray name = FileProtocol::EncodeName(entry->Name);
        if (name.isEmpty() || name.size() > FileProtocol::MaxNameBytes || name.contains('\0'))
            continue; // a client could not take it
        files << FileProtocol::TListedFile{name, entry->Size};
        info.Listed << entry;
    }
    info.Outgoing += FileProtocol::ListReply(files);
}

void TFileServerEngine::OpenListed(TNxEncryptedConnection *connection, TConnectionInfo &info, quint32 position)
{
    if (info.FileOpen) {
        info.File.close();
        info.FileOpen = false;
        emit UsersChanged();
    }
    const std::shared_ptr<const TFileInfo> entry =
        position < quint32(info.Listed.size()) ? info.Listed.at(qsizetype(position)).lock() : nullptr;
    if (!entry) {
        LogOnce(connection, info, QStringLiteral("position"),
                QStringLiteral("asked to open list position %1, which is not (or no longer) shared").arg(position));
        return;
    }
    info.File.setFileName(entry->FullName());
    info.ReadAhead.clear();
    if (!info.File.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        LogOnce(connection, info, QStringLiteral("open ") + entry->FullName(),
                QStringLiteral("cannot open %1: %2").arg(entry->FullName(), info.File.errorString()));
        return;
    }
    info.FileOpen = true;
    info.FileSize = entry->Size;
    emit UsersChanged();
}

void TFileServerEngine::SendBlock(TNxEncryptedConnection *connection, TConnectionInfo &info, quint32 block)
{
    if (!info.FileOpen) {
        LogOnce(connection, info, QStringLiteral("block"), QStringLiteral("asked for a block with no file open"));
        return;
    }
    const qint64 length = FileProtocol::BlockLength(info.FileSize, block);
    QByteArray &out = info.Outgoing;
    const qsizetype start = out.size();
    out += FileProtocol::BlockReplyHeader(block);
    if (length > 0) {
        const qsizetype header = out.size();
        out.resize(header + length);
        if (!ReadListed(info, qint64(block) * FileProtocol::BlockSize, length, out.data() + header)) {
            out.truncate(start);
            // Fewer bytes than listed would put the client's stream out of step.
            LogOnce(connection, info, QStringLiteral("short"),
                    QStringLiteral("%1 no longer holds the %2 bytes listed; connection closed")
                        .arg(info.File.fileName())
                        .arg(info.FileSize));
            CloseConnection(connection, info);
        }
    }
}

bool TFileServerEngine::ReadListed(TConnectionInfo &info, qint64 offset, qint64 length, char *to)
{
    if (offset < info.ReadAheadAt || offset + length > info.ReadAheadAt + info.ReadAhead.size()) {
        // Never past the listed size: what the file holds beyond it is not served.
        const qint64 want = qMax(length, qMin(ReadAheadSize, info.FileSize - offset));
        info.ReadAhead.resize(want);
        const qint64 got = info.File.seek(offset) ? info.File.read(info.ReadAhead.data(), want) : -1;
        info.ReadAhead.resize(qMax<qint64>(got, 0));
        info.ReadAheadAt = offset;
        if (got < length)
            return false;
    }
    std::memcpy(to, info.ReadAhead.constData() + (offset - info.ReadAheadAt), size_t(length));
    return true;
}

void TFileServerEngine::CloseConnection(TNxEncryptedConnection *connection, TConnectionInfo &info)
{
    info.Closing = true;
    info.Pending.clear();
    // The complete replies before this one still go out.
    m_server->SendText(connection, info.Outgoing);
    info.Outgoing.clear();
    // Not from inside the read handler: the disconnect would free the connection under it.
    QMetaObject::invokeMethod(
        connection->Socket(),
        [socket = QPointer<QTcpSocket>(connection->Socket())] {
            if (socket)
                socket->disconnectFromHost();
        },
        Qt::QueuedConnection);
}

void TFileServerEngine::LogOnce(TNxEncryptedConnection *connection, TConnectionInfo &info, const QString &kind,
                                const QString &text)
{
    if (info.Logged.contains(kind))
        return;
    info.Logged.insert(kind);
    const QString line = QStringLiteral("File server, client %1: %2").arg(PeerText(connection), text);
    Log::Dropped(lcFiles(), PeerText(connection), text);
    emit Problem(line);
}
