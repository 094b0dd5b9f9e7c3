#pragma once

#include "net/URC4.h"
#include "talk/TalkProtocol.h"

#include <QTcpServer>

#include <stdexcept>

// What a peer would see: the display text ('\n' for a line break), caption and beeps.
class TModelDisplay : public TTalkDisplay
{
public:
    QString text;
    QString name;
    int beeps = 0;
    int edits = 0;
    int keyExchanges = 0;

    void ApplyEdit(const TTalkEdit &edit) override
    {
        ++edits;
        beeps += edit.beeps;
        TalkText::Apply(text, edit);
    }
    void ShowPeerName(const QString &peerName) override { name = peerName; }
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

// Bytes through RC4 keyed the way a peer keys it from its hexadecimal key text: the key's
// bits without leading zeros, worked out digit by digit.
inline QByteArray Cipher(const QByteArray &keyHex, QByteArray bytes)
{
    QString bits;
    for (const char c : keyHex) {
        const int value = QByteArray(1, c).toInt(nullptr, 16);
        for (int bit = 3; bit >= 0; --bit)
            bits += (value >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    }
    while (bits.startsWith(QLatin1Char('0')))
        bits.remove(0, 1);
    TRC4 rc4;
    rc4.SetKey(bits);
    for (char &c : bytes)
        c = char(quint8(c) ^ rc4.NextByte());
    return bytes;
}

// One direction of a talk stream built without the engine: key, "=", then the alias, a
// zero byte and Payload, enciphered.
inline QByteArray EncodeStream(const QByteArray &keyHex, const QByteArray &alias, const QByteArray &payload)
{
    return keyHex + '=' + Cipher(keyHex, alias + QByteArray(1, '\0') + payload);
}

// Count different TCP ports nobody listens on right now.
inline QStringList FreeTcpPorts(int count)
{
    QObject probes;
    QStringList ports;
    for (int i = 0; i < count; ++i) {
        auto *probe = new QTcpServer(&probes);
        ports << (probe->listen(QHostAddress::Any, 0) ? QString::number(probe->serverPort()) : QString());
    }
    return ports;
}
