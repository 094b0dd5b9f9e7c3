#pragma once

// Small helpers for reading and writing the simulator's datagrams. Reads past the end of a
// datagram give zero, as a lenient peer would see them.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

namespace WireBytes {

inline quint8 Byte(QByteArrayView data, qsizetype offset)
{
    return offset >= 0 && offset < data.size() ? quint8(data[offset]) : 0;
}

inline quint16 U16le(QByteArrayView data, qsizetype offset)
{
    return quint16(Byte(data, offset) | Byte(data, offset + 1) << 8);
}

inline quint32 U32le(QByteArrayView data, qsizetype offset)
{
    return quint32(Byte(data, offset)) | quint32(Byte(data, offset + 1)) << 8 | quint32(Byte(data, offset + 2)) << 16 |
           quint32(Byte(data, offset + 3)) << 24;
}

// A byte-string literal with its embedded zero bytes (a plain literal would stop at the first).
template <qsizetype N> constexpr QByteArrayView Bytes(const char (&text)[N])
{
    return QByteArrayView(text, N - 1);
}

// Writes into an already sized buffer; the caller sizes it for the layout.
void PutU16le(QByteArray &out, qsizetype offset, quint16 value);
void PutU32le(QByteArray &out, qsizetype offset, quint32 value);
void PutU16be(QByteArray &out, qsizetype offset, quint16 value);
// Copies at most size bytes of text; the rest of the field stays as it is (zero in a fresh buffer).
void PutField(QByteArray &out, qsizetype offset, qsizetype size, QByteArrayView text);

// A fixed-size text field: the bytes up to the first zero (all of them when there is none).
// clean is false when a non-zero byte follows that zero (a field not cleared before it was written).
QByteArray TextField(QByteArrayView data, qsizetype offset, qsizetype size, bool *clean = nullptr);

// Notes each byte of [offset, offset + expected.size()) that differs from expected.
void ExpectBytes(QByteArrayView data, qsizetype offset, QByteArrayView expected, const char *what,
                 QStringList &deviations);
void ExpectZeros(QByteArrayView data, qsizetype offset, qsizetype size, const char *what, QStringList &deviations);
void ExpectSize(QByteArrayView data, qsizetype size, QStringList &deviations);

} // namespace WireBytes
