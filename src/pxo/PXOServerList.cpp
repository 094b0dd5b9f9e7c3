// The lobby's server list: rows kept in step with the servers, order, colours, pop-up menu,
// and the periodic work on the list.
#include "pxo/PxoTrackerClient.h"
#include "pxo/ServerListRules.h"
#include "pxo/UfrmPXO.h"
#include "servers/ServerList.h"
#include "settings/ConfigControls.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace ServerListRules;

namespace {
QColor ColourOf(TColour colour)
{
    switch (colour) {
    case TColour::Green:
        return QColor(0, 128, 0);
    case TColour::Blue:
        return QColor(0, 0, 255);
    case TColour::Purple:
        return QColor(128, 0, 128);
    case TColour::Red:
        return QColor(255, 0, 0);
    case TColour::Grey:
        return QColor(128, 128, 128);
    case TColour::Black:
        break;
    }
    return QColor(0, 0, 0);
}

QStringList ListTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; list && i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}
} // namespace

// A row of the list: knows its server, and sorts by the list's rules on what it shows.
class TServerRowItem : public QTreeWidgetItem
{
public:
    TServerRowItem(TfrmPXO *form, TServer *server) : Form(form), Server(server) {}
    TfrmPXO *Form;
    TServer *Server;
    // The cells and flags the order depends on, kept with the row so that sorting
    // compares without building anything.
    TRow Key;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const auto &o = static_cast<const TServerRowItem &>(other);
        return LessThan(Key, o.Key, Form->SortColumn);
    }
};

void TfrmPXO::LoadSaveWindowSettings(bool save)
{
    TfrmChat::LoadSaveWindowSettings(save);
    if (!splGames || !pnlGames)
        return;
    const QString name = QStringLiteral("pnlGames Height");
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyPXOChatWindow)));
        const QList<int> sizes = splGames->sizes();
        if (save) {
            reg.WriteInteger(name, sizes.value(1, pnlGames->height()));
            return;
        }
        // Before the first save the splitter's own split stands: the pane has no height of
        // its own yet while the window is being built.
        if (!reg.ValueExists(name))
            return;
        const int wanted = std::max(reg.ReadInteger(name), 10);
        const int total = std::max({sizes.value(0) + sizes.value(1), height(), wanted + 10});
        splGames->setSizes({std::max(total - wanted, 10), wanted});
    } catch (const EStoreError &) {
        // A value of the wrong kind keeps the current height; the store reports it at start-up.
    }
}

