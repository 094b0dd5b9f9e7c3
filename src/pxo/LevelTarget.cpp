#include "pxo/LevelTarget.h"

#include "base/SafeName.h"

#include <QDir>
#include <QUrl>

namespace LevelTarget {

QString FileName(const QString &address)
{
    QString text = address.trimmed();
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (scheme >= 0)
        text = text.mid(scheme + 3);
    const qsizetype slash = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    if (slash < 0)
        return {}; // "http://host" names a host, not a file
    const QString name = text.mid(slash + 1);
    // A name that is not already plain is refused rather than cut down further.
    return SafeName::IsPlain(name) ? name : QString();
}

bool IsFetchable(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QString Directory(bool toMissions, const QString &gamePath, const QString &downloadPath)
{
    return toMissions ? gamePath + QStringLiteral("\\missions") : downloadPath;
}

QString Join(const QString &directory, const QString &name)
{
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('\\')) || directory.endsWith(QLatin1Char('/')) ||
        directory.endsWith(QLatin1Char(':')))
        return directory + name;
    return directory + QLatin1Char('\\') + name;
}

QString LocalPath(const QString &path)
{
    QString local = path;
    local.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(local);
}

} // namespace LevelTarget
