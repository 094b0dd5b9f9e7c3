#include "sim/WireBytes.h"

namespace WireBytes {

void PutU16le(QByteArray &out, qsizetype offset, quint16 value)
{
    out[offset] = char(value & 0xFF);
    out[offset + 1] = char(value >> 8);
}

void PutU32le(QByteArray &out, qsizetype offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = char((value >> (8 * i)) & 0xFF);
}

void PutU16be(QByteArray &out, qsizetype offset, quint16 value)
{
    out[offset] = char(value >> 8);
    out[offset + 1] = char(value & 0xFF);
}

void PutField(QByteArray &out, qsizetype offset, qsizetype size, QByteArrayView text)
{
    const qsizetype count = std::min(size, text.size());
    for (qsizetype i = 0; i < count; ++i)
        out[offset + i] = text[i];
}

QByteArray TextField(QByteArrayView data, qsizetype offset, qsizetype size, bool *clean)
{
    QByteArray text;
    bool ended = false;
    bool tidy = true;
    for (qsizetype i = 0; i < size; ++i) {
        const quint8 b = Byte(data, offset + i);
        if (ended) {
            tidy = tidy && b == 0;
        } else if (b == 0) {
            ended = true;
        } else {
            text.append(char(b));
        }
    }
    if (clean)
        *clean = tidy;
    return text;
}

void ExpectBytes(QByteArrayView data, qsizetype offset, QByteArrayView expected, const char *what,
                 QStringList &deviations)
{
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const quint8 got = Byte(data, offset + i);
        if (got != quint8(expected[i])) {
            deviations << QStringLiteral("%1: byte %2 is 0x%3, expected 0x%4")
                              .arg(QString::fromLatin1(what))
                              .arg(offset + i)
                              .arg(got, 2, 16, QLatin1Char('0'))
                              .arg(quint8(expected[i]), 2, 16, QLatin1Char('0'));
            return;
        }
    }
}

void ExpectZeros(QByteArrayView data, qsizetype offset, qsizetype size, const char *what, QStringList &deviations)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (Byte(data, offset + i) != 0) {
            deviations << QStringLiteral("%1: byte %2 is not zero").arg(QString::fromLatin1(what)).arg(offset + i);
            return;
        }
    }
}

void ExpectSize(QByteArrayView data, qsizetype size, QStringList &deviations)
{
    if (data.size() != size)
        deviations << QStringLiteral("length %1, expected %2").arg(data.size()).arg(size);
}

} // namespace WireBytes