void TfrmPXO::CreateServerList()
{
    lvwServers = new QTreeWidget;
    lvwServers->setObjectName(QStringLiteral("lvwServers"));
    lvwServers->setRootIsDecorated(false);
    lvwServers->setUniformRowHeights(true);
    lvwServers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwServers->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwServers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwServers->setContextMenuPolicy(Qt::CustomContextMenu);
    lvwServers->setHeaderLabels({QStringLiteral("Name (0)"), QStringLiteral("Mode"), QStringLiteral("Mode"),
                                 QStringLiteral("Level"), QStringLiteral("Description"), QStringLiteral("No."),
                                 QStringLiteral("Plrs"), QStringLiteral("Ping")});
    lvwServers->setColumnWidth(ColName, 150);
    lvwServers->setColumnWidth(ColGameType, 100);
    lvwServers->setColumnWidth(ColLevel, 70);
    lvwServers->setColumnWidth(ColDescription, 100);
    lvwServers->setColumnWidth(ColNumber, 30);
    lvwServers->header()->setSectionsClickable(true);
    lvwServers->installEventFilter(this);
    connect(lvwServers->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        SortColumn = column;
        if (TfrmConfig *config = frmConfig())
            config->ServerSortColumn = column;
        SortServerList();
    });
    connect(lvwServers, &QWidget::customContextMenuRequested, this, &TfrmPXO::ShowServerPopup);
    connect(lvwServers, &QTreeWidget::itemDoubleClicked, this, [this] { lvwServersDblClick(); });

    lblGameRunning = new QLabel(QStringLiteral("The game is running; the lobby returns when it ends."));
    lblGameRunning->setObjectName(QStringLiteral("lblGameRunning"));
    lblGameRunning->setTextFormat(Qt::PlainText);
    lblGameRunning->hide();

    pnlGames = new QWidget;
    pnlGames->setObjectName(QStringLiteral("pnlGames"));
    pnlGames->setMinimumHeight(10);
    auto *panel = new QVBoxLayout(pnlGames);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(lblGameRunning);
    panel->addWidget(lvwServers);

    splGames = new QSplitter(Qt::Vertical);
    splGames->setObjectName(QStringLiteral("splGames"));
    splGames->setChildrenCollapsible(false);
    if (QLayout *main = layout()) {
        delete main->replaceWidget(splChannels, splGames);
    }
    splGames->addWidget(splChannels);
    splGames->addWidget(pnlGames);
    // A larger window grows the chat, the list keeps the height the user gave it.
    splGames->setStretchFactor(0, 1);
    splGames->setStretchFactor(1, 0);

    pumServer = new QMenu(this);
    pumServer->setObjectName(QStringLiteral("pumServer"));
    const auto item = [this](const QString &caption, const char *name) {
        QAction *action = pumServer->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuJoinGame = item(QStringLiteral("&Join game"), "mnuJoinGame");
    mnuServerInfo = item(QStringLiteral("Server &Info"), "mnuServerInfo");
    mnuAutojoin = item(QStringLiteral("&Auto-Join"), "mnuAutojoin");
    mnuAutojoin->setCheckable(true);
    mnuPingServer = item(QStringLiteral("&Ping server"), "mnuPingServer");
    mnuServersRefreshAll = item(QStringLiteral("&Refresh all"), "mnuServersRefreshAll");
    Serializedping1 = item(QStringLiteral("Ping all &Servers"), "Serializedping1");
    DownloadLevel1 = item(QStringLiteral("Download &Level"), "DownloadLevel1");
    mnuJoinDirectIP = item(QStringLiteral("Join &direct IP"), "mnuJoinDirectIP");
    mnuTogglePrefered = item(QStringLiteral("&Toggle prefered"), "mnuTogglePrefered");
    mnuCopyLink = item(QStringLiteral("&Copy link"), "mnuCopyLink");
    connect(mnuJoinGame, &QAction::triggered, this, [this] {
        if (TServer *server = SelectedServer())
            JoinServer(server);
    });
    connect(mnuServerInfo, &QAction::triggered, this, [this] { ServerList->ShowInfo(SelectedServer()); });
    connect(mnuAutojoin, &QAction::triggered, this, [this] {
        if (TServer *server = SelectedServer()) {
            server->AutoJoin = !server->AutoJoin;
            RefreshServerList();
        }
    });
    connect(mnuPingServer, &QAction::triggered, this, &TfrmPXO::mnuPingServerClick);
    connect(mnuServersRefreshAll, &QAction::triggered, this, &TfrmPXO::mnuServersRefreshAllClick);
    connect(Serializedping1, &QAction::triggered, ServerList, &TServerList::PingAllServers);
    connect(DownloadLevel1, &QAction::triggered, this, &TfrmPXO::DownloadLevelClick);
    connect(mnuJoinDirectIP, &QAction::triggered, this, &TfrmPXO::JoinDirectIP);
    connect(mnuTogglePrefered, &QAction::triggered, this, &TfrmPXO::mnuTogglePreferedClick);
    connect(mnuCopyLink, &QAction::triggered, this, &TfrmPXO::CopyLinkClick);

    TimerServers = new QTimer(this);
    TimerServers->setObjectName(QStringLiteral("TimerServers"));
    TimerServers->setInterval(10000);
    connect(TimerServers, &QTimer::timeout, Tracker, &TPxoTrackerClient::RequestGameList);
    TimerPing = new QTimer(this);
    TimerPing->setObjectName(QStringLiteral("TimerPing"));
    TimerPing->setInterval(4000);
    connect(TimerPing, &QTimer::timeout, this, [this] {
        if (Tracker->LoginStarted())
            ServerList->PingAllServers();
    });
    connect(TimerConfig, &QTimer::timeout, this, &TfrmPXO::ApplyServerTimers);
}

