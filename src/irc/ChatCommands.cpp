#include "irc/ChatCommands.h"

#include "base/Tick.h"

#include <QElapsedTimer>

namespace ChatCommands {

QString ExpandAlias(const QString &command, const QStringList &aliasLines)
{
    const QString upper = command.toUpper();
    for (const QString &rawLine : aliasLines) {
        const QString line = rawLine.toUpper();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString name = line.left(eq).trimmed().mid(1) + QLatin1Char(' ');
        const QString replacement = line.mid(eq + 1).trimmed().mid(1) + QLatin1Char(' ');
        if (name.size() > 1 && upper.startsWith(name))
            return replacement + command.mid(name.size());
    }
    return command;
}

TCommand Parse(const QString &command)
{
    const auto starts = [&command](const char *word) {
        return command.startsWith(QLatin1String(word), Qt::CaseInsensitive);
    };
    if (starts("MSG "))
        return {TKind::Msg, command.mid(4)};
    if (starts("ME "))
        return {TKind::Me, command.mid(3)};
    if (starts("IGNORE "))
        return {TKind::Ignore, command.mid(7).trimmed()};
    if (starts("AWAY ") || command.compare(QLatin1String("AWAY"), Qt::CaseInsensitive) == 0)
        return {TKind::Away, command.mid(4).trimmed()};
    if (starts("BACK"))
        return {TKind::Back, QString()};
    return {TKind::Raw, command};
}

QString AwayTimeText(quint32 seconds)
{
    const quint32 hours = seconds / 3600;
    const quint32 minutes = (seconds / 60) % 60;
    const quint32 rest = seconds % 60;
    return QStringLiteral("%1h:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
}

bool TAwayReplyGuard::Allow(const QString &nick, const QString &text, quint32 nowMs)
{
    if (text.startsWith(QLatin1String(AwayReplyStart)))
        return false;
    const auto it = m_lastReply.constFind(nick);
    if (it != m_lastReply.constEnd() && nowMs - it.value() < IntervalMs)
        return false;
    // Old entries go, so the table stays as small as the set of recent senders.
    if (m_lastReply.size() > 1000)
        m_lastReply.removeIf([nowMs](const auto &entry) { return nowMs - entry.value() >= IntervalMs; });
    m_lastReply.insert(nick, nowMs);
    return true;
}

} // namespace ChatCommands
