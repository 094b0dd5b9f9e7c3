#pragma once

#include "servers/Server.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

// What a game server told about itself: its game-info, status and player-list replies.
// When the server leaves the list the window keeps its last values until it is closed.
class TfrmPXOServerInfo : public QWidget
{
    Q_OBJECT
public:
    // Writes the grid header, clears the server's InfoRequested, then shows what is known.
    explicit TfrmPXOServerInfo(TServer *server, QWidget *parent = nullptr);
    ~TfrmPXOServerInfo() override;

    // The open window showing Server, if any.
    static TfrmPXOServerInfo *FindFor(const TServer *server);
    // Refreshes the server's window, or opens one when the user asked for it (InfoRequested).
    static void UpdateServerInfo(TServer *server);
    // Tells every open window; called before the server is freed.
    static void ServerRemoved(TServer *server);
    // "0" reads "No", "1" reads "Yes", anything else nothing.
    static QString YesNo(QChar c);

    // Fills the caption, labels and grid from Server when it is this window's server; brings
    // the window to the front when the user asked again.
    Q_INVOKABLE void ShowServerInfo(TServer *server);
    // The server is about to be freed: forget it, keep showing its last values.
    Q_INVOKABLE void NotifyServerRemoved(TServer *server);
    Q_INVOKABLE bool RefersTo(const TServer *server) const;
    TServer *Server() const { return m_server; }

    QLabel *lblLevelPack;
    QLabel *lblDescription;
    QLabel *lblGameType;
    QLabel *lblLevel;
    QLabel *lblPlayers;
    QLabel *lblMaxPlayers;
    QLabel *lblDifficulty;
    QLabel *lblBrightShips;
    QLabel *LblAccCollisions;
    QLabel *LblRandomPowerup;
    QLabel *lblVersion;
    QLabel *LblPing;
    QTableWidget *sgrPlayers;
    QPushButton *btnClose;

private:
    void FillPlayers(const QList<TServerUser *> &players);
    void BringToFront();

    TServer *m_server;
};
