#include "irc/InputHistory.h"

void TInputHistory::Add(const QString &line)
{
    m_pos = -1;
    m_draft.clear();
    if (line.isEmpty() || (!m_lines.isEmpty() && m_lines.last() == line))
        return;
    m_lines.append(line);
    while (m_lines.size() > MaxLines)
        m_lines.removeFirst();
}

bool TInputHistory::Up(const QString &current, QString &shown)
{
    if (m_lines.isEmpty() || m_pos == 0)
        return false;
    if (m_pos < 0) {
        m_draft = current;
        m_pos = int(m_lines.size());
    }
    shown = m_lines.at(--m_pos);
    return true;
}

bool TInputHistory::Down(QString &shown)
{
    if (m_pos < 0)
        return false;
    if (++m_pos >= m_lines.size()) {
        m_pos = -1;
        shown = m_draft;
        m_draft.clear();
        return true;
    }
    shown = m_lines.at(m_pos);
    return true;
}
