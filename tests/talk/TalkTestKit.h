#pragma once

#include "net/URC4.h"
#include "talk/TalkProtocol.h"

#include <QTcpServer>

#include <memory>
#include <stdexcept>
#include <vector>

// What a peer would see: the display text ('\n' for a line break), caption and beeps.
class TModelDisplay : public TTalkDisplay
{
public:
    QString text;
    QString name;
    int beeps = 0;
    int edits = 0;
    int keyExchanges = 0;
    int names = 0;

    void ApplyEdit(const TTalkEdit &edit) override
    {
        ++edits;
        beeps += edit.beeps;
        TalkText::Apply(text, edit);
    }
    void ShowPeerName(const QString &peerName) override
    {
        ++names;
        name = peerName;
    }
    void KeyExchanged() override { ++keyExchanges; }
};

class TMemoryLink : public TTalkLink
{
public:
    QByteArray written;
    void Write(const QByteArray &bytes) override { written += bytes; }
};

// A deterministic generator: Seed, Seed+Step, ...
inline TRandomByteSource CountingRandom(quint8 seed, quint8 step = 1)
{
    return [value = seed, step]() mutable {
        const quint8 byte = value;
        value = quint8(value + step);
        return byte;
    };
}

inline TRandomByteSource FailingRandom(int after = 0)
{
    return [after]() mutable -> quint8 {
        if (after-- <= 0)
            throw std::runtime_error("Unable to generate random number, random seed not initialized!");
        return 7;
    };
}

// Hexadecimal text to bit text without leading zeros, worked out digit by digit.
inline QString HexToBits(const QByteArray &hex)
{
    QString bits;
    for (const char c : hex) {
        const int value = QByteArray(1, c).toInt(nullptr, 16);
        for (int bit = 3; bit >= 0; --bit)
            bits += (value >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    }
    while (bits.startsWith(QLatin1Char('0')))
        bits.remove(0, 1);
    return bits;
}

// One direction of a talk stream built without the engine: key, "=", then the alias, a
// zero byte and Payload through RC4 keyed from the key's bits.
inline QByteArray EncodeStream(const QByteArray &keyHex, const QByteArray &alias, const QByteArray &payload)
{
    TRC4 cipher;
    cipher.SetKey(HexToBits(keyHex));
    QByteArray plain = alias + QByteArray(1, '\0') + payload;
    for (char &c : plain)
        c = char(quint8(c) ^ cipher.NextByte());
    return keyHex + '=' + plain;
}

// Decrypts bytes that follow a key text, the way the peer does.
inline QByteArray DecodeAfterKey(const QByteArray &keyHex, QByteArray cipher)
{
    TRC4 rc4;
    rc4.SetKey(HexToBits(keyHex));
    for (char &c : cipher)
        c = char(quint8(c) ^ rc4.NextByte());
    return cipher;
}

// A TCP port nobody listens on right now.
inline quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// Count different such ports.
inline QStringList FreeTcpPorts(int count)
{
    std::vector<std::unique_ptr<QTcpServer>> probes;
    QStringList ports;
    for (int i = 0; i < count; ++i) {
        probes.push_back(std::make_unique<QTcpServer>());
        probes.back()->listen(QHostAddress::Any, 0);
        ports << QString::number(probes.back()->serverPort());
    }
    return ports;
}