QTreeWidgetItem *TfrmPXO::NewOfflineRow(const QStringList &cells)
{
    // A row without a server: a preferred server the tracker stopped listing.
    auto *row = new TServerRowItem(this, nullptr);
    for (int c = 0; c < ColumnCount; ++c) {
        row->Key.Cells[c] = cells.value(c);
        row->setText(c, row->Key.Cells[c]);
    }
    row->Key.Preferred = true;
    return row;
}

TServer *TfrmPXO::SelectedServer() const
{
    const QList<QTreeWidgetItem *> selected = lvwServers->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return static_cast<TServerRowItem *>(selected.first())->Server;
}

void TfrmPXO::UpdateRow(QTreeWidgetItem *row, TServer *server, bool isNew, bool &captionChanged)
{
    const QString cells[ColumnCount] = {server->Name,
                                        server->Mode,
                                        server->GameType,
                                        server->Level,
                                        server->Description,
                                        QString::number(server->LevelNumber),
                                        QString::number(server->Players) + QLatin1Char('/') +
                                            QString::number(server->MaxPlayers),
                                        QString::number(server->Ping)};
    auto *item = static_cast<TServerRowItem *>(row);
    for (int c = 0; c < ColumnCount; ++c) {
        if (item->Key.Cells[c] != cells[c]) {
            item->Key.Cells[c] = cells[c];
            row->setText(c, cells[c]);
            if (c == ColName && !isNew)
                captionChanged = true;
        }
    }
    const bool preferred = IsPreferred(server);
    item->Key.Preferred = preferred;
    item->Key.Dedicated = server->Dedicated;
    const TfrmConfig *config = frmConfig();
    const auto spin = [](const TSpinEdit *edit, int fallback) { return edit ? edit->value() : fallback; };
    const TColour colours[ColumnCount] = {CaptionColour(server->AutoJoin, preferred),
                                          ModeColour(server->Dedicated),
                                          TColour::Black,
                                          LevelColour(server->LevelPresent),
                                          TColour::Black,
                                          TColour::Black,
                                          PlayersColour(server->Players, server->MaxPlayers),
                                          PingColour(server->Ping, spin(config ? config->speServersPing1 : nullptr, 70),
                                                     spin(config ? config->speServersPing2 : nullptr, 150),
                                                     spin(config ? config->speServersPing3 : nullptr, 200),
                                                     spin(config ? config->speServersPing4 : nullptr, 300))};
    for (int c = 0; c < ColumnCount; ++c) {
        const QColor colour = ColourOf(colours[c]);
        if (row->foreground(c).color() != colour)
            row->setForeground(c, colour);
    }
}

QTreeWidgetItem *TfrmPXO::SyncRow(TServer *server, const TServerFilter &filter, bool &resort, bool &joinable)
{
    server->ApplyFilter(filter);
    QTreeWidgetItem *row = m_rows.value(server);
    joinable = false;
    if (!row && server->Visible) {
        row = new TServerRowItem(this, server);
        bool unused = false;
        UpdateRow(row, server, true, unused);
        lvwServers->addTopLevelItem(row);
        m_rows.insert(server, row);
        DropOffline(server->Name);
        resort = true;
    } else if (row && server->Visible) {
        UpdateRow(row, server, false, resort);
        joinable = server->AutoJoinReady();
    } else if (row) {
        m_rows.remove(server);
        delete row;
        row = nullptr;
    }
    return row;
}

bool TfrmPXO::IsPreferred(const TServer *server) const
{
    const TfrmConfig *config = frmConfig();
    return config && config->IsPreferedServer(server->Name);
}

