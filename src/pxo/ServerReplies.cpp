#include "pxo/ServerReplies.h"

#include <QByteArray>
#include <QStringDecoder>

#include <array>

namespace ServerReplies {

namespace {
// Reads past the end give zero, as the receive buffer is zero beyond the datagram.
struct TReader
{
    QByteArrayView data;
    quint8 Byte(qsizetype at) const { return at >= 0 && at < data.size() ? quint8(data[at]) : 0; }
    quint16 U16(qsizetype at) const { return quint16(Byte(at) | Byte(at + 1) << 8); }
};

QByteArrayView Received(QByteArrayView datagram)
{
    return datagram.first(std::min<qsizetype>(datagram.size(), MaxDatagram));
}

QByteArrayView TrimBlanks(QByteArrayView bytes)
{
    // Blanks as the server's own string functions see them: every byte up to the space.
    while (!bytes.isEmpty() && quint8(bytes.front()) <= 0x20)
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && quint8(bytes.back()) <= 0x20)
        bytes.chop(1);
    return bytes;
}

// One counted text from At on; At moves past it.
QString CountedText(const TReader &r, qsizetype &at)
{
    const int length = std::max<int>(r.Byte(at), 1);
    ++at;
    QByteArray text;
    for (int i = 0; i < length - 1; ++i) {
        const quint8 c = r.Byte(at + i);
        if (c == 0)
            break; // the text ends at its zero, also where the datagram was cut short
        text.append(char(c));
    }
    at += length; // the characters and the skipped byte
    return DecodeText(text);
}
} // namespace

QString DecodeText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Opening the converter is the costly part; it keeps no state between texts.
    static thread_local QStringDecoder ansi("windows-1252", QStringDecoder::Flag::Stateless);
    return ansi.isValid() ? QString(ansi(bytes)) : QString::fromLatin1(bytes);
}

QString ModeText(quint8 mode, bool dedicated)
{
    static const std::array<const char *, 6> Names = {"c/s pm", "c/s pn ml", "c/s", "c/s ml", "p2p", "p2p ml"};
    QString text = mode < Names.size() ? QString::fromLatin1(Names[mode]) : QString::number(mode);
    if (dedicated)
        text += QStringLiteral(" d");
    return text;
}

QString DifficultyText(quint8 difficulty)
{
    static const std::array<const char *, 5> Names = {"Trainee", "Rookie", "Hotshot", "Ace", "Insane"};
    return difficulty < Names.size() ? QString::fromLatin1(Names[difficulty]) : QString::number(difficulty);
}

TGameInfo DecodeGameInfo(QByteArrayView datagram)
{
    const TReader r{Received(datagram)};
    TGameInfo info;
    qsizetype at = GameInfoTextsAt;
    info.name = CountedText(r, at);
    info.level = CountedText(r, at);
    info.description = CountedText(r, at);
    info.gameType = CountedText(r, at);
    info.levelNumber = r.U16(at);
    info.players = r.U16(at + 2);
    info.maxPlayers = r.U16(at + 4);
    info.sequence = r.U16(at + 6);
    at += 12; // and two values that are not read
    info.modeValue = r.Byte(at);
    info.dedicated = r.Byte(at + 2) == 1;
    info.difficultyValue = r.Byte(at + 3);
    info.mode = ModeText(info.modeValue, info.dedicated);
    info.difficulty = DifficultyText(info.difficultyValue);
    return info;
}

QStringList DecodePlayerList(QByteArrayView datagram)
{
    const QByteArrayView data = Received(datagram);
    QStringList names;
    qsizetype at = ListAt;
    while (at < data.size()) {
        const qsizetype zero = data.indexOf('\0', at);
        const qsizetype end = zero < 0 ? data.size() : zero;
        if (end == at)
            break; // an empty name ends the list
        const QByteArrayView name = TrimBlanks(data.sliced(at, end - at));
        if (!name.isEmpty())
            names << DecodeText(name);
        at = end + 1;
    }
    return names;
}

QString DecodeStatusText(QByteArrayView datagram)
{
    QByteArrayView data = Received(datagram);
    const qsizetype zero = data.indexOf('\0');
    if (zero >= 0)
        data = data.first(zero);
    // A backslash never occurs inside a multi-byte character, so the fields decode one by one.
    QString text;
    qsizetype start = 0;
    while (start <= data.size()) {
        qsizetype end = data.indexOf('\\', start);
        if (end < 0)
            end = data.size();
        text += DecodeText(data.sliced(start, end - start));
        if (end < data.size())
            text += QLatin1Char('\\');
        start = end + 1;
    }
    return text;
}

QString DecodeLevelAddress(QByteArrayView datagram)
{
    const QByteArrayView data = Received(datagram);
    const TReader r{data};
    qsizetype at = ListAt;
    while (at < data.size()) {
        const int n = r.Byte(at);
        QByteArray text;
        for (qsizetype i = at + 1; i <= at + n + 1 && i < data.size(); ++i) {
            if (data[i] != '\0')
                text.append(data[i]);
        }
        const QByteArrayView trimmed = TrimBlanks(text);
        if (!trimmed.isEmpty())
            return DecodeText(trimmed);
        at += n + 2;
    }
    return {};
}

} // namespace ServerReplies
