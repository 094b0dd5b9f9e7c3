#include "irc/IrcLine.h"
#include "base/Text.h"

#include <QStringDecoder>
#include <QUrl>

namespace Irc {

namespace {
constexpr char CR = '\r';
constexpr char LF = '\n';

QByteArray TrimLF(QByteArray line)
{
    qsizetype start = 0;
    while (start < line.size() && line.at(start) == LF)
        ++start;
    qsizetype end = line.size();
    while (end > start && line.at(end - 1) == LF)
        --end;
    if (start == 0 && end == line.size())
        return line;
    return line.mid(start, end - start);
}
} // namespace

void TLineFramer::Feed(QByteArrayView bytes)
{
    m_buffer.append(bytes.data(), bytes.size());
}

bool TLineFramer::NextLine(QByteArray &line)
{
    for (;;) {
        const qsizetype cr = m_buffer.indexOf(CR, std::max(m_pos, m_scan));
        if (cr < 0) {
            m_scan = m_buffer.size();
            if (!m_skipping && m_buffer.size() - m_pos > MaxLineBytes) {
                // No CR in sight: drop what we hold and skip up to the next CR.
                m_skipping = true;
                ++m_dropped;
            }
            if (m_skipping) {
                m_pos = m_buffer.size();
                m_scan = m_pos;
            }
            Compact();
            return false;
        }
        const qsizetype start = m_pos;
        m_pos = cr + 1;
        m_scan = m_pos;
        if (m_skipping) {
            m_skipping = false;
            continue;
        }
        if (cr - start > MaxLineBytes) {
            ++m_dropped;
            continue;
        }
        line = TrimLF(m_buffer.mid(start, cr - start));
        return true;
    }
}

void TLineFramer::Compact()
{
    if (m_pos == 0)
        return;
    m_buffer.remove(0, m_pos);
    m_scan = std::max<qsizetype>(0, m_scan - m_pos);
    m_pos = 0;
}

int TLineFramer::TakeDroppedLines()
{
    const int n = m_dropped;
    m_dropped = 0;
    return n;
}

void TLineFramer::Clear()
{
    m_buffer.clear();
    m_pos = m_scan = 0;
    m_skipping = false;
}

QString DecodeText(QByteArrayView bytes)
{
    return Text::Decode(bytes);
}

namespace {
// The text as it goes out, as UTF-8 bytes: ended at CR, LF or NUL and cut on a character
// boundary.
QByteArray SendableBytes(const QString &text)
{
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull()) {
            end = i;
            break;
        }
    }
    return Text::CutUtf8(text.left(end).toUtf8(), MaxSendText);
}
} // namespace

QByteArray EncodeLine(const QString &text)
{
    QByteArray bytes = SendableBytes(text);
    if (bytes.isEmpty())
        return {};
    bytes.append("\r\n");
    return bytes;
}

QString SentText(const QString &text)
{
    return QString::fromUtf8(SendableBytes(text));
}

QString NextWord(QString &rest)
{
    if (rest.isEmpty() || rest.startsWith(QLatin1Char(':')))
        return {};
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    QString word;
    if (blank < 0) {
        word = rest.trimmed();
        rest.clear();
    } else {
        word = rest.left(blank).trimmed();
        rest.remove(0, blank + 1);
    }
    return word;
}

QString Trailing(const QString &rest)
{
    return rest.startsWith(QLatin1Char(':')) ? rest.mid(1) : rest;
}

QString StripAt(const QString &name)
{
    return name.startsWith(QLatin1Char('@')) ? name.mid(1) : name;
}

quint16 NumericOf(const QString &command)
{
    bool ok = false;
    const uint value = command.toUInt(&ok, 10);
    return ok ? static_cast<quint16>(value) : 0;
}

