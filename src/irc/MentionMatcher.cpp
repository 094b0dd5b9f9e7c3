#include "irc/MentionMatcher.h"

#include "irc/NickCompleter.h"

void TMentionMatcher::SetWords(const QStringList &words)
{
    m_words.clear();
    for (const QString &word : words) {
        const QString trimmed = word.trimmed();
        if (!trimmed.isEmpty())
            m_words << trimmed;
    }
}

bool TMentionMatcher::ContainsWord(const QString &text, const QString &word)
{
    if (word.isEmpty())
        return false;
    // A word boundary is judged by the characters a nick may hold, so "[x]" is a word too.
    const auto joins = [](QChar c) { return TNickCompleter::IsNickChar(c); };
    for (qsizetype at = text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(word, at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + word.size();
        const bool openBefore = at == 0 || !joins(text.at(at - 1)) || !joins(word.front());
        const bool openAfter = end >= text.size() || !joins(text.at(end)) || !joins(word.back());
        if (openBefore && openAfter)
            return true;
    }
    return false;
}

bool TMentionMatcher::Matches(const QString &text) const
{
    if (ContainsWord(text, m_nick))
        return true;
    for (const QString &word : m_words) {
        if (ContainsWord(text, word))
            return true;
    }
    return false;
}
