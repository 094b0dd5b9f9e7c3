#include "net/URC4.h"

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
    // would force a reload of the state and both indices for every byte.
    std::array<quint8, 256> s = m_state;
    quint8 i = m_i;
    quint8 j = m_j;
    for (qsizetype k = 0; k < length; ++k) {
        ++i;
        const quint8 t = s[i];
        j = quint8(j + t);
        s[i] = s[j];
        s[j] = t;
        data[k] = char(quint8(data[k]) ^ s[quint8(t + s[i])]);
    }
    m_state = s;
    m_i = i;
    m_j = j;
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
