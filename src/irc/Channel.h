#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QtGlobal>

#include <optional>

// One row of the channel list.
class TChannel
{
public:
    TChannel(const QString &name, qint32 users, const QString &topic);

    QString Name;
    qint32 Users = 0; // as the server listed it, or the open conversation's count
    QString Topic;

    // The collation key of Name, made once: the list is kept in locale order.
    const QCollatorSortKey &SortKey() const;

private:
    mutable std::optional<QCollatorSortKey> m_sortKey;
};
