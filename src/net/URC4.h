#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// RC4 with keys and states handed over as bit text: one '0'/'1' character per bit,
// most significant bit first.
class TRC4
{
public:
    TRC4();

    void InitState();
    // The key is repeated cyclically until 2048 bits are filled; empty means all zero.
    void SetKey(const QString &keyBits);
    // The key schedule over a ready 256-byte key array.
    void SetKeyBytes(const std::array<quint8, 256> &key);
    quint8 NextByte()
    {
        ++m_i;
        const quint8 t = m_state[m_i];
        m_j = quint8(m_j + t);
        m_state[m_i] = m_state[m_j];
        m_state[m_j] = t;
        return m_state[quint8(t + m_state[m_i])];
    }
    // XORs Data with the next keystream bytes, in place.
    void Apply(char *data, qsizetype length);
    void Apply(QByteArray &data) { Apply(data.data(), data.size()); }

    // The 256 state bytes as 2048 bit characters; the indices are not part of it.
    QString GetStateBits() const;
    void SetStateBits(const QString &bits);

    const std::array<quint8, 256> &State() const { return m_state; }
    quint8 IndexI() const { return m_i; }
    quint8 IndexJ() const { return m_j; }

private:
    std::array<quint8, 256> m_state{};
    quint8 m_i = 0;
    quint8 m_j = 0;
};
