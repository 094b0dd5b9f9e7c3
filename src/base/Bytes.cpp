#include "base/Bytes.h"

#include <QtEndian>

quint8 TByteReader::U8At(qsizetype at) const
{
    if (at < 0 || at >= m_data.size()) {
        m_ok = false;
        return 0;
    }
    return quint8(m_data[at]);
}

quint16 TByteReader::U16LEAt(qsizetype at) const
{
    return quint16(U8At(at) | U8At(at + 1) << 8);
}

quint16 TByteReader::U16BEAt(qsizetype at) const
{
    return quint16(U8At(at) << 8 | U8At(at + 1));
}

quint32 TByteReader::U32LEAt(qsizetype at) const
{
    return quint32(U16LEAt(at)) | quint32(U16LEAt(at + 2)) << 16;
}

quint32 TByteReader::U32BEAt(qsizetype at) const
{
    return quint32(U16BEAt(at)) << 16 | quint32(U16BEAt(at + 2));
}

QByteArrayView TByteReader::BytesAt(qsizetype at, qsizetype count) const
{
    if (at < 0 || count < 0 || at > m_data.size()) {
        m_ok = false;
        return {};
    }
    if (count > m_data.size() - at) {
        m_ok = false;
        count = m_data.size() - at;
    }
    return m_data.sliced(at, count);
}

QByteArrayView TByteReader::ZeroEndedAt(qsizetype at, qsizetype size) const
{
    const QByteArrayView field = BytesAt(at, size);
    const qsizetype zero = field.indexOf('\0');
    return zero < 0 ? field : field.first(zero);
}

quint8 TByteReader::TakeU8()
{
    return U8At(m_pos++);
}

quint16 TByteReader::TakeU16LE()
{
    const quint16 value = U16LEAt(m_pos);
    m_pos += 2;
    return value;
}

quint32 TByteReader::TakeU32LE()
{
    const quint32 value = U32LEAt(m_pos);
    m_pos += 4;
    return value;
}

QByteArrayView TByteReader::Take(qsizetype count)
{
    const QByteArrayView bytes = BytesAt(m_pos, count);
    m_pos += count;
    return bytes;
}

QByteArrayView TByteReader::TakeZeroEnded()
{
    const QByteArrayView rest = BytesAt(std::min(m_pos, m_data.size()), Remaining());
    const qsizetype zero = rest.indexOf('\0');
    m_pos += zero < 0 ? rest.size() : zero + 1;
    return zero < 0 ? rest : rest.first(zero);
}

char *TByteWriter::Room(qsizetype at, qsizetype count)
{
    if (at + count > m_data.size())
        m_data.append(at + count - m_data.size(), '\0');
    return m_data.data() + at;
}

void TByteWriter::U8At(qsizetype at, quint8 value)
{
    *Room(at, 1) = char(value);
}

void TByteWriter::U16LEAt(qsizetype at, quint16 value)
{
    qToLittleEndian<quint16>(value, Room(at, 2));
}

void TByteWriter::U16BEAt(qsizetype at, quint16 value)
{
    qToBigEndian<quint16>(value, Room(at, 2));
}

void TByteWriter::U32LEAt(qsizetype at, quint32 value)
{
    qToLittleEndian<quint32>(value, Room(at, 4));
}

void TByteWriter::U32BEAt(qsizetype at, quint32 value)
{
    qToBigEndian<quint32>(value, Room(at, 4));
}

void TByteWriter::FieldAt(qsizetype at, QByteArrayView bytes, qsizetype size)
{
    const QByteArrayView cut = bytes.first(std::min(bytes.size(), size));
    char *room = Room(at, size);
    std::copy(cut.begin(), cut.end(), room);
}

void TByteWriter::AddU16LE(quint16 value)
{
    U16LEAt(m_data.size(), value);
}

void TByteWriter::AddU32LE(quint32 value)
{
    U32LEAt(m_data.size(), value);
}
