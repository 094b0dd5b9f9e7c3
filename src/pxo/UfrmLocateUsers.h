#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;
class TServer;
class TfrmPXO;

// Every player of every listed game server, with the server it plays on, so that a friend's
// game can be found and joined. Filled once; rows leave with their server.
class TfrmLocateUsers : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmLocateUsers(QWidget *parent = nullptr);
    ~TfrmLocateUsers() override;

    // Tells every open window, wherever it is shown; called before the server is freed.
    static void ServerRemoved(TServer *server);

    // One row per player of each server of Lobby that has a name (its game info arrived).
    void AddLobby(TfrmPXO *lobby);
    // The server is about to be freed: its rows go, the header keeps its count.
    void RemoveServerRows(TServer *server);
    // The server of the selected row, or null.
    TServer *SelectedServer() const;
    void mnuJoinGameClick();
    void mnuServerInfoClick();

    QTreeWidget *lvwUsers;
    QMenu *pumUsers;
    QAction *mnuJoinGame;
    QAction *mnuServerInfo;
    QPushButton *btnClose;

private:
    void UpdateHeader();

    QHash<TServer *, QPointer<TfrmPXO>> m_lobbies; // the lobby that lists each server shown
};
