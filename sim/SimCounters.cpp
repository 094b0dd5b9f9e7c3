#include "sim/SimCounters.h"

void TSimCounters::Declare(const QString &group, const QString &kind)
{
    m_counts[group].insert(kind, m_counts[group].value(kind, 0));
}

void TSimCounters::Add(const QString &group, const QString &kind, qint64 count)
{
    m_counts[group][kind] += count;
}

qint64 TSimCounters::Value(const QString &group, const QString &kind) const
{
    return m_counts.value(group).value(kind, 0);
}

void TSimCounters::Reset()
{
    for (auto &group : m_counts)
        for (auto &value : group)
            value = 0;
}

QJsonObject TSimCounters::ToJson() const
{
    QJsonObject out;
    for (auto g = m_counts.cbegin(); g != m_counts.cend(); ++g) {
        QJsonObject group;
        for (auto k = g->cbegin(); k != g->cend(); ++k)
            group.insert(k.key(), k.value());
        out.insert(g.key(), group);
    }
    return out;
}

TAckLedger::TAckLedger(quint32 firstValue, int capacity) : m_next(firstValue), m_capacity(std::max(1, capacity)) {}

quint32 TAckLedger::Allocate(int kind)
{
    // Zero would look like a field the client forgot to fill.
    if (m_next == 0)
        ++m_next;
    const quint32 value = m_next++;
    while (m_order.size() >= m_capacity)
        m_open.remove(m_order.dequeue());
    m_open.insert(value, kind);
    m_order.enqueue(value);
    return value;
}

TAckLedger::TResult TAckLedger::Take(quint32 value, int kind)
{
    const auto it = m_open.constFind(value);
    if (it == m_open.cend())
        return TResult::Unknown;
    const bool sameKind = it.value() == kind;
    // The value stays in m_order until it ages out; a later Take finds it gone from m_open.
    m_open.erase(it);
    return sameKind ? TResult::Matched : TResult::WrongKind;
}
