// Additions around the server list: the quick filter, preferred servers that went offline,
// and auto-join stopping when the user picks a server himself.
#include "pxo/ServerListRules.h"
#include "pxo/ServerQuickFilter.h"
#include "pxo/UfrmPXO.h"
#include "servers/Server.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace ServerListRules;

void TfrmPXO::CreateQuickFilter()
{
    edtServerFilter = new QLineEdit;
    edtServerFilter->setObjectName(QStringLiteral("edtServerFilter"));
    edtServerFilter->setPlaceholderText(QStringLiteral("Filter by name, level or mission"));
    edtServerFilter->setClearButtonEnabled(true);
    connect(edtServerFilter, &QLineEdit::textChanged, this, &TfrmPXO::ApplyQuickFilter);
    if (auto *panel = qobject_cast<QVBoxLayout *>(pnlGames->layout()))
        panel->insertWidget(panel->indexOf(lvwServers), edtServerFilter);
}

void TfrmPXO::ApplyQuickFilter()
{
    if (!edtServerFilter)
        return;
    for (int i = 0; i < lvwServers->topLevelItemCount(); ++i)
        ApplyQuickFilterTo(lvwServers->topLevelItem(i));
}

void TfrmPXO::ApplyQuickFilterTo(QTreeWidgetItem *row)
{
    if (!edtServerFilter || !row)
        return;
    const bool shown = ServerQuickFilter::Matches(edtServerFilter->text(), row->text(ColName), row->text(ColLevel),
                                                  row->text(ColDescription));
    if (row->isHidden() == shown)
        row->setHidden(!shown);
}

void TfrmPXO::KeepOffline(const TServer *server)
{
    if (!server || Closing || !IsPreferred(server) || server->Name.trimmed().isEmpty())
        return;
    const QString key = server->Name.trimmed().toUpper();
    if (m_offline.contains(key))
        return;
    QTreeWidgetItem *row =
        NewOfflineRow({server->Name, server->Mode, server->GameType, server->Level, server->Description,
                       QString::number(server->LevelNumber), QStringLiteral("offline"), QString()});
    const QColor gray(128, 128, 128);
    for (int c = 0; c < ColumnCount; ++c)
        row->setForeground(c, gray);
    row->setToolTip(ColName, QStringLiteral("The tracker no longer lists this server"));
    lvwServers->addTopLevelItem(row);
    m_offline.insert(key, row);
    ApplyQuickFilter();
}

void TfrmPXO::DropOffline(const QString &name)
{
    delete m_offline.take(name.trimmed().toUpper());
}

QStringList TfrmPXO::OfflineServers() const
{
    QStringList names;
    for (const QTreeWidgetItem *row : m_offline)
        names << row->text(ColName);
    names.sort();
    return names;
}

void TfrmPXO::StopAutoJoin()
{
    bool any = false;
    for (TServer *server : Servers()) {
        any = any || server->AutoJoin;
        server->AutoJoin = false;
    }
    if (any)
        RefreshServerList();
}
