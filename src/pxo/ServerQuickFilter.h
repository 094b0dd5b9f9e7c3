#pragma once

#include <QString>

// The quick filter above the server list: a server stays shown when every word typed occurs
// in its name, level or mission, ignoring case. It only hides rows; what is queried and
// pinged does not change.
namespace ServerQuickFilter {
bool Matches(const QString &filter, const QString &name, const QString &level, const QString &mission);
} // namespace ServerQuickFilter
