#include "sim/ServerDatagrams.h"

#include "sim/WireBytes.h"

using namespace WireBytes;

namespace ServerDatagrams {

namespace {

constexpr quint16 KeyGameInfo = 0x0129;
constexpr quint16 KeyPlayerList = 0x0172;
constexpr quint16 KeyLevel = 0x0160;

void AppendCounted(QByteArray &out, const QByteArray &text)
{
    const QByteArray cut = text.left(MaxTextLength);
    out.append(char(cut.size() + 1));
    out.append(cut);
    out.append('\0');
}

void AppendU16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void SetLength(QByteArray &out)
{
    PutU16le(out, 2, quint16(out.size() - 1));
}

QByteArray StatusValue(const QByteArray &value)
{
    QByteArray v = value;
    v.replace('\\', '_');
    v.replace('\0', '_');
    return v;
}

} // namespace

TKind Classify(QByteArrayView d)
{
    if (d.startsWith(QByteArrayView(StatusText)))
        return TKind::Status;
    if (d.size() < 2)
        return TKind::Unknown;
    switch (quint16(Byte(d, 0) << 8 | Byte(d, 1))) {
    case KeyGameInfo:
        return TKind::GameInfo;
    case KeyPlayerList:
        return TKind::PlayerList;
    case KeyLevel:
        return TKind::Level;
    default:
        return TKind::Unknown;
    }
}

TGameInfoRequest DecodeGameInfoRequest(QByteArrayView d)
{
    TGameInfoRequest r;
    ExpectSize(d, GameInfoRequestSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x01\x29\x0B\x00"), "header", r.deviations);
    r.sequence = U16le(d, 4);
    r.version = U32le(d, 6);
    ExpectZeros(d, 10, 8, "reserved", r.deviations);
    return r;
}

QStringList CheckShortRequest(QByteArrayView d, TKind kind)
{
    QStringList deviations;
    switch (kind) {
    case TKind::PlayerList:
        ExpectSize(d, ShortRequestSize, deviations);
        ExpectBytes(d, 0, Bytes("\x01\x72\x03\x00"), "header", deviations);
        break;
    case TKind::Level:
        ExpectSize(d, ShortRequestSize, deviations);
        ExpectBytes(d, 0, Bytes("\x01\x60\x03\x00"), "header", deviations);
        break;
    case TKind::Status:
        ExpectSize(d, StatusRequestSize, deviations);
        if (d.size() >= StatusRequestSize)
            ExpectZeros(d, StatusRequestSize - 1, 1, "terminator", deviations);
        break;
    default:
        deviations << QStringLiteral("not a request of this kind");
    }
    return deviations;
}

QByteArray EncodeGameInfoReply(const TGameInfo &info, quint16 sequence)
{
    QByteArray out(GameInfoTextsOffset, '\0');
    out[0] = 0x01;
    out[1] = 0x1F;
    AppendCounted(out, info.name);
    AppendCounted(out, info.level);
    AppendCounted(out, info.description);
    AppendCounted(out, info.gameType);
    AppendU16(out, info.levelNumber);
    AppendU16(out, info.players);
    AppendU16(out, info.maxPlayers);
    AppendU16(out, sequence);
    AppendU16(out, 0);
    AppendU16(out, 0);
    out.append(char(info.mode));
    out.append('\0');
    out.append(char(info.dedicated ? 1 : 0));
    out.append(char(info.difficulty));
    SetLength(out);
    return out;
}

QByteArray EncodePlayerListReply(const QList<QByteArray> &names)
{
    QByteArray out(ListOffset, '\0');
    out[0] = 0x01;
    out[1] = 0x73;
    for (const QByteArray &name : names) {
        QByteArray clean = name;
        clean.replace('\0', '_');
        if (clean.isEmpty() || out.size() + clean.size() + 2 > MaxDatagram)
            continue;
        out.append(clean);
        out.append('\0');
    }
    out.append('\0');
    SetLength(out);
    return out;
}

QByteArray EncodeLevelReply(const QList<QByteArray> &texts)
{
    QByteArray out(ListOffset, '\0');
    out[0] = 0x01;
    out[1] = 0x61;
    const QList<QByteArray> items = texts.isEmpty() ? QList<QByteArray>{QByteArray()} : texts;
    for (const QByteArray &text : items) {
        QByteArray cut = text.left(MaxLevelText);
        cut.replace('\0', ' ');
        if (out.size() + cut.size() + 2 > MaxDatagram)
            break;
        out.append(char(cut.size()));
        out.append(cut);
        out.append('\0');
    }
    SetLength(out);
    return out;
}

QByteArray EncodeStatusReply(const TStatus &status)
{
    QByteArray out;
    auto put = [&out](const QByteArray &key, const QByteArray &value) {
        out += '\\' + key + '\\' + StatusValue(value);
    };
    for (const auto &[key, value] : status.extra)
        put(StatusValue(key), value);
    put("gamever", status.gameVersion);
    put("brightships", QByteArray(1, status.brightShips));
    put("acccollisions", QByteArray(1, status.accCollisions));
    put("randpowerup", QByteArray(1, status.randPowerup));
    for (qsizetype i = 0; i < status.players.size(); ++i) {
        const TStatusPlayer &p = status.players[i];
        const QByteArray n = QByteArray::number(i);
        put("player_" + n, p.name);
        put("frags_" + n, QByteArray::number(p.frags));
        put("deaths_" + n, QByteArray::number(p.deaths));
        put("team_" + n, QByteArray::number(p.team));
        put("ping_" + n, QByteArray::number(p.ping));
    }
    out += status.trailer;
    return out.left(MaxDatagram);
}

} // namespace ServerDatagrams
