#include "pxo/ServerReplies.h"

#include "irc/IrcLine.h"

namespace ServerReplies {
namespace {
QByteArrayView Received(QByteArrayView datagram)
{
    return datagram.first(qMin(datagram.size(), MaxReply));
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

// Reads past the end as zero bytes, as every reply handler does.
class TReader
{
public:
    TReader(QByteArrayView bytes, qsizetype at) : m_bytes(Received(bytes)), m_at(at) {}
    quint8 Byte()
    {
        const quint8 value = m_at >= 0 && m_at < m_bytes.size() ? quint8(m_bytes[m_at]) : 0;
        ++m_at;
        return value;
    }
    quint16 Word()
    {
        const quint8 low = Byte();
        return quint16(low | (Byte() << 8));
    }
    QString CountedText()
    {
        int length = Byte();
        if (length == 0)
            length = 1;
        const qsizetype start = m_at;
        const qsizetype chars = length - 1;
        m_at += chars + 1;
        if (start >= m_bytes.size())
            return {};
        QByteArrayView text = m_bytes.sliced(start, qMin(chars, m_bytes.size() - start));
        const qsizetype zero = text.indexOf('\0');
        if (zero >= 0)
            text = text.first(zero);
        return Irc::DecodeText(text);
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_at;
};
} // namespace

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
    TGameInfo info;
    TReader r(datagram, 20);
    info.Name = r.CountedText();
    info.Level = r.CountedText();
    info.Description = r.CountedText();
    info.GameType = r.CountedText();
    info.LevelNumber = r.Word();
    info.Players = r.Word();
    info.MaxPlayers = r.Word();
    info.Sequence = r.Word();
    r.Word();
    r.Word();
    const quint8 mode = r.Byte();
    r.Byte();
    info.Dedicated = r.Byte() == 1;
    info.Difficulty = DifficultyName(r.Byte());
    info.Mode = ModeName(mode) + (info.Dedicated ? QStringLiteral(" d") : QString());
    return info;
}

QStringList DecodePlayerList(QByteArrayView datagram)
{
    datagram = Received(datagram);
    QStringList names;
    qsizetype at = 4;
    while (at < datagram.size()) {
        const qsizetype zero = datagram.indexOf('\0', at);
        const qsizetype end = zero < 0 ? datagram.size() : zero;
        if (end == at)
            break;
        names.append(Irc::DecodeText(datagram.sliced(at, end - at)));
        at = end + 1;
    }
    return names;
}

QString DecodeStatus(QByteArrayView datagram)
{
    datagram = Received(datagram);
    const qsizetype zero = datagram.indexOf('\0');
    if (zero >= 0)
        datagram = datagram.first(zero);
    // A backslash never occurs inside a multi-byte character, so the fields split first.
    QString text;
    qsizetype start = 0;
    while (start <= datagram.size()) {
        qsizetype end = datagram.indexOf('\\', start);
        if (end < 0)
            end = datagram.size();
        text += Irc::DecodeText(datagram.sliced(start, end - start));
        if (end < datagram.size())
            text += QLatin1Char('\\');
        start = end + 1;
    }
    return text;
}

QString DecodeLevelAddress(QByteArrayView datagram)
{
    datagram = Received(datagram);
    qsizetype at = 4;
    while (at < datagram.size()) {
        const int n = quint8(datagram[at]);
        QByteArray text;
        for (qsizetype i = at + 1; i <= at + n + 1 && i < datagram.size(); ++i) {
            if (datagram[i] != '\0')
                text.append(datagram[i]);
        }
        const QByteArrayView trimmed = TrimBlanks(text);
        if (!trimmed.isEmpty())
            return Irc::DecodeText(trimmed);
        at += n + 2;
    }
    return {};
}

} // namespace ServerReplies
