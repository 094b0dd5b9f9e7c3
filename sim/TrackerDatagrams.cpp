#include "sim/TrackerDatagrams.h"

#include "sim/WireBytes.h"

using namespace WireBytes;

namespace TrackerDatagrams {

namespace {

constexpr quint16 KeyLoginRequest = 0x040D;
constexpr quint16 KeyStatsRequest = 0x0407;
constexpr quint16 KeyUserAck = 0x0400;
constexpr quint16 KeyListRequest = 0x0329;
constexpr quint16 KeyListAck = 0x031D;
constexpr int ListMarkOffset = 22; // 0x07 in a list request, 0x01 in its acknowledgement
constexpr int ListChannelOffset = 30;

QByteArray Header(int size, quint8 key0, quint8 key1)
{
    QByteArray out(size, '\0');
    out[0] = char(key0);
    out[1] = char(key1);
    return out;
}

void NoteUnclean(bool clean, const char *field, QStringList &deviations)
{
    if (!clean)
        deviations << QStringLiteral("%1: bytes after the text are not zero").arg(QString::fromLatin1(field));
}

} // namespace

TKind Classify(QByteArrayView datagram)
{
    const quint16 key = quint16(Byte(datagram, 0) << 8 | Byte(datagram, 1));
    if (datagram.size() < 2)
        return TKind::Unknown;
    switch (key) {
    case KeyLoginRequest:
        return TKind::LoginRequest;
    case KeyStatsRequest:
        return TKind::StatsRequest;
    case KeyUserAck:
        return TKind::UserAck;
    case KeyListRequest:
        return TKind::ListRequest;
    case KeyListAck:
        return TKind::ListAck;
    default:
        // Other list requests (another length, another channel) keep the marks of the layout.
        if (Byte(datagram, 0) == 0x03 && Byte(datagram, ListMarkOffset) == 0x07 && datagram.size() > ListChannelOffset)
            return TKind::ListRequest;
        return TKind::Unknown;
    }
}

TLoginRequest DecodeLoginRequest(QByteArrayView d)
{
    TLoginRequest r;
    ExpectSize(d, LoginRequestSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x04\x0D\x4D\x00"), "header", r.deviations);
    ExpectZeros(d, 4, 10, "reserved", r.deviations);
    ExpectBytes(d, 14, Bytes("\xBB\x09"), "constant", r.deviations);
    ExpectZeros(d, 16, 2, "reserved", r.deviations);
    bool clean = true;
    r.name = TextField(d, 18, NameBytes, &clean);
    NoteUnclean(clean, "name", r.deviations);
    r.password = TextField(d, 51, PasswordBytes, &clean);
    NoteUnclean(clean, "password", r.deviations);
    return r;
}

TStatsRequest DecodeStatsRequest(QByteArrayView d)
{
    TStatsRequest r;
    ExpectSize(d, StatsRequestSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x04\x07\x2F\x00\x0B"), "header", r.deviations);
    ExpectZeros(d, 5, 13, "reserved", r.deviations);
    bool clean = true;
    r.displayName = TextField(d, 18, DisplayNameBytes, &clean);
    NoteUnclean(clean, "display name", r.deviations);
    r.trackerId = TextField(d, 38, TrackerIdBytes, &clean);
    NoteUnclean(clean, "tracker id", r.deviations);
    return r;
}

TUserAck DecodeUserAck(QByteArrayView d)
{
    TUserAck r;
    ExpectSize(d, UserAckSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x04\x00\x11\x00\x05"), "header", r.deviations);
    ExpectZeros(d, 5, 5, "reserved", r.deviations);
    r.value = U32le(d, 10);
    ExpectZeros(d, 14, 3, "reserved", r.deviations);
    switch (Byte(d, 17)) {
    case LoginAckMark:
        r.forReply = TUserAck::TFor::Login;
        break;
    case StatsAckMark:
        r.forReply = TUserAck::TFor::Stats;
        break;
    default:
        r.deviations
            << QStringLiteral("last byte 0x%1 is neither 0x98 nor 0x00").arg(Byte(d, 17), 2, 16, QLatin1Char('0'));
    }
    return r;
}

TListRequest DecodeListRequest(QByteArrayView d)
{
    TListRequest r;
    ExpectSize(d, ListRequestSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x03\x29\x00"), "header", r.deviations);
    if (U16le(d, 1) != d.size() - 1)
        r.deviations << QStringLiteral("length field %1 does not match the datagram").arg(U16le(d, 1));
    ExpectZeros(d, 3, 2, "reserved", r.deviations);
    ExpectBytes(d, 5, Bytes("\x02"), "type", r.deviations);
    ExpectZeros(d, 6, 16, "reserved", r.deviations);
    ExpectBytes(d, ListMarkOffset, Bytes("\x07"), "mark", r.deviations);
    ExpectZeros(d, 23, 7, "reserved", r.deviations);
    const qsizetype rest = std::max<qsizetype>(0, d.size() - ListChannelOffset);
    bool clean = true;
    r.channel = TextField(d, ListChannelOffset, rest, &clean);
    NoteUnclean(clean, "channel", r.deviations);
    if (r.channel != AutoselectChannel)
        r.deviations << QStringLiteral("channel \"%1\", expected \"#autoselect\"").arg(QString::fromLatin1(r.channel));
    if (!d.endsWith('\0'))
        r.deviations << QStringLiteral("channel not ended by a zero byte");
    return r;
}

TListAck DecodeListAck(QByteArrayView d)
{
    TListAck r;
    ExpectSize(d, ListAckSize, r.deviations);
    ExpectBytes(d, 0, Bytes("\x03\x1D\x00"), "header", r.deviations);
    ExpectZeros(d, 3, 2, "reserved", r.deviations);
    ExpectBytes(d, 5, Bytes("\x02"), "type", r.deviations);
    ExpectZeros(d, 6, 16, "reserved", r.deviations);
    ExpectBytes(d, 22, Bytes("\x01\x00\x00\x00"), "mark", r.deviations);
    r.value = U32le(d, 26);
    return r;
}

QByteArray EncodeLoginAccepted(quint32 ack, QByteArrayView trackerId)
{
    QByteArray out = Header(LoginAcceptedSize, 0x04, 0x0F);
    PutU16le(out, 2, LoginAcceptedSize - 1);
    PutU32le(out, 10, ack);
    PutField(out, 18, TrackerIdBytes, trackerId);
    return out;
}

QByteArray EncodeLoginRetry()
{
    QByteArray out = Header(LoginRetrySize, 0x04, 0x0E);
    PutU16le(out, 2, LoginRetrySize - 1);
    return out;
}

QByteArray EncodeStatsReply(quint32 ack, const TUserStats &stats)
{
    QByteArray out = Header(StatsReplySize, 0x04, 0x08);
    PutU16le(out, 2, StatsReplySize - 1);
    PutU32le(out, 10, ack);
    // One byte short of the field so the name always ends with a zero before the rating.
    PutField(out, 28, ReplyNameBytes - 1, stats.displayName);
    PutU16le(out, 50, stats.rating);
    PutU32le(out, 52, stats.kills);
    PutU32le(out, 56, stats.deaths);
    PutU32le(out, 60, stats.suicides);
    PutU32le(out, 64, stats.seconds);
    return out;
}

QByteArray EncodeListReply(quint32 ack, const QList<TListEntry> &entries)
{
    const int n = int(std::min<qsizetype>(entries.size(), MaxListEntries));
    QByteArray out = Header(ListHeaderSize + ListEntrySize * n, 0x03, 0x17);
    PutU32le(out, 26, ack);
    for (int i = 0; i < n; ++i) {
        const TListEntry &e = entries[i];
        PutField(out, ListHeaderSize + ListNameBytes * i, ListNameBytes - 1, e.name);
        const qsizetype ip = ListHeaderSize + ListNameBytes * n + 4 * i;
        out[ip] = char(e.ipv4 >> 24);
        out[ip + 1] = char((e.ipv4 >> 16) & 0xFF);
        out[ip + 2] = char((e.ipv4 >> 8) & 0xFF);
        out[ip + 3] = char(e.ipv4 & 0xFF);
        PutU16be(out, ListHeaderSize + 36 * n + 2 * i, e.port);
    }
    return out;
}

} // namespace TrackerDatagrams
