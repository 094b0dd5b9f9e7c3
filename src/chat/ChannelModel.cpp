#include "chat/ChannelModel.h"

#include "irc/Channel.h"

TChannelModel::TChannelModel(const QList<TChannel *> &channels, QObject *parent)
    : QAbstractTableModel(parent), m_channels(channels)
{
}

int TChannelModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_channels.size());
}

int TChannelModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TChannelModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_channels.size() || role != Qt::DisplayRole)
        return {};
    const TChannel *channel = m_channels.at(index.row());
    if (index.column() == 0)
        return channel->Name.startsWith(QLatin1Char('#')) ? channel->Name.mid(1) : channel->Name;
    return QString::number(channel->Users);
}

QVariant TChannelModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Channel") : QStringLiteral("#");
}

void TChannelModel::Reset()
{
    beginResetModel();
    endResetModel();
}