TMessage ParseMessage(const QString &line)
{
    TMessage m;
    QString rest = line.startsWith(QLatin1Char(':')) ? line.mid(1) : line;
    m.Prefix = NextWord(rest);
    const qsizetype bang = m.Prefix.indexOf(QLatin1Char('!'));
    if (bang >= 0) {
        m.UserPrefix = true;
        m.Nick = StripAt(m.Prefix.left(bang)).trimmed();
        const qsizetype at = m.Prefix.indexOf(QLatin1Char('@'), bang);
        if (at >= 0)
            m.Host = m.Prefix.mid(at + 1).trimmed();
    } else {
        m.Nick = m.Prefix;
    }
    m.Command = NextWord(rest);
    m.Numeric = NumericOf(m.Command);
    m.Param1 = NextWord(rest);
    m.Param2 = NextWord(rest);
    if (m.Param2 == QLatin1String("="))
        m.Param2 = NextWord(rest);
    m.Rest = rest;
    return m;
}

LineKind Classify(const QString &line)
{
    if (line.startsWith(QLatin1Char(':')))
        return LineKind::Message;
    if (line.startsWith(QLatin1String("PING")))
        return LineKind::Ping;
    if (line.startsWith(QLatin1String("NOTICE")))
        return LineKind::Notice;
    return LineKind::Other;
}

QString PongFor(const QString &pingLine)
{
    QString pong = pingLine;
    if (pong.size() >= 2)
        pong[1] = QLatin1Char('O');
    return pong;
}

QString NickOfMask(const QString &mask)
{
    QString nick = mask;
    const qsizetype bang = nick.indexOf(QLatin1Char('!'));
    if (bang >= 0)
        nick.truncate(bang);
    nick.remove(QLatin1Char('@'));
    return nick.trimmed();
}

namespace {
// Channel mode letters that carry an argument, besides "o" and "b": voice, half-op and
// the other list and owner modes, and the key. A limit ("l") carries one when set only.
bool TakesArgument(QChar letter, bool adding)
{
    switch (letter.unicode()) {
    case 'v':
    case 'h':
    case 'a':
    case 'q':
    case 'e':
    case 'I':
    case 'k':
        return true;
    case 'l':
        return adding;
    default:
        return false;
    }
}

// A mode argument; the last one may come as the trailing parameter.
QString NextModeArgument(QString &args)
{
    if (args.startsWith(QLatin1Char(':'))) {
        QString word = args.mid(1).trimmed();
        args.clear();
        return word;
    }
    return NextWord(args);
}
} // namespace

QList<TOpChange> ParseOpChanges(const QString &letters, QString args)
{
    QList<TOpChange> changes;
    bool adding = true;
    for (const QChar letter : letters) {
        if (letter == QLatin1Char('+')) {
            adding = true;
        } else if (letter == QLatin1Char('-')) {
            adding = false;
        } else if (letter == QLatin1Char('b')) {
            NextModeArgument(args);
        } else if (letter == QLatin1Char('o')) {
            changes.append({adding, NickOfMask(NextModeArgument(args))});
        } else if (TakesArgument(letter, adding)) {
            NextModeArgument(args);
        }
    }
    return changes;
}

bool IsAction(const QString &text)
{
    return text.startsWith(QLatin1String("\x01"
                                         "ACTION "));
}

QString ActionText(const QString &text)
{
    // The blank after ACTION stays: the line reads nick + text.
    QString action = text.mid(7);
    action.remove(QChar(1));
    return action;
}

TWhois ParseWhois(QString rest)
{
    TWhois w;
    NextWord(rest); // user name
    w.Host = NextWord(rest);
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    rest.remove(0, colon + 1);
    w.TrackerId = NextWord(rest);
    w.RealName = rest;
    w.WhoisName = rest.isEmpty() ? w.TrackerId : rest;
    return w;
}

bool IsChannelType(const QString &word)
{
    return word == QLatin1String("=") || word == QLatin1String("*") || word == QLatin1String("@");
}

QString OpenableUrl(const QString &selected)
{
    QString text = selected.trimmed();
    if (text.isEmpty())
        return {};
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return {};
    }
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        text.prepend(QLatin1String("http://"));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return url.path().isEmpty() ? QString() : text;
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("ftp"))
        return {};
    if (url.host().isEmpty())
        return {};
    return text;
}

} // namespace Irc
