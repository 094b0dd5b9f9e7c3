#pragma once

#include <QCollatorSortKey>
#include <QString>

// The locale's case-sensitive order of names, used for users and channels alike.
int CompareNames(const QString &a, const QString &b);
QCollatorSortKey NameSortKey(const QString &name);