TServerFilter TfrmPXO::ServerFilter() const
{
    TServerFilter filter;
    if (const TfrmConfig *config = frmConfig()) {
        filter.MaxPing = config->speServerFilterPing->Value();
        filter.GameTypes = ListTexts(config->lbxServersFilterGameType);
        filter.Modes = ListTexts(config->lbxServersFilterMode);
        filter.Levels = ListTexts(config->lbxServersFilterLevel);
        filter.HideFull = config->cbxServersFilterMaxPlayers->isChecked();
    }
    return filter;
}

void TfrmPXO::RefreshServerList()
{
    if (Closing)
        return;
    const TfrmConfig *config = frmConfig();
    const TServerFilter filter = ServerFilter();
    bool resort = false;
    QList<TServer *> toJoin;
    for (TServer *server : Servers()) {
        bool joinable = false;
        SyncRow(server, filter, resort, joinable);
        if (joinable)
            toJoin.append(server);
    }
    lvwServers->headerItem()->setText(ColName, QStringLiteral("Name (%1)").arg(m_rows.size()));
    if (resort || (config && config->cbxServersContinousSort->isChecked()))
        SortServerList();
    else
        m_listSorted = false; // rows may have changed without a sort
    ApplyQuickFilter();
    for (TServer *server : std::as_const(toJoin))
        AutoJoinServer(server);
}

void TfrmPXO::RefreshServer(TServer *server)
{
    if (Closing || !server)
        return;
    const TfrmConfig *config = frmConfig();
    bool resort = false;
    bool joinable = false;
    QTreeWidgetItem *row = SyncRow(server, ServerFilter(), resort, joinable);
    lvwServers->headerItem()->setText(ColName, QStringLiteral("Name (%1)").arg(m_rows.size()));
    if (row) {
        ApplyQuickFilterTo(row);
        if (resort || (config && config->cbxServersContinousSort->isChecked()))
            PlaceRow(row);
        else if (!InOrder(row))
            m_listSorted = false;
    }
    if (joinable)
        AutoJoinServer(server);
}

bool TfrmPXO::InOrder(QTreeWidgetItem *row) const
{
    const int index = lvwServers->indexOfTopLevelItem(row);
    const QTreeWidgetItem *before = index > 0 ? lvwServers->topLevelItem(index - 1) : nullptr;
    const QTreeWidgetItem *after = lvwServers->topLevelItem(index + 1);
    return index >= 0 && (!before || !(*row < *before)) && (!after || !(*after < *row));
}

void TfrmPXO::PlaceRow(QTreeWidgetItem *row)
{
    if (!m_listSorted) {
        SortServerList();
        return;
    }
    if (InOrder(row))
        return;
    const bool selected = row->isSelected();
    const bool current = lvwServers->currentItem() == row;
    lvwServers->takeTopLevelItem(lvwServers->indexOfTopLevelItem(row));
    // The rest is in order: the first row that goes after this one is where it belongs.
    int low = 0;
    int high = lvwServers->topLevelItemCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (*row < *lvwServers->topLevelItem(middle))
            high = middle;
        else
            low = middle + 1;
    }
    lvwServers->insertTopLevelItem(low, row);
    if (current)
        lvwServers->setCurrentItem(row);
    row->setSelected(selected);
}

void TfrmPXO::SortServerList()
{
    lvwServers->sortItems(qBound(0, int(SortColumn), ColumnCount - 1), Qt::AscendingOrder);
    m_listSorted = true;
}

