#include "irc/Channel.h"

#include "irc/NameOrder.h"

TChannel::TChannel(const QString &name, qint32 users, const QString &topic) : Name(name), Users(users), Topic(topic) {}

const QCollatorSortKey &TChannel::SortKey() const
{
    if (!m_sortKey)
        m_sortKey = NameSortKey(Name);
    return *m_sortKey;
}
