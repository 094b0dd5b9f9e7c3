#include "pxo/ServerListRules.h"

#include <QCollator>

namespace ServerListRules {
namespace {
int CompareText(const QString &a, const QString &b)
{
    static thread_local QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(a, b);
}

int PlayerCount(const QString &text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    return int(NumberOf(slash < 0 ? text : text.left(slash)));
}
} // namespace

qint64 NumberOf(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? value : 0;
}

bool LessThan(const TRow &a, const TRow &b, int column)
{
    if (a.Preferred != b.Preferred)
        return a.Preferred;
    if (column <= 0 || column >= ColumnCount)
        return CompareText(a.Cells[ColName], b.Cells[ColName]) < 0;
    const QString &ta = a.Cells[column];
    const QString &tb = b.Cells[column];
    switch (column) {
    case ColMode: {
        const QChar last(0xFF); // non-dedicated servers sort after the dedicated ones
        return CompareText(a.Dedicated ? ta : last + ta, b.Dedicated ? tb : last + tb) < 0;
    }
    case ColNumber:
    case ColPing:
        return NumberOf(ta) < NumberOf(tb);
    case ColPlayers:
        return PlayerCount(ta) > PlayerCount(tb);
    default:
        return CompareText(ta, tb) < 0;
    }
}

TColour CaptionColour(bool autoJoin, bool preferred)
{
    return autoJoin ? TColour::Green : preferred ? TColour::Blue : TColour::Black;
}

TColour ModeColour(bool dedicated)
{
    return dedicated ? TColour::Black : TColour::Grey;
}

TColour LevelColour(bool levelPresent)
{
    return levelPresent ? TColour::Black : TColour::Red;
}

TColour PlayersColour(quint16 players, quint16 maxPlayers)
{
    if (players == maxPlayers)
        return TColour::Red;
    return players == 0 ? TColour::Black : TColour::Green;
}

TColour PingColour(quint32 ping, qint32 limit1, qint32 limit2, qint32 limit3, qint32 limit4)
{
    const auto below = [ping](qint32 limit) { return limit >= 0 && qint64(ping) < qint64(limit); };
    if (below(limit1))
        return TColour::Green;
    if (below(limit2))
        return TColour::Blue;
    if (below(limit3))
        return TColour::Purple;
    if (below(limit4))
        return TColour::Red;
    return TColour::Black;
}

int SerialPingStarts(int servers)
{
    return qMax(3, servers / 5);
}

} // namespace ServerListRules
