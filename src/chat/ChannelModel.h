#pragma once

#include <QAbstractTableModel>
#include <QList>

class TChannel;

// The channel grid over the form's channel list: a name column (without its "#") and the
// user count. The list is kept in order by the form; the model only shows it.
class TChannelModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TChannelModel(const QList<TChannel *> &channels, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The list changed: redraw it all.
    void Reset();

private:
    const QList<TChannel *> &m_channels;
};
