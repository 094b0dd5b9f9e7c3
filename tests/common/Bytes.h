#pragma once

// Bytes for tests: from hexadecimal text, and contents different for every size and seed.
#include <QByteArray>

inline QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

inline QByteArray SeededBytes(qint64 size, int seed = 1)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = 2463534242u ^ quint32(seed * 7919 + size);
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    return data;
}
