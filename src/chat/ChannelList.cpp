#include "chat/ChannelList.h"

#include "chat/ChannelModel.h"
#include "irc/Channel.h"
#include "irc/IrcSession.h"

#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

TChannelList::TChannelList(const TIrcSession *session, QWidget *parent)
    : QWidget(parent), m_channels(session->Channels()), m_model(new TChannelModel(m_channels, this))
{
    connect(session, &TIrcSession::ChannelListed, this, [this, session] { Refresh(session->InRead()); });
    connect(session, &TIrcSession::ReadDone, this, [this] {
        if (m_dirty)
            Refresh();
    });
    setObjectName(QStringLiteral("pnlChannels"));
    setMinimumWidth(10);
    sgrChannels = new QTableView;
    sgrChannels->setObjectName(QStringLiteral("sgrChannels"));
    sgrChannels->setModel(m_model);
    sgrChannels->verticalHeader()->hide();
    sgrChannels->verticalHeader()->setDefaultSectionSize(16);
    sgrChannels->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    sgrChannels->setColumnWidth(0, 92);
    sgrChannels->setColumnWidth(1, 18);
    sgrChannels->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgrChannels->setSelectionMode(QAbstractItemView::SingleSelection);
    sgrChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgrChannels->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sgrChannels->setWordWrap(false);
    sgrChannels->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sgrChannels);

    pumChannels = new QMenu(this);
    pumChannels->setObjectName(QStringLiteral("pumChannels"));
    Join1 = pumChannels->addAction(QStringLiteral("&Join channel"));
    Join1->setObjectName(QStringLiteral("Join1"));
    mnuRefreshChannels = pumChannels->addAction(QStringLiteral("&Refresh"));
    mnuRefreshChannels->setObjectName(QStringLiteral("mnuRefreshChannels"));
    connect(Join1, &QAction::triggered, this, &TChannelList::JoinWanted);
    connect(mnuRefreshChannels, &QAction::triggered, this, &TChannelList::RefreshWanted);
    connect(sgrChannels, &QTableView::doubleClicked, this, &TChannelList::JoinWanted);
    connect(sgrChannels, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pumChannels->popup(sgrChannels->viewport()->mapToGlobal(pos)); });
    connect(sgrChannels->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const TChannel *channel = current.isValid() ? m_channels.value(current.row()) : nullptr;
                m_selected = channel ? channel->Name : QString();
            });
}

const TChannel *TChannelList::Selected() const
{
    const QModelIndex current = sgrChannels->currentIndex();
    return current.isValid() ? m_channels.value(current.row()) : nullptr;
}

void TChannelList::Refresh(bool later)
{
    m_dirty = later;
    if (later)
        return;
    const QString selected = m_selected;
    QScrollBar *bar = sgrChannels->verticalScrollBar();
    const int scrolled = bar->value();
    m_model->Reset();
    const auto at = std::find_if(m_channels.cbegin(), m_channels.cend(),
                                 [&selected](const TChannel *channel) { return channel->Name == selected; });
    if (at != m_channels.cend())
        sgrChannels->selectRow(int(at - m_channels.cbegin()));
    bar->setValue(scrolled);
}
