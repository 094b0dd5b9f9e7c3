#pragma once

#include <QString>
#include <QStringList>

// The text rules of the configuration dialog, free of widgets.
namespace ConfigText {
// The name of an alias line: its text before the first "=" (the whole line without one), trimmed.
QString AliasName(const QString &line);
// True when two lines have equal names (case-sensitive).
bool HasEqualAliases(const QStringList &lines);
// Line Index of Lines when there is one, else the default away message.
QString AwayMessage(const QStringList &lines, qint64 index);
constexpr char DefaultAwayMessage[] = "I'm away...";
// Removes every trailing "\" and, where "/" separates folders, every trailing "/".
QString TrimPathEnd(const QString &path, bool slashSeparates);
} // namespace ConfigText
