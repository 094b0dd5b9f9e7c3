#pragma once

#include <QString>
#include <QStringList>

// Decides whether a line from someone else mentions us: our nick or one of the highlight words
// as a word of its own (not inside a longer nick or word), ignoring case.
class TMentionMatcher
{
public:
    void SetNick(const QString &nick) { m_nick = nick; }
    void SetWords(const QStringList &words);
    bool Matches(const QString &text) const;
    // True when Word occurs in Text with no nick character right before or after it.
    static bool ContainsWord(const QString &text, const QString &word);

private:
    QString m_nick;
    QStringList m_words;
};
