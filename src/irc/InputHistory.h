#pragma once

#include <QString>
#include <QStringList>

// The lines sent from one conversation's input line, walked with Up and Down. The line being
// typed when the walk starts is kept and comes back after the newest line.
class TInputHistory
{
public:
    static constexpr int MaxLines = 100;

    // A sent line; ends any walk. Empty lines and a repeat of the newest line are not kept.
    void Add(const QString &line);
    // One line older; Current is what the input line shows now. False at the oldest line.
    bool Up(const QString &current, QString &shown);
    // One line newer, the kept line after the newest. False when not walking.
    bool Down(QString &shown);
    void Reset() { m_pos = -1; }
    bool Walking() const { return m_pos >= 0; }
    int Count() const { return int(m_lines.size()); }

private:
    QStringList m_lines; // oldest first
    int m_pos = -1;      // index into m_lines while walking
    QString m_draft;
};
