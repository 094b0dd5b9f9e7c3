#include "net/InstanceChannel.h"

#include "base/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {
QString UserName()
{
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return user.isEmpty() ? QStringLiteral("user") : user;
}
} // namespace

TInstanceChannel::TInstanceChannel(const QString &key, QObject *parent) : QObject(parent)
{
    const QByteArray hash =
        QCryptographicHash::hash((UserName() + QLatin1Char('\n') + key).toUtf8(), QCryptographicHash::Sha256).toHex();
    m_name = QStringLiteral("orlo-") + QString::fromLatin1(hash.left(16));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_lockPath = QDir(folder).filePath(m_name + QStringLiteral(".lock"));
}

TInstanceChannel::~TInstanceChannel() = default;

bool TInstanceChannel::Listening() const
{
    return m_server && m_server->isListening();
}

bool TInstanceChannel::HandOverOrListen(const QString &message)
{
    // The lock spans "is one there? else listen", so two starts never both listen.
    QLockFile lock(m_lockPath);
    lock.setStaleLockTime(HandOverMs * 2);
    const bool locked = lock.tryLock(HandOverMs * 2);
    if (SendToRunning(message))
        return true;
    // Nobody answered: a socket left by an Orlo that crashed is in the way.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        Log::Dropped(lcNet(), m_name, QStringLiteral("cannot listen for later starts: ") + m_server->errorString());
    connect(m_server, &QLocalServer::newConnection, this, &TInstanceChannel::Accept);
    if (locked)
        lock.unlock();
    return false;
}

bool TInstanceChannel::SendToRunning(const QString &message)
{
    // Runs before any window exists, so a bounded wait holds nothing up.
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(HandOverMs))
        return false;
    const QByteArray line = message.toUtf8().left(MaxMessage - 1) + '\n';
    socket.write(line);
    if (!socket.waitForBytesWritten(HandOverMs))
        return false;
    while (!socket.canReadLine() && socket.waitForReadyRead(HandOverMs)) {
    }
    return socket.readLine().trimmed() == "ok";
}

void TInstanceChannel::Accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        Read(socket);
    }
}

void TInstanceChannel::Read(QLocalSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->read(MaxMessage + 1 - buffer.size());
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() > MaxMessage) {
            Log::Dropped(lcNet(), m_name, QStringLiteral("a later start sent more than one line allows"));
            m_buffers.remove(socket);
            socket->abort();
        }
        return;
    }
    const QString message = QString::fromUtf8(buffer.first(end)).trimmed();
    m_buffers.remove(socket);
    socket->write("ok\n");
    socket->disconnectFromServer();
    emit MessageReceived(message);
}
