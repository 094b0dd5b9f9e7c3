#pragma once

// The test's side of an exchange with the running simulator: requests built by hand from the
// layouts, and replies read by offsets, independently of the simulator's own codecs.

#include "HexBytes.h"

#include <QMap>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

namespace SimTest {

inline void PutText(QByteArray &d, int offset, int size, const QByteArray &text)
{
    const QByteArray cut = text.left(size);
    d.replace(offset, cut.size(), cut);
}

inline QByteArray LoginRequest(const QByteArray &name, const QByteArray &password)
{
    QByteArray d = HexBytes("04 0D 4D 00 z10 BB 09 z2 z33 z27");
    PutText(d, 18, 33, name);
    PutText(d, 51, 27, password);
    return d;
}

inline QByteArray StatsRequest(const QByteArray &displayName, const QByteArray &trackerId)
{
    QByteArray d = HexBytes("04 07 2F 00 0B z13 z20 z10");
    PutText(d, 18, 20, displayName);
    PutText(d, 38, 10, trackerId);
    return d;
}

inline QByteArray UserAck(quint32 value, quint8 mark)
{
    QByteArray d = HexBytes("04 00 11 00 05 z5 z4 z3") + char(mark);
    qToLittleEndian<quint32>(value, d.data() + 10);
    return d;
}

inline QByteArray ListRequest()
{
    return HexBytes("03 29 00 z2 02 z16 07 z7 '#autoselect' 00");
}

inline QByteArray ListAck(quint32 value)
{
    QByteArray d = HexBytes("03 1D 00 z2 02 z16 01 00 00 00 z4");
    qToLittleEndian<quint32>(value, d.data() + 26);
    return d;
}

inline QByteArray GameInfoRequest(quint16 sequence, quint32 version = 606814)
{
    QByteArray d = HexBytes("01 29 0B 00 z2 z4 z8");
    qToLittleEndian<quint16>(sequence, d.data() + 4);
    qToLittleEndian<quint32>(version, d.data() + 6);
    return d;
}

inline QByteArray PlayerListRequest()
{
    return HexBytes("01 72 03 00");
}

inline QByteArray LevelRequest()
{
    return HexBytes("01 60 03 00");
}

inline QByteArray StatusRequest()
{
    return QByteArray("\\status\\", 9);
}

inline quint32 U32(const QByteArray &d, int offset)
{
    return offset + 4 <= d.size() ? qFromLittleEndian<quint32>(d.constData() + offset) : 0;
}

inline quint16 U16(const QByteArray &d, int offset)
{
    return offset + 2 <= d.size() ? qFromLittleEndian<quint16>(d.constData() + offset) : 0;
}

inline quint8 U8(const QByteArray &d, int offset)
{
    return offset < d.size() ? quint8(d[offset]) : 0;
}

inline quint16 Key(const QByteArray &d)
{
    return d.size() >= 2 ? quint16(quint8(d[0]) << 8 | quint8(d[1])) : 0;
}

struct TListEntry
{
    QString address;
    quint16 port = 0;
};

// Game-list reply: N = (size - 31) div 38; addresses after the N unread 32-byte blocks, then ports big-endian.
inline QList<TListEntry> ListEntries(const QByteArray &d)
{
    QList<TListEntry> entries;
    const int n = (int(d.size()) - 31) / 38;
    for (int i = 0; i < n; ++i) {
        const int ip = 31 + 32 * n + 4 * i;
        const int port = 31 + 36 * n + 2 * i;
        entries.append({QStringLiteral("%1.%2.%3.%4")
                            .arg(quint8(d[ip]))
                            .arg(quint8(d[ip + 1]))
                            .arg(quint8(d[ip + 2]))
                            .arg(quint8(d[ip + 3])),
                        quint16(quint8(d[port]) << 8 | quint8(d[port + 1]))});
    }
    return entries;
}

struct TGameInfo
{
    QByteArray name, level, description, gameType;
    quint16 levelNumber = 0, players = 0, maxPlayers = 0, sequence = 0;
    quint8 mode = 0, dedicated = 0, difficulty = 0;
};

// Game-info reply: from offset 20, four counted texts (L, L - 1 characters, one skipped byte), then the numbers.
inline TGameInfo GameInfo(const QByteArray &d)
{
    TGameInfo g;
    int at = 20;
    auto text = [&]() {
        const int l = at < d.size() ? quint8(d[at]) : 0;
        const QByteArray t = d.mid(at + 1, std::max(0, l - 1));
        at += 1 + std::max(l, 1);
        return t;
    };
    g.name = text();
    g.level = text();
    g.description = text();
    g.gameType = text();
    g.levelNumber = U16(d, at);
    g.players = U16(d, at + 2);
    g.maxPlayers = U16(d, at + 4);
    g.sequence = U16(d, at + 6);
    g.mode = U8(d, at + 12);
    g.dedicated = U8(d, at + 14);
    g.difficulty = U8(d, at + 15);
    return g;
}

// Player-list reply: names from offset 4, each ended by a zero byte, up to an empty one.
inline QList<QByteArray> PlayerNames(const QByteArray &d)
{
    QList<QByteArray> names;
    for (const QByteArray &name : d.mid(4).split('\0')) {
        if (name.isEmpty())
            break;
        names.append(name);
    }
    return names;
}

// Level reply: from offset 4, texts of a length byte n and n + 1 bytes, zero bytes dropped.
inline QList<QByteArray> LevelTexts(const QByteArray &d)
{
    QList<QByteArray> texts;
    for (int at = 4; at < d.size();) {
        const int n = quint8(d[at]);
        texts.append(d.mid(at + 1, n + 1).replace('\0', QByteArray()));
        at += n + 2;
    }
    return texts;
}

inline QMap<QByteArray, QByteArray> StatusFields(const QByteArray &d)
{
    QMap<QByteArray, QByteArray> fields;
    const QList<QByteArray> parts = d.mid(1).split('\\');
    for (int i = 0; i + 1 < parts.size(); i += 2)
        fields.insert(parts[i], parts[i + 1]);
    return fields;
}

// A client socket on 127.0.0.1 that sends one request and waits for the reply.
class TPeer
{
public:
    TPeer() { m_socket.bind(QHostAddress::LocalHost, 0); }

    void Send(const QByteArray &bytes, const QString &address, quint16 port)
    {
        m_socket.writeDatagram(bytes, QHostAddress(address), port);
    }

    // The next datagram, or an empty one after timeoutMs.
    QNetworkDatagram Receive(int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_socket.hasPendingDatagrams() && clock.elapsed() < timeoutMs)
            QTest::qWait(5);
        return m_socket.hasPendingDatagrams() ? m_socket.receiveDatagram() : QNetworkDatagram();
    }

    QByteArray Ask(const QByteArray &bytes, const QString &address, quint16 port, int timeoutMs = 5000)
    {
        Send(bytes, address, port);
        return Receive(timeoutMs).data();
    }

    bool HasPending() { return m_socket.hasPendingDatagrams(); }

private:
    QUdpSocket m_socket;
};

} // namespace SimTest
