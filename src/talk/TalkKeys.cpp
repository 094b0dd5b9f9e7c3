#include "talk/TalkKeys.h"

#include <Qt>

namespace {
QByteArray Pair(char command)
{
    return QByteArray(1, TalkKeys::Escape) + command;
}
} // namespace

bool TalkKeys::IsSendable(QChar c)
{
    return c.unicode() >= 32 && c.unicode() <= 126;
}

QByteArray TalkKeys::ForChar(QChar c)
{
    if (c == QLatin1Char('\n'))
        return Pair(Enter);
    if (IsSendable(c))
        return QByteArray(1, char(c.unicode()));
    return {};
}

QByteArray TalkKeys::ForKey(int key, const QString &text)
{
    if (key == Qt::Key_Backspace)
        return Pair(Backspace);
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return Pair(Enter);
    if (text.size() == 1 && IsSendable(text.front()))
        return QByteArray(1, char(text.front().unicode()));
    return {};
}

QByteArray TalkKeys::BeepPair()
{
    return Pair(Beep);
}
