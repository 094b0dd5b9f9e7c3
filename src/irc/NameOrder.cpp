#include "irc/NameOrder.h"

#include <QCollator>

namespace {
const QCollator &NameCollator()
{
    // Made per thread on first use so a change of the default locale before it is kept.
    thread_local const QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseSensitive);
        return c;
    }();
    return collator;
}
} // namespace

int CompareNames(const QString &a, const QString &b)
{
    return NameCollator().compare(a, b);
}

QCollatorSortKey NameSortKey(const QString &name)
{
    return NameCollator().sortKey(name);
}
