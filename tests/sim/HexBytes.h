#pragma once

// Byte tables for tests, written the way the layouts are drawn: "04 0F 1B 00", "z6" for six zero
// bytes and 'text' for the characters of a text.

#include <QByteArray>
#include <QString>

inline QByteArray HexBytes(const QString &table)
{
    QByteArray out;
    qsizetype i = 0;
    while (i < table.size()) {
        const QChar c = table[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('\'')) {
            const qsizetype end = table.indexOf(QLatin1Char('\''), i + 1);
            out += table.mid(i + 1, end - i - 1).toLatin1();
            i = end + 1;
        } else if (c == QLatin1Char('z')) {
            qsizetype j = i + 1;
            while (j < table.size() && table[j].isDigit())
                ++j;
            out += QByteArray(table.mid(i + 1, j - i - 1).toInt(), '\0');
            i = j;
        } else {
            out += char(table.mid(i, 2).toUInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}
