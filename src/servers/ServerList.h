#pragma once

#include "servers/Server.h"
#include "servers/UDPQueue.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

// The game servers of one lobby and the rules that keep them: found by address, at most
// MaxServers of them, silent ones dropped, pinged a few at a time, and changed only by replies
// from their own address and port (a status reply from the query port of the server whose
// information was asked for last). It owns its servers; a window shows them and is told
// what changed.
class TServerList : public QObject
{
    Q_OBJECT
public:
    // Spoofed game lists cannot grow the list past this.
    static constexpr int MaxServers = 5000;

    explicit TServerList(TUDPQueue *queue, QObject *parent = nullptr);
    // Frees the servers without a word: ClearServers first where windows show them.
    ~TServerList() override;

    TUDPQueue *Queue() const { return m_queue; }
    // The text the game-version setting shows, asked at every game-info request.
    std::function<QString()> VersionText;
    quint32 VersionCode() const;
    // The port of the server whose information was asked for last.
    quint16 InfoPort = 0;

    const QList<TServer *> &Servers() const { return m_servers; }
    // The first server at Ip with Port, in list order; Port 0 matches any port.
    TServer *FindServer(const QString &ip, quint16 port) const;
    // Adds a server and asks it for its game info and players; null when nothing was added (no
    // address, already listed, or the list is full).
    TServer *AddServer(const QString &ip, quint16 port);
    void RemoveServer(TServer *server);
    void ClearServers();
    void RemoveSilentServers();
    // Drops the silent servers, then asks every other one for its game info.
    void QueryAllServers();
    // The serialized ping: max(3, servers div 5) at once, each reply asks the next.
    void PingAllServers();
    // "Server info": its players and status are asked for, InfoChanged follows at once.
    void ShowInfo(TServer *server);
    // Asks where the server's level can be fetched; only the answer to this opens a download.
    void RequestLevel(TServer *server);

    // A game-server reply (status, game info, player list, level address) from Ip:Port,
    // received at ReplyTick. False when the datagram is none of these.
    bool Feed(QByteArrayView datagram, const QString &ip, quint16 port, quint32 replyTick);
    // Replies dropped because they came from the wrong sender.
    quint32 RefusedReplies() const { return m_refused; }

signals:
    void ServerAdded(TServer *server);
    // A game-info reply was applied: name, counts, ping.
    void ServerChanged(TServer *server);
    // Players or status changed, or the user asked for the information.
    void InfoChanged(TServer *server);
    // The server is about to be freed: whoever shows it forgets it now.
    void ServerRemoved(TServer *server);
    // The answer to RequestLevel: the level's address, or an empty text when it gave none.
    void LevelAddressReceived(TServer *server, const QString &address);
    // The list reached MaxServers; said once.
    void ListFull(int maxServers);

private:
    void ContinueSerialPing(TServer *server);
    void Refuse(const QString &ip, quint16 port, const char *what);

    QPointer<TUDPQueue> m_queue;
    QList<TServer *> m_servers;
    QHash<QString, QList<TServer *>> m_byIp; // in list order
    // No server before this index waits for its turn in a serialized ping.
    qsizetype m_pingCursor = 0;
    quint32 m_refused = 0;
    bool m_fullReported = false;
};
