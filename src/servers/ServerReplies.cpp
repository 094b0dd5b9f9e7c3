#include "servers/ServerReplies.h"

#include "base/Bytes.h"
#include "base/Text.h"

namespace ServerReplies {
namespace {
QByteArrayView Received(QByteArrayView datagram)
{
    return datagram.first(qMin(datagram.size(), MaxReply));
}

QByteArrayView UpToZero(QByteArrayView bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.first(zero);
}

// Blanks as the servers' own string functions see them: every byte up to the space.
QByteArrayView TrimBlanks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && quint8(bytes.front()) <= 0x20)
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && quint8(bytes.back()) <= 0x20)
        bytes.chop(1);
    return bytes;
}

QString CountedText(TByteReader &r)
{
    const int length = qMax(1, int(r.TakeU8()));
    const QByteArrayView text = r.Take(length - 1);
    r.Skip(1);
    return Text::Decode(UpToZero(text));
}
} // namespace

TKind Classify(QByteArrayView datagram)
{
    if (!datagram.isEmpty() && datagram[0] == '\\')
        return TKind::Status;
    switch (TByteReader(datagram).U16BEAt(0)) {
    case 0x011F:
        return TKind::GameInfo;
    case 0x0173:
        return TKind::PlayerList;
    case 0x0161:
        return TKind::LevelAddress;
    default:
        return TKind::None;
    }
}

QString ModeName(quint8 value)
{
    static const char *const names[] = {"c/s pm", "c/s pn ml", "c/s", "c/s ml", "p2p", "p2p ml"};
    return value < 6 ? QLatin1String(names[value]) : QString::number(value);
}

QString DifficultyName(quint8 value)
{
    static const char *const names[] = {"Trainee", "Rookie", "Hotshot", "Ace", "Insane"};
    return value < 5 ? QLatin1String(names[value]) : QString::number(value);
}

TGameInfo DecodeGameInfo(QByteArrayView datagram)
{
    TByteReader r(Received(datagram));
    r.Seek(20);
    TGameInfo info;
    info.Name = CountedText(r);
    info.Level = CountedText(r);
    info.Description = CountedText(r);
    info.GameType = CountedText(r);
    info.LevelNumber = r.TakeU16LE();
    info.Players = r.TakeU16LE();
    info.MaxPlayers = r.TakeU16LE();
    info.Sequence = r.TakeU16LE();
    r.Skip(4);
    const quint8 mode = r.TakeU8();
    r.Skip(1);
    info.Dedicated = r.TakeU8() == 1;
    info.Difficulty = DifficultyName(r.TakeU8());
    info.Mode = ModeName(mode) + (info.Dedicated ? QStringLiteral(" d") : QString());
    return info;
}

QStringList DecodePlayerList(QByteArrayView datagram)
{
    TByteReader r(Received(datagram));
    r.Seek(4);
    QStringList names;
    while (r.Remaining() > 0) {
        const QByteArrayView name = r.TakeZeroEnded();
        if (name.isEmpty())
            break;
        names.append(Text::Decode(name));
    }
    return names;
}

QString DecodeStatus(QByteArrayView datagram)
{
    const QByteArrayView status = TByteReader(Received(datagram)).ZeroEndedAt(0, MaxReply);
    // A backslash never occurs inside a multi-byte character, so the fields split first.
    QString text;
    qsizetype start = 0;
    while (start <= status.size()) {
        qsizetype end = status.indexOf('\\', start);
        if (end < 0)
            end = status.size();
        text += Text::Decode(status.sliced(start, end - start));
        if (end < status.size())
            text += QLatin1Char('\\');
        start = end + 1;
    }
    return text;
}

QString DecodeLevelAddress(QByteArrayView datagram)
{
    TByteReader r(Received(datagram));
    r.Seek(4);
    while (r.Remaining() > 0) {
        const int n = r.TakeU8();
        QByteArray text;
        for (const char c : r.Take(n + 1)) {
            if (c != '\0')
                text.append(c);
        }
        const QByteArrayView trimmed = TrimBlanks(text);
        if (!trimmed.isEmpty())
            return Text::Decode(trimmed);
    }
    return {};
}

} // namespace ServerReplies
