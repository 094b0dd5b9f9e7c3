#pragma once

#include "chat/UfrmChat.h"

#include <QHash>
#include <QList>
#include <QPointer>

class QMenu;
class QAction;
class QTreeWidget;
class QTreeWidgetItem;
class QSplitter;
class QTimer;
class QLabel;
class QLineEdit;
class QProcess;
class QPushButton;
class TPxoTrackerClient;
class TServer;
class TServerList;
struct TServerFilter;

namespace TrackerPackets {
struct TStatsReply;
}

// The PXO lobby: a chat window on the PXO chat server that also shows the game servers. Its
// engines do the work: Tracker logs in and fetches the game list, ServerList keeps and asks
// the servers. The window renders the list in lvwServers, asks the user what to do, and runs
// the game.
class TfrmPXO : public TfrmChat
{
    Q_OBJECT
public:
    explicit TfrmPXO(QWidget *parent = nullptr, bool load = true);
    ~TfrmPXO() override;

    TPxoTrackerClient *const Tracker;
    TServerList *const ServerList;

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
    QAction *mnuCopyLink;
    QPushButton *btnJoinPrivateChannel;
    QAction *JoinPrivatechannel1;
    QTimer *TimerServers;
    QTimer *TimerPing;
    QLineEdit *edtServerFilter = nullptr;

    QString Alias;
    bool AutoJoinBusy = false;

    // Logs in to the user tracker; once it accepts, the chat connects.
    void Login(const QString &loginName, const QString &password, const QString &alias);
    // The datagram dispatcher: game-server replies to ServerList, tracker replies to Tracker.
    void UDPDataReceived(const QByteArray &datagram, const QString &ip, quint16 port) override;
    void HandlePing(const QString &line) override;
    void NickInUse() override;
    void RequestStats(const QString &displayName, const QString &trackerId) override;

    const QList<TServer *> &Servers() const;
    // Replies dropped because they came from the wrong sender, trackers' and servers'.
    quint32 RefusedReplies() const;

    // Brings the rows in line with the servers.
    virtual void RefreshServerList();
    // The same for one server whose values changed (a reply): its row only, moved to its
    // place when the list is kept sorted.
    void RefreshServer(TServer *server);
    TServer *SelectedServer() const;
    // The row of a server, or null when it has none (hidden or not listed).
    QTreeWidgetItem *RowOf(TServer *server) const { return m_rows.value(server); }
    void SortServerList();
    bool IsPreferred(const TServer *server) const;
    // The filter settings as the configuration shows them now.
    TServerFilter ServerFilter() const;
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
    // A join link: asks first, has the server tell its level, offers a missing level for
    // download, then joins as a listed server is joined.
    void JoinLink(const QString &host, quint16 port);
    // "Copy link": the selected server's join link on the clipboard.
    void CopyLinkClick();
    // Starts the game; the lobby stays inert (no chat, no queries, port released) until it
    // ends, then logs in again.
    void LaunchGame(const QString &ip, quint16 port, const QStringList &params);
    bool GameRunning() const { return m_game != nullptr; }

    // The player window follows the user's statistics, ping and client build.
    void UserInfoChanged(TUser *user) override;
    // Runs "Who is?" on the double-clicked user.
    void sgrUsersDblClick(TChat *chat) override;

protected:
    void Loaded() override;
    void TCPConnect() override;
    // Adds the height of the server list pane to the chat form's window settings.
    void LoadSaveWindowSettings(bool save) override;
    // Ports of the game variant, set before the lobby's own load step.
    virtual void SetPorts() {}

private:
    void WireEngines();
    void ApplyStats(const TrackerPackets::TStatsReply &stats);
    void ServerGoes(TServer *server);
    void JoinLinkedServer(const QString &ip, quint16 port);
    void ShowLoginFailed();
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
    bool m_listSorted = true; // every row is where a sort would put it
    QProcess *m_game = nullptr;
    // A link's server whose level is on its way: joined once it has arrived.
    struct TJoinAfterLevel
    {
        QString Ip;
        quint16 Port = 0;
    } m_joinAfterLevel;
    QHash<TServer *, QTreeWidgetItem *> m_rows;
    QHash<QString, QTreeWidgetItem *> m_offline; // by upper-case name
    bool m_clearingServers = false;
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
