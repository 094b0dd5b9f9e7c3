#include "irc/NickCompleter.h"

#include <algorithm>

bool TNickCompleter::IsNickChar(QChar c)
{
    if (c.isLetterOrNumber())
        return true;
    switch (c.unicode()) {
    case u'[':
    case u']':
    case u'\\':
    case u'`':
    case u'^':
    case u'{':
    case u'}':
    case u'|':
    case u'_':
    case u'-':
        return true;
    default:
        return false;
    }
}

QStringList TNickCompleter::Order(const QList<TCandidate> &users)
{
    QList<TCandidate> sorted = users;
    std::stable_sort(sorted.begin(), sorted.end(), [](const TCandidate &a, const TCandidate &b) {
        if (a.LastSpoke != b.LastSpoke)
            return a.LastSpoke > b.LastSpoke;
        return a.Nick.compare(b.Nick, Qt::CaseInsensitive) < 0;
    });
    QStringList nicks;
    for (const TCandidate &c : sorted) {
        if (!c.Nick.isEmpty() && !nicks.contains(c.Nick))
            nicks << c.Nick;
    }
    return nicks;
}

bool TNickCompleter::Complete(QString &text, int &cursor, const QList<TCandidate> &users, const QString &ownNick)
{
    cursor = std::clamp(cursor, 0, int(text.size()));
    if (m_active && text == m_text && cursor == m_cursor && !m_matches.isEmpty()) {
        m_index = (m_index + 1) % int(m_matches.size());
    } else {
        m_active = false;
        int start = cursor;
        while (start > 0 && IsNickChar(text.at(start - 1)))
            --start;
        const QString prefix = text.mid(start, cursor - start);
        if (prefix.isEmpty())
            return false;
        m_matches.clear();
        for (const QString &nick : Order(users)) {
            if (nick.startsWith(prefix, Qt::CaseInsensitive) && nick.compare(ownNick, Qt::CaseInsensitive) != 0)
                m_matches << nick;
        }
        if (m_matches.isEmpty())
            return false;
        m_start = start;
        m_before = text.left(start);
        m_after = text.mid(cursor);
        m_index = 0;
        m_active = true;
    }
    // At the start of the line the nick addresses someone; elsewhere a blank ends the word.
    QString suffix;
    const bool blankFollows = !m_after.isEmpty() && m_after.at(0).isSpace();
    if (m_start == 0)
        suffix = blankFollows ? QStringLiteral(":") : QStringLiteral(": ");
    else if (!blankFollows)
        suffix = QStringLiteral(" ");
    const QString completed = m_matches.at(m_index) + suffix;
    text = m_before + completed + m_after;
    // The cursor goes past the blank that ends the nick, ready for the next word.
    cursor = int(m_before.size() + completed.size()) + (blankFollows ? 1 : 0);
    m_text = text;
    m_cursor = cursor;
    return true;
}
