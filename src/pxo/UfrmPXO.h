#pragma once

#include "chat/Server.h"
#include "chat/UfrmChat.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QLoggingCategory>
#include <QPointer>

// The PXO lobby: logs in to the user tracker, lists the game servers the game tracker
// names, and chats on the PXO chat server.
class QMenu;
class QAction;
class QTreeWidget;
class QTreeWidgetItem;
class QSplitter;
class QTimer;
class QLabel;
class QLineEdit;
class TServerRowItem;
class QProcess;
class QPushButton;

class TfrmPXO : public TfrmChat, public TServerListForm
{
    Q_OBJECT
public:
    // The server list stops growing here, so spoofed game lists cannot exhaust memory.
    static constexpr int MaxServers = 5000;
    static constexpr int MaxLoginTries = 10;

    explicit TfrmPXO(QWidget *parent = nullptr, bool load = true);
    ~TfrmPXO() override;

    // Controls of the server list
    QSplitter *splGames = nullptr;
    QWidget *pnlGames = nullptr;
    QTreeWidget *lvwServers;
    QLabel *lblGameRunning; // shown while a game runs
    QMenu *pumServer;
    QAction *mnuJoinGame;
    QAction *mnuServerInfo;
    QAction *mnuAutojoin;
    QAction *mnuPingServer;
    QAction *mnuServersRefreshAll;
    QAction *Serializedping1;
    QAction *DownloadLevel1;
    QAction *mnuJoinDirectIP;
    QAction *mnuTogglePrefered;
    QPushButton *btnJoinPrivateChannel;
    QAction *JoinPrivatechannel1;
    QTimer *TimerServers;
    QTimer *TimerPing;
    QLineEdit *edtServerFilter = nullptr;

    QString Alias;
    bool AutoJoinBusy = false;
    // Game-list acknowledgements go to this port of the game tracker in both game variants.
    quint16 GameListAckPort = 3445;

    void Login(const QString &loginName, const QString &password, const QString &alias);
    void LoginAttempt();
    void UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port) override;
    void HandlePing(const QString &line) override;
    void NickInUse() override;
    void RequestGameList();
    void RequestStats(const QString &displayName, const QString &trackerId) override;

    TServer *FindServer(const QString &ip, quint16 port) const;
    // False when nothing was added: no address, already listed, or the list is full.
    bool AddServer(const QString &ip, quint16 port);
    void RemoveServer(TServer *server);
    void ClearServers();
    // Brings the server list in line with Servers; nothing while a game list is applied.
    virtual void RefreshServerList();
    // The same for one server whose values changed (a reply): its row only, moved to its
    // place when the list is kept sorted.
    void RefreshServer(TServer *server);
    TServer *SelectedServer() const;
    // The row of a server, or null when it has none (hidden or not listed).
    QTreeWidgetItem *RowOf(TServer *server) const { return m_rows.value(server); }
    void SortServerList();
    void RemoveSilentServers();
    void QueryAllServers();
    void PingAllServers();
    // Replies dropped because they came from the wrong sender.
    quint32 RefusedReplies() const { return m_refusedReplies; }
    // A game-info reply of Server continues a serialized ping.
    void ContinueSerialPing(TServer *server);
    void AutoJoinServer(TServer *server);
    // A server joined by hand ends every wait for auto-join.
    void StopAutoJoin();
    // Hides the rows the quick filter does not match.
    void ApplyQuickFilter();
    // The same for one row (a reply changed it).
    void ApplyQuickFilterTo(QTreeWidgetItem *row);
    // Preferred servers no longer listed, shown gray as "offline" (names, sorted).
    QStringList OfflineServers() const;
    // Whether the server's level is in the game's missions folder.
    void CheckLevel(TServer *server);
    void SetTimersEnabled(bool enabled) override;
    void mnuPingServerClick();
    void mnuServersRefreshAllClick();
    void mnuTogglePreferedClick();
    void lvwServersDblClick();
    // "Download level": asks the server where its level is; only the reply to such a
    // request opens a download.
    void DownloadLevelClick();
    // A level arrived: every server's level is checked again.
    void LevelArrived();
    // Asks for a name and joins its private channel, or brings its open tab forward.
    void JoinPrivateChannel();
    void JoinPrivateChannelNamed(const QString &channel);
    // Runs the pop-up item whose accelerator is Key (lower case); false when none has it.
    bool RunAccelerator(QChar key);

    // Joining: refused with a note while a game runs.
    void JoinServer(TServer *server);
    void JoinDirectIP();
    // A join link: asks first, then joins Host:Port as a listed server or directly.
    void JoinLink(const QString &host, quint16 port);
    // Starts the game; the lobby stays inert (no chat, no queries, port released) until it
    // ends, then logs in again.
    void LaunchGame(const QString &ip, quint16 port, const QStringList &params);
    bool GameRunning() const { return m_game != nullptr; }
    quint16 LobbyPort() const { return m_lobbyPort; }

    // TServerListForm
    QString ServersVersionText() const override;
    bool IsPreferedServer(const QString &name) const override;
    void SetInfoPort(quint16 port) override { InfoPort = port; }
    void UpdateServerInfo(TServer *server) override;

    // The player window follows the user's statistics, ping and client build.
    void UserInfoChanged(TUser *user) override;
    // Runs "Who is?" on the double-clicked user.
    void sgrUsersDblClick(TChat *chat) override;

