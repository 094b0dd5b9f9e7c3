#pragma once

#include "files/ConnectionInfo.h"
#include "files/FileInfo.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <memory>

class TNxEncryptedConnection;
class TNxEncryptedServer;

// Serves the shared files to any number of clients over the enciphered stream: the list,
// opening a file by its place in the list last sent, and 1024-byte blocks of it. Requests
// caused by a client never open a box: their failures are logged once per connection and
// reported through Problem.
class TFileServerEngine : public QObject
{
    Q_OBJECT
public:
    // Requests wait while more than this is queued for one client.
    static constexpr qint64 SendQueueLimit = 256 * 1024;
    static constexpr qint64 ReadAheadSize = 64 * 1024;

    struct TUser
    {
        QString Address;
        QString FileName; // the file it has open, if any
    };

    explicit TFileServerEngine(QObject *parent = nullptr);
    ~TFileServerEngine() override;

    TNxEncryptedServer &Server() const { return *m_server; }
    // False when the port cannot be had; ErrorString says why.
    bool Listen(const QHostAddress &address, quint16 port);
    QString ErrorString() const;
    // The port listened on, or the one asked for.
    quint16 Port() const;

    // Shares a file; returns an error text for the user, or an empty text.
    QString AddSharedFile(const QString &fileName);
    void RemoveSharedFile(const QString &fileName);
    // In list order: sorted by full name.
    const QList<std::shared_ptr<const TFileInfo>> &Files() const { return m_files; }
    QList<TUser> Users() const;
    // Held for the clients' streams: requests read and not yet handled, replies not yet
    // handed to the system. Bounded per client whatever the client does.
    qint64 BufferedBytes() const;

signals:
    void FilesChanged();
    void UsersChanged();
    void Problem(const QString &text);

private:
    void ServerConnect(TNxEncryptedConnection *connection);
    void ServerDisconnect(TNxEncryptedConnection *connection);
    void ServerRead(TNxEncryptedConnection *connection);
    void ServerWrite(TNxEncryptedConnection *connection);
    void Serve(TNxEncryptedConnection *connection, TConnectionInfo &info);
    // True when all it holds is handled, up to the start of a command.
    bool HandleCommands(TNxEncryptedConnection *connection, TConnectionInfo &info);
    void SendList(TConnectionInfo &info);
    void OpenListed(TNxEncryptedConnection *connection, TConnectionInfo &info, quint32 position);
    void SendBlock(TNxEncryptedConnection *connection, TConnectionInfo &info, quint32 block);
    static bool ReadListed(TConnectionInfo &info, qint64 offset, qint64 length, char *to);
    void CloseConnection(TNxEncryptedConnection *connection, TConnectionInfo &info);
    void LogOnce(TNxEncryptedConnection *connection, TConnectionInfo &info, const QString &kind, const QString &text);

    TNxEncryptedServer *m_server;
    QList<std::shared_ptr<const TFileInfo>> m_files;
    QHash<TNxEncryptedConnection *, std::shared_ptr<TConnectionInfo>> m_connections;
};
