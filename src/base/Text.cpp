#include "base/Text.h"

#include <QStringDecoder>

namespace Text {

QString Decode(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid())
        return ansi.decode(bytes);
    return QString::fromLatin1(bytes.data(), bytes.size());
}

QByteArray CutUtf8(const QByteArray &bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    if (maxBytes <= 0)
        return {};
    qsizetype end = maxBytes;
    // Back over continuation bytes (10xxxxxx) to the lead of the sequence at the cut; it goes
    // when it would not fit whole. Stray continuation bytes with no lead are kept as they are.
    qsizetype back = end;
    while (back > 0 && (quint8(bytes.at(back)) & 0xC0) == 0x80)
        --back;
    if (back < end) {
        const quint8 lead = quint8(bytes.at(back));
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (back + length > end)
            end = back;
    }
    return bytes.left(end);
}

QString CutToBytes(const QString &text, qsizetype maxBytes)
{
    const QByteArray bytes = text.toUtf8();
    return bytes.size() <= maxBytes ? text : QString::fromUtf8(CutUtf8(bytes, maxBytes));
}

} // namespace Text