void TfrmPXO::AutoJoinServer(TServer *server)
{
    if (AutoJoinBusy || !server)
        return;
    AutoJoinBusy = true;
    server->AutoJoin = false;
    // The question waits until the reply handler that found the free slot has returned;
    // the server is looked up again by address then.
    const QString ip = server->IP;
    const quint16 port = server->Port;
    const QString name = server->Name;
    QTimer::singleShot(0, this, [this, ip, port, name] {
        const auto done = qScopeGuard([this] { AutoJoinBusy = false; });
        if (Closing || Released())
            return;
        const TfrmConfig *config = frmConfig();
        if (config && config->cbxServersAutoJoin->isChecked() &&
            !MessageBox::Ask(this, QStringLiteral("Would you like to join ") + name + QLatin1Char('?')))
            return;
        TServer *again = ServerList->FindServer(ip, port);
        if (!again)
            return;
        for (TServer *each : Servers())
            each->AutoJoin = false;
        JoinServer(again);
    });
}

void TfrmPXO::SetTimersEnabled(bool enabled)
{
    TfrmChat::SetTimersEnabled(enabled);
    if (!enabled) {
        // Off for a game or for good: no login attempt goes out meanwhile.
        Tracker->Stop();
        TimerPing->stop();
        TimerServers->stop();
        return;
    }
    ApplyServerTimers();
}

void TfrmPXO::ApplyServerTimers()
{
    const TfrmConfig *config = frmConfig();
    if (!config)
        return;
    const int serverlist = config->speChatServerlistTime->AtLeastMinimum();
    const int ping = config->speChatPingTime->AtLeastMinimum();
    if (TimerServers->interval() != serverlist)
        TimerServers->setInterval(serverlist);
    if (TimerPing->interval() != ping)
        TimerPing->setInterval(ping);
    if (!TimersEnabled)
        return;
    const auto follow = [](QTimer *timer, bool on) {
        if (on && !timer->isActive())
            timer->start();
        else if (!on && timer->isActive())
            timer->stop();
    };
    follow(TimerServers, config->cbxChatServerlistTime->isChecked());
    follow(TimerPing, config->cbxChatPingTime->isChecked());
}

void TfrmPXO::mnuPingServerClick()
{
    TServer *server = SelectedServer();
    if (!server || !WhoisAllowed)
        return;
    WhoisAllowed = false;
    TimerWhoisDelay->start();
    server->RequestGameInfo();
}

void TfrmPXO::mnuServersRefreshAllClick()
{
    for (TServer *server : Servers())
        server->RequestPlayers();
    Tracker->RequestGameList();
    ServerList->QueryAllServers();
}

void TfrmPXO::mnuTogglePreferedClick()
{
    TServer *server = SelectedServer();
    TfrmConfig *config = frmConfig();
    if (!server || !config)
        return;
    QStringList lines = MemoLines(config->memServersPrefered);
    if (IsPreferred(server)) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).compare(server->Name, Qt::CaseInsensitive) == 0) {
                lines.removeAt(i);
                break;
            }
        }
    } else {
        lines.append(server->Name);
    }
    SetMemoLines(config->memServersPrefered, lines);
    RefreshServerList();
    SortServerList();
}

void TfrmPXO::lvwServersDblClick()
{
    const TfrmConfig *config = frmConfig();
    const QString action = config ? config->cmbServersDblClick->Text() : QString();
    if (action == QLatin1String("Join game"))
        mnuJoinGame->trigger();
    else if (action == QLatin1String("Server info"))
        mnuServerInfo->trigger();
    else if (action == QLatin1String("Ping server"))
        mnuPingServer->trigger();
}

bool TfrmPXO::RunAccelerator(QChar key)
{
    const QChar wanted = key.toLower();
    for (QAction *action : pumServer->actions()) {
        const QString caption = action->text();
        const qsizetype amp = caption.indexOf(QLatin1Char('&'));
        if (amp < 0 || amp + 1 >= caption.size())
            continue;
        if (caption.at(amp + 1).toLower() == wanted) {
            action->trigger();
            return true;
        }
    }
    return false;
}

void TfrmPXO::ShowServerPopup(const QPoint &pos)
{
    TServer *server = SelectedServer();
    mnuAutojoin->setChecked(server && server->AutoJoin);
    pumServer->popup(lvwServers->viewport()->mapToGlobal(pos));
}
