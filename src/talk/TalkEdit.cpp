#include "talk/TalkEdit.h"

#include "base/Text.h"

#include <QStringDecoder>

#include <array>

namespace {
std::array<QChar, 256> MakeWindows1252Table()
{
    std::array<QChar, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = QChar(char16_t(i));
    // Where the platform has no Windows-1252 decoder, Latin-1 is the nearest.
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        return table;
    for (int i = 0x80; i < 0x100; ++i) {
        const char byte = char(i);
        const QString decoded = decoder.decode(QByteArrayView(&byte, 1));
        decoder.resetState();
        if (decoded.size() == 1)
            table[i] = decoded.front();
    }
    return table;
}

const std::array<QChar, 256> &Windows1252()
{
    static const std::array<QChar, 256> table = MakeWindows1252Table();
    return table;
}
} // namespace

QChar TalkText::DisplayChar(quint8 byte)
{
    if (byte == '\r' || byte == '\n')
        return QLatin1Char('\n');
    if (byte == '\t')
        return QLatin1Char('\t');
    if (byte < 0x20 || byte == 0x7F)
        return QChar(QChar::ReplacementCharacter);
    return Windows1252()[byte];
}

QString TalkText::DecodeAlias(const QByteArray &bytes)
{
    return Text::Decode(bytes);
}

void TalkText::Apply(QString &text, const TTalkEdit &edit, qsizetype maxChars)
{
    text.chop(std::min(edit.erase, text.size()));
    text += edit.append;
    if (text.size() > maxChars)
        text.remove(0, text.size() - maxChars);
}
