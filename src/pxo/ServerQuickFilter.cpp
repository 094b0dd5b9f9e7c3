#include "pxo/ServerQuickFilter.h"

#include <QStringList>

namespace ServerQuickFilter {
bool Matches(const QString &filter, const QString &name, const QString &level, const QString &mission)
{
    const QStringList words = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (!name.contains(word, Qt::CaseInsensitive) && !level.contains(word, Qt::CaseInsensitive) &&
            !mission.contains(word, Qt::CaseInsensitive))
            return false;
    }
    return true;
}
} // namespace ServerQuickFilter
