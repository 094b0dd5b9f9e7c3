#pragma once

#include <QByteArray>
#include <QString>

// What one read of a talk stream does to the conversation's display, in one step: first
// Erase units come off the end of the text already shown (a unit is one character or one
// line break), then Append goes on ('\n' stands for a line break). Backspaces that fall on
// text of the same read are folded into Append, so they never reach the display.
struct TTalkEdit
{
    qsizetype erase = 0;
    QString append;
    int beeps = 0;

    bool IsEmpty() const { return erase == 0 && append.isEmpty() && beeps == 0; }
    void AppendChar(QChar c) { append += c; }
    void LineBreak() { append += QLatin1Char('\n'); }
    void Backspace()
    {
        if (append.isEmpty())
            ++erase;
        else
            append.chop(1);
    }
};

namespace TalkText {
// The longest display text kept: past it the oldest text goes, so a peer that types for
// ever cannot fill the memory.
constexpr qsizetype MaxDisplayChars = 256 * 1024;

// How one received character byte shows: CR and LF as a line break, TAB as itself, other
// control bytes as U+FFFD, the rest as Windows-1252.
QChar DisplayChar(quint8 byte);
// An alias from the wire: UTF-8 when it is valid, Windows-1252 otherwise.
QString DecodeAlias(const QByteArray &bytes);
// Applies Edit to Text, where a line break is '\n', and keeps at most MaxChars characters.
void Apply(QString &text, const TTalkEdit &edit, qsizetype maxChars = MaxDisplayChars);
} // namespace TalkText
