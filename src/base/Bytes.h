#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// Reading and writing the program's binary layouts, so that no codec counts offsets against
// the end of its data by hand.
//
// A reader never reads past its data: a read beyond the end gives zero bytes (as a receive
// buffer that is zero beyond the datagram would) and clears Ok, so a codec may read every
// field and check Ok once. Reads are at a position (At…) or in order from a cursor (Take…).
class TByteReader
{
public:
    explicit TByteReader(QByteArrayView data) : m_data(data) {}

    qsizetype Size() const { return m_data.size(); }
    // False once any read went past the end.
    bool Ok() const { return m_ok; }

    quint8 U8At(qsizetype at) const;
    quint16 U16LEAt(qsizetype at) const;
    quint16 U16BEAt(qsizetype at) const;
    quint32 U32LEAt(qsizetype at) const;
    quint32 U32BEAt(qsizetype at) const;
    // Up to Count bytes from At (fewer at the end of the data, which clears Ok).
    QByteArrayView BytesAt(qsizetype at, qsizetype count) const;
    // The bytes of a field of Size at At up to its first zero byte.
    QByteArrayView ZeroEndedAt(qsizetype at, qsizetype size) const;

    // The cursor and the reads that move it.
    qsizetype Pos() const { return m_pos; }
    qsizetype Remaining() const { return m_pos < m_data.size() ? m_data.size() - m_pos : 0; }
    void Seek(qsizetype pos) { m_pos = pos; }
    void Skip(qsizetype count) { m_pos += count; }
    quint8 TakeU8();
    quint16 TakeU16LE();
    quint32 TakeU32LE();
    QByteArrayView Take(qsizetype count);
    // The bytes up to the next zero byte, which is taken too; to the end when there is none.
    QByteArrayView TakeZeroEnded();

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    mutable bool m_ok = true;
};

// Builds a layout: a buffer of zero bytes of a fixed size written at positions, or grown by
// appending.
class TByteWriter
{
public:
    explicit TByteWriter(qsizetype size = 0) : m_data(size, '\0') {}

    void U8At(qsizetype at, quint8 value);
    void U16LEAt(qsizetype at, quint16 value);
    void U16BEAt(qsizetype at, quint16 value);
    void U32LEAt(qsizetype at, quint32 value);
    void U32BEAt(qsizetype at, quint32 value);
    // Field of Size bytes at At: Bytes cut to it, the rest left zero.
    void FieldAt(qsizetype at, QByteArrayView bytes, qsizetype size);

    void AddU8(quint8 value) { m_data.append(char(value)); }
    void AddU16LE(quint16 value);
    void AddU32LE(quint32 value);
    void Add(QByteArrayView bytes) { m_data.append(bytes); }

    qsizetype Size() const { return m_data.size(); }
    const QByteArray &Data() const { return m_data; }

private:
    // Writes beyond the buffer grow it with zero bytes.
    char *Room(qsizetype at, qsizetype count);

    QByteArray m_data;
};
