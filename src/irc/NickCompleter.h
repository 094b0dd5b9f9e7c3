#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Tab completion of nicks in the input line. The word before the cursor is completed from the
// conversation's users, the most recent speakers first; pressing Tab again (text and cursor as
// we left them) cycles through the other matches.
class TNickCompleter
{
public:
    struct TCandidate
    {
        QString Nick;
        qint64 LastSpoke = 0; // larger is more recent; 0: never spoke
    };

    // True when C may be part of a nick: letters, digits and []\`^{}|_-.
    static bool IsNickChar(QChar c);
    // The candidates in completion order: speakers by recency, then the rest by name.
    static QStringList Order(const QList<TCandidate> &users);

    // Completes Text at Cursor in place; false when nothing matched (text unchanged).
    bool Complete(QString &text, int &cursor, const QList<TCandidate> &users, const QString &ownNick = {});
    void Reset() { m_active = false; }

private:
    bool m_active = false;
    QString m_text;   // the text as we left it
    int m_cursor = 0; // the cursor as we left it
    int m_start = 0;  // where the completed word starts
    QString m_before, m_after;
    QStringList m_matches;
    int m_index = 0;
};
