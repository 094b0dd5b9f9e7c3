#include "net/URC4.h"

#include <QtEndian>

#include <cstring>
#include <utility>

TRC4::TRC4()
{
    InitState();
}

void TRC4::InitState()
{
    for (int k = 0; k < 256; ++k)
        m_state[size_t(k)] = quint8(k);
}

void TRC4::SetKey(const QString &keyBits)
{
    std::array<quint8, 256> key{};
    if (!keyBits.isEmpty()) {
        qsizetype pos = 0;
        for (quint8 &byte : key) {
            for (int bit = 7; bit >= 0; --bit) {
                if (keyBits[pos] == QLatin1Char('1'))
                    byte |= quint8(1u << bit);
                if (++pos == keyBits.size())
                    pos = 0;
            }
        }
    }
    SetKeyBytes(key);
}

void TRC4::SetKeyBytes(const std::array<quint8, 256> &key)
{
    InitState();
    quint8 j = 0;
    for (size_t i = 0; i < 256; ++i) {
        j = quint8(j + m_state[i] + key[i]);
        std::swap(m_state[i], m_state[j]);
    }
}

void TRC4::Apply(char *data, qsizetype length)
{
    // Work on local copies: stores through a char pointer may alias any member, which
    // would force a reload of the state and both indices for every byte. Eight keystream
    // bytes are gathered into one word and XORed at once.
    std::array<quint8, 256> s = m_state;
    unsigned i = m_i;
    unsigned j = m_j;
    auto next = [&s, &i, &j]() -> unsigned {
        i = (i + 1) & 255;
        const unsigned t = s[i];
        j = (j + t) & 255;
        const unsigned u = s[j];
        s[i] = quint8(u);
        s[j] = quint8(t);
        return s[(t + u) & 255];
    };
    qsizetype k = 0;
    for (; k + 8 <= length; k += 8) {
        quint64 stream = 0;
        for (unsigned byte = 0; byte < 8; ++byte)
            stream |= quint64(next()) << (8 * byte);
        quint64 word;
        std::memcpy(&word, data + k, 8);
        word ^= qToLittleEndian(stream);
        std::memcpy(data + k, &word, 8);
    }
    for (; k < length; ++k)
        data[k] = char(quint8(data[k]) ^ next());
    m_state = s;
    m_i = quint8(i);
    m_j = quint8(j);
}

QString TRC4::GetStateBits() const
{
    QString bits(2048, QLatin1Char('0'));
    QChar *out = bits.data();
    for (const quint8 byte : m_state) {
        for (int bit = 7; bit >= 0; --bit)
            *out++ = (byte >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    }
    return bits;
}

void TRC4::SetStateBits(const QString &bits)
{
    qsizetype pos = 0;
    for (quint8 &byte : m_state) {
        unsigned value = 0;
        for (int n = 0; n < 8; ++n) {
            value <<= 1;
            if (pos < bits.size()) {
                if (bits[pos] == QLatin1Char('1'))
                    value |= 1;
                ++pos;
            }
        }
        byte = quint8(value);
    }
}
