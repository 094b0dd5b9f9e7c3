#pragma once

// Bookkeeping shared by the simulated trackers and servers: counters per group and kind, and
// the acknowledgement values handed out with replies.

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QQueue>
#include <QString>

class TSimCounters
{
public:
    // Makes the kind show up as 0 before anything was counted.
    void Declare(const QString &group, const QString &kind);
    void Add(const QString &group, const QString &kind, qint64 count = 1);
    qint64 Value(const QString &group, const QString &kind) const;
    // Sets every counter back to 0 and keeps the declared kinds.
    void Reset();
    QJsonObject ToJson() const;

private:
    QMap<QString, QMap<QString, qint64>> m_counts;
};

// Hands out acknowledgement values and checks the acknowledgements that come back. Each value
// can be acknowledged once; the ledger forgets the oldest values past its capacity.
class TAckLedger
{
public:
    enum class TResult { Matched, WrongKind, Unknown };

    explicit TAckLedger(quint32 firstValue, int capacity = 65536);
    quint32 Allocate(int kind);
    TResult Take(quint32 value, int kind);
    int OpenCount() const { return int(m_open.size()); }

private:
    quint32 m_next;
    int m_capacity;
    QHash<quint32, int> m_open;
    QQueue<quint32> m_order;
};