signals:
    // After every change of the server list (tests and the list view wait on it).
    void ServersChanged();

protected:
    void Loaded() override;
    void TCPConnect() override;
    // Adds the height of the server list pane to the chat form's window settings.
    void LoadSaveWindowSettings(bool save) override;
    // Ports of the game variant, set before the lobby's own load step.
    virtual void SetPorts() {}
    // Replies of game servers (status, game info, player list, level address); their
    // decoders live with the information windows.
    virtual void HandleServerReply(QByteArrayView datagram, const QString &ip, quint16 port);

    // Counts and says a reply dropped for its sender.
    void RefuseReply(const QLoggingCategory &category, const QString &ip, quint16 port, const char *what);

private:
    bool FromTracker(const QString &trackerHost, quint16 trackerPort, const QString &ip, quint16 port) const;
    void HandleLoginAccepted(QByteArrayView datagram);
    void HandleStatsReply(QByteArrayView datagram);
    void HandleGameList(QByteArrayView datagram);
    void ShowLoginFailed();
    void SendToUserTracker(const QByteArray &bytes);
    void CreateServerList();
    void CreatePrivateChannelControls();
    void CreateQuickFilter();
    QTreeWidgetItem *NewOfflineRow(const QStringList &cells);
    void KeepOffline(const TServer *server);
    void DropOffline(const QString &name);
    void ShowServerPopup(const QPoint &pos);
    void UpdateRow(QTreeWidgetItem *row, TServer *server, bool isNew, bool &captionChanged);
    void ApplyServerTimers();
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool RefuseWhileInGame();
    void SetLobbyInert(bool inert);
    void GameEnded(QProcess *game, const QString &error);
    void LeaveGameRunning();
    // Adds, rewrites or takes away Server's row after applying Filter; the row, or null.
    QTreeWidgetItem *SyncRow(TServer *server, const TServerFilter &filter, bool &resort, bool &joinable);
    bool InOrder(QTreeWidgetItem *row) const;
    void PlaceRow(QTreeWidgetItem *row);
    bool m_capReported = false;
    quint32 m_refusedReplies = 0;
    bool m_listSorted = true; // every row is where a sort would put it
    QProcess *m_game = nullptr;
    quint16 m_lobbyPort = 0;
    QHash<TServer *, QTreeWidgetItem *> m_rows;
    QHash<QString, QTreeWidgetItem *> m_offline; // by upper-case name
    bool m_clearingServers = false;
    QHash<QString, QList<TServer *>> m_serversByIp; // in list order
};

class TfrmDescent : public TfrmPXO
{
    Q_OBJECT
public:
    explicit TfrmDescent(QWidget *parent = nullptr);

protected:
    void SetPorts() override;
};

class TfrmFreespace : public TfrmPXO
{
    Q_OBJECT
public:
    explicit TfrmFreespace(QWidget *parent = nullptr);

protected:
    void SetPorts() override;
};
