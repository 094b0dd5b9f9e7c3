#include "pxo/UfrmLocateUsers.h"

#include "pxo/UfrmPXO.h"
#include "servers/ServerList.h"
#include "ui/WindowRegistry.h"

#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int ServerRole = Qt::UserRole + 1;

TServer *ServerOf(const QTreeWidgetItem *row)
{
    return row ? static_cast<TServer *>(row->data(0, ServerRole).value<void *>()) : nullptr;
}

QList<TfrmLocateUsers *> OpenWindows()
{
    return Windows::All<TfrmLocateUsers>();
}
} // namespace

TfrmLocateUsers::TfrmLocateUsers(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLocateUsers"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Locate users"));
    Windows::Register(this);

    lvwUsers = new QTreeWidget;
    lvwUsers->setObjectName(QStringLiteral("lvwUsers"));
    lvwUsers->setRootIsDecorated(false);
    lvwUsers->setUniformRowHeights(true);
    lvwUsers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwUsers->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwUsers->setContextMenuPolicy(Qt::CustomContextMenu);
    lvwUsers->setHeaderLabels({QStringLiteral("Users (0)"), QStringLiteral("Location")});
    lvwUsers->setColumnWidth(0, 150);
    lvwUsers->setColumnWidth(1, 250);
    lvwUsers->header()->setSectionsClickable(false);
    lvwUsers->setSortingEnabled(false);

    pumUsers = new QMenu(this);
    pumUsers->setObjectName(QStringLiteral("pumUsers"));
    mnuJoinGame = pumUsers->addAction(QStringLiteral("&Join game"));
    mnuJoinGame->setObjectName(QStringLiteral("mnuJoinGame"));
    mnuServerInfo = pumUsers->addAction(QStringLiteral("Server &Info"));
    mnuServerInfo->setObjectName(QStringLiteral("mnuServerInfo"));
    connect(mnuJoinGame, &QAction::triggered, this, &TfrmLocateUsers::mnuJoinGameClick);
    connect(mnuServerInfo, &QAction::triggered, this, &TfrmLocateUsers::mnuServerInfoClick);
    connect(lvwUsers, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const bool any = SelectedServer() != nullptr;
        mnuJoinGame->setEnabled(any);
        mnuServerInfo->setEnabled(any);
        pumUsers->popup(lvwUsers->viewport()->mapToGlobal(pos));
    });

    btnClose = new QPushButton(QStringLiteral("&Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvwUsers, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);
    resize(440, 300);
}

TfrmLocateUsers::~TfrmLocateUsers()
{
    Windows::Unregister(this);
}

void TfrmLocateUsers::ServerRemoved(TServer *server)
{
    const QList<TfrmLocateUsers *> windows = OpenWindows();
    for (TfrmLocateUsers *window : windows)
        window->RemoveServerRows(server);
}

void TfrmLocateUsers::AddLobby(TfrmPXO *lobby)
{
    for (TServer *server : lobby->Servers()) {
        if (server->Name.trimmed().isEmpty())
            continue;
        m_lobbies.insert(server, lobby);
        for (const TServerUser *player : std::as_const(server->PlayerList)) {
            auto *row = new QTreeWidgetItem({player->Name, server->Name});
            row->setData(0, ServerRole, QVariant::fromValue<void *>(server));
            lvwUsers->addTopLevelItem(row);
        }
    }
    lvwUsers->sortItems(0, Qt::AscendingOrder);
    UpdateHeader();
}

void TfrmLocateUsers::RemoveServerRows(TServer *server)
{
    if (!server)
        return;
    m_lobbies.remove(server);
    for (int i = lvwUsers->topLevelItemCount() - 1; i >= 0; --i) {
        if (ServerOf(lvwUsers->topLevelItem(i)) == server)
            delete lvwUsers->takeTopLevelItem(i);
    }
}

TServer *TfrmLocateUsers::SelectedServer() const
{
    const QList<QTreeWidgetItem *> selected = lvwUsers->selectedItems();
    return selected.isEmpty() ? nullptr : ServerOf(selected.first());
}

void TfrmLocateUsers::mnuJoinGameClick()
{
    TServer *server = SelectedServer();
    // Joining goes through the server's lobby: the level check, and no second game.
    if (TfrmPXO *lobby = m_lobbies.value(server))
        lobby->JoinServer(server);
}

void TfrmLocateUsers::mnuServerInfoClick()
{
    TServer *server = SelectedServer();
    if (TfrmPXO *lobby = m_lobbies.value(server))
        lobby->ServerList->ShowInfo(server);
}

void TfrmLocateUsers::UpdateHeader()
{
    lvwUsers->headerItem()->setText(0, QStringLiteral("Users (%1)").arg(lvwUsers->topLevelItemCount()));
}
