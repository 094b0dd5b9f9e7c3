#include "pxo/UfrmPXOServerInfo.h"

#include "pxo/InfoLabels.h"
#include "ui/ChildWindow.h"
#include "ui/WindowRegistry.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int RowHeight = 16;
constexpr int Columns = 5;

QList<TfrmPXOServerInfo *> OpenWindows()
{
    return Windows::All<TfrmPXOServerInfo>();
}
} // namespace

TfrmPXOServerInfo::TfrmPXOServerInfo(TServer *server, QWidget *parent) : QWidget(parent), m_server(server)
{
    setObjectName(QStringLiteral("frmPXOServerInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    Windows::Register(this);

    auto *labels = new QGridLayout;
    const auto row = [labels](const char *name, const QString &caption) { return AddInfoRow(labels, name, caption); };
    lblLevelPack = row("lblLevelPack", QStringLiteral("Level pack:"));
    lblDescription = row("lblDescription", QStringLiteral("Description:"));
    lblGameType = row("lblGameType", QStringLiteral("Game type:"));
    lblLevel = row("lblLevel", QStringLiteral("Level:"));
    lblPlayers = row("lblPlayers", QStringLiteral("Players:"));
    lblMaxPlayers = row("lblMaxPlayers", QStringLiteral("Max players:"));
    lblDifficulty = row("lblDifficulty", QStringLiteral("Difficulty:"));
    lblBrightShips = row("lblBrightShips", QStringLiteral("Bright ships:"));
    LblAccCollisions = row("LblAccCollisions", QStringLiteral("Acc collisions:"));
    LblRandomPowerup = row("LblRandomPowerup", QStringLiteral("Rnd powerup:"));
    lblVersion = row("lblVersion", QStringLiteral("Version:"));
    LblPing = row("LblPing", QStringLiteral("Ping:"));
    labels->setColumnStretch(1, 1);

    sgrPlayers = new QTableWidget(1, Columns);
    sgrPlayers->setObjectName(QStringLiteral("sgrPlayers"));
    sgrPlayers->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Kills"), QStringLiteral("Deaths"),
                                           QStringLiteral("T"), QStringLiteral("Ping")});
    sgrPlayers->verticalHeader()->hide();
    sgrPlayers->verticalHeader()->setDefaultSectionSize(RowHeight);
    sgrPlayers->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgrPlayers->setSelectionMode(QAbstractItemView::SingleSelection);
    sgrPlayers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[Columns] = {81, 45, 40, 12, 30};
    for (int c = 0; c < Columns; ++c)
        sgrPlayers->setColumnWidth(c, widths[c]);
    sgrPlayers->horizontalHeader()->setStretchLastSection(true);

    btnClose = new QPushButton(QStringLiteral("&Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(labels);
    layout->addWidget(sgrPlayers, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);

    if (m_server)
        m_server->InfoRequested = false;
    FillPlayers({});
    ShowServerInfo(m_server);
    resize(260, 420);
}

TfrmPXOServerInfo::~TfrmPXOServerInfo()
{
    Windows::Unregister(this);
}

TfrmPXOServerInfo *TfrmPXOServerInfo::FindFor(const TServer *server)
{
    if (!server)
        return nullptr;
    for (TfrmPXOServerInfo *window : OpenWindows()) {
        if (window->RefersTo(server))
            return window;
    }
    return nullptr;
}

void TfrmPXOServerInfo::UpdateServerInfo(TServer *server)
{
    if (!server)
        return;
    if (TfrmPXOServerInfo *window = FindFor(server)) {
        window->ShowServerInfo(server);
    } else if (server->InfoRequested) {
        auto *created = new TfrmPXOServerInfo(server);
        ChildWindow::Show(created);
    }
}

void TfrmPXOServerInfo::ServerRemoved(TServer *server)
{
    const QList<TfrmPXOServerInfo *> windows = OpenWindows();
    for (TfrmPXOServerInfo *window : windows)
        window->NotifyServerRemoved(server);
}

QString TfrmPXOServerInfo::YesNo(QChar c)
{
    if (c == u'0')
        return QStringLiteral("No");
    if (c == u'1')
        return QStringLiteral("Yes");
    return {};
}

bool TfrmPXOServerInfo::RefersTo(const TServer *server) const
{
    return server && server == m_server;
}

void TfrmPXOServerInfo::NotifyServerRemoved(TServer *server)
{
    if (RefersTo(server))
        m_server = nullptr;
}

void TfrmPXOServerInfo::ShowServerInfo(TServer *server)
{
    if (!RefersTo(server))
        return;
    setWindowTitle(QStringLiteral("PXO Server Info (") + server->Name + QLatin1Char(')'));
    lblLevelPack->setText(server->Level);
    lblDescription->setText(server->Description);
    lblGameType->setText(server->GameType);
    lblLevel->setText(QString::number(server->LevelNumber));
    lblPlayers->setText(QString::number(server->PlayerList.size()));
    lblMaxPlayers->setText(QString::number(server->MaxPlayers));
    lblDifficulty->setText(server->Difficulty);
    lblBrightShips->setText(YesNo(server->BrightShips));
    LblAccCollisions->setText(YesNo(server->AccCollisions));
    LblRandomPowerup->setText(YesNo(server->RandPowerup));
    lblVersion->setText(server->GameVersion);
    LblPing->setText(QString::number(server->Ping));
    FillPlayers(server->PlayerList);
    if (server->InfoRequested)
        BringToFront();
    server->InfoRequested = false;
}

void TfrmPXOServerInfo::FillPlayers(const QList<TServerUser *> &players)
{
    // With no players one empty row remains.
    sgrPlayers->setRowCount(std::max<int>(int(players.size()), 1));
    for (int r = 0; r < sgrPlayers->rowCount(); ++r) {
        const TServerUser *player = r < players.size() ? players[r] : nullptr;
        const QString cells[Columns] = {player ? player->Name : QString(), player ? player->Frags : QString(),
                                        player ? player->Deaths : QString(), player ? player->Team : QString(),
                                        player ? player->PlayerPing : QString()};
        for (int c = 0; c < Columns; ++c) {
            QTableWidgetItem *item = sgrPlayers->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                sgrPlayers->setItem(r, c, item);
            }
            item->setText(cells[c]);
        }
    }
}

void TfrmPXOServerInfo::BringToFront()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
        sub->showNormal();
    } else {
        raise();
        activateWindow();
    }
}
