#include "pxo/UfrmCachedUserInfo.h"

#include "irc/User.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "ui/WindowRegistry.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int UserRole = Qt::UserRole + 1;

QList<TfrmCachedUserInfo *> OpenWindows()
{
    return Windows::All<TfrmCachedUserInfo>();
}
} // namespace

TfrmCachedUserInfo::TfrmCachedUserInfo(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmCachedUserInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Cached user info"));
    Windows::Register(this);

    lvwUsers = new QTreeWidget;
    lvwUsers->setObjectName(QStringLiteral("lvwUsers"));
    lvwUsers->setRootIsDecorated(false);
    lvwUsers->setUniformRowHeights(true);
    lvwUsers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwUsers->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwUsers->setHeaderLabels({QStringLiteral("Users (0)")});
    lvwUsers->setColumnWidth(0, 150);
    lvwUsers->header()->setSectionsClickable(false);
    connect(lvwUsers, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *row) { lvwUsersDblClick(row); });

    btnClose = new QPushButton(QStringLiteral("&Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvwUsers, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);
    resize(220, 320);
}

TfrmCachedUserInfo::~TfrmCachedUserInfo()
{
    Windows::Unregister(this);
}

void TfrmCachedUserInfo::UserRemoved(TUser *user)
{
    const QList<TfrmCachedUserInfo *> windows = OpenWindows();
    for (TfrmCachedUserInfo *window : windows)
        window->RemoveCachedUser(user);
}

void TfrmCachedUserInfo::AddCachedUser(TUser *user)
{
    if (!user)
        return;
    auto *row = new QTreeWidgetItem({user->Nick});
    row->setData(0, UserRole, QVariant::fromValue<void *>(user));
    lvwUsers->addTopLevelItem(row);
    lvwUsers->sortItems(0, Qt::AscendingOrder);
    lvwUsers->headerItem()->setText(0, QStringLiteral("Users (%1)").arg(lvwUsers->topLevelItemCount()));
}

void TfrmCachedUserInfo::RemoveCachedUser(TUser *user)
{
    if (!user)
        return;
    for (int i = 0; i < lvwUsers->topLevelItemCount(); ++i) {
        if (UserOf(lvwUsers->topLevelItem(i)) == user) {
            delete lvwUsers->takeTopLevelItem(i);
            return;
        }
    }
}

TUser *TfrmCachedUserInfo::UserOf(const QTreeWidgetItem *row) const
{
    return row ? static_cast<TUser *>(row->data(0, UserRole).value<void *>()) : nullptr;
}

void TfrmCachedUserInfo::lvwUsersDblClick(QTreeWidgetItem *row)
{
    TUser *user = UserOf(row);
    if (!user)
        return;
    // Known values only: no WHOIS, no statistics request. Any chat window's user qualifies,
    // not only the lobby's.
    user->InfoRequested = true;
    TfrmPXOPlayerInfo::UpdatePlayerInfo(user, false);
}
