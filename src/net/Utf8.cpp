#include "net/Utf8.h"

QByteArray Utf8::Cut(const QByteArray &bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    if (maxBytes <= 0)
        return {};
    qsizetype end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut sequence.
    qsizetype back = end;
    while (back > 0 && (quint8(bytes[back]) & 0xC0) == 0x80)
        --back;
    if (back < end && back >= 0) {
        const quint8 lead = quint8(bytes[back]);
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (back + length > end)
            end = back; // the sequence would not fit whole
    }
    return bytes.left(end);
}
