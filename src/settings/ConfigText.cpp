#include "settings/ConfigText.h"

#include <QSet>

namespace ConfigText {

QString AliasName(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return (eq < 0 ? line : line.left(eq)).trimmed();
}

bool HasEqualAliases(const QStringList &lines)
{
    QSet<QString> seen;
    for (const QString &line : lines) {
        const QString name = AliasName(line);
        if (seen.contains(name))
            return true;
        seen.insert(name);
    }
    return false;
}

QString AwayMessage(const QStringList &lines, qint64 index)
{
    if (index >= 0 && index < lines.size())
        return lines.at(static_cast<qsizetype>(index));
    return QString::fromLatin1(DefaultAwayMessage);
}

QString TrimPathEnd(const QString &path, bool slashSeparates)
{
    QString text = path;
    while (text.endsWith(QLatin1Char('\\')) || (slashSeparates && text.endsWith(QLatin1Char('/'))))
        text.chop(1);
    return text;
}

} // namespace ConfigText
