#include "sim/DemoChatters.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace {
constexpr int ReconnectMs = 2000;
constexpr qsizetype MaxLine = 4096;
constexpr int AnswerDelayMs = 1200;
constexpr int MinAnswerGapMs = 3000; // never a quick exchange loop with an auto-reply

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A server line as the scripted users read it: ":nick!user@host COMMAND a b :trailing".
struct TLine
{
    QString Nick;
    QString Command;
    QStringList Params; // the trailing parameter last
};

TLine Parse(const QString &text)
{
    TLine line;
    QString rest = text;
    if (rest.startsWith(QLatin1Char(':'))) {
        const qsizetype blank = rest.indexOf(QLatin1Char(' '));
        const QString prefix = rest.mid(1, blank < 0 ? -1 : blank - 1);
        line.Nick = prefix.left(prefix.indexOf(QLatin1Char('!')));
        rest = blank < 0 ? QString() : rest.mid(blank + 1);
    }
    while (!rest.isEmpty()) {
        if (rest.startsWith(QLatin1Char(':'))) {
            line.Params << rest.mid(1);
            break;
        }
        const qsizetype blank = rest.indexOf(QLatin1Char(' '));
        const QString word = rest.left(blank);
        if (line.Command.isEmpty())
            line.Command = word;
        else if (!word.isEmpty())
            line.Params << word;
        rest = blank < 0 ? QString() : rest.mid(blank + 1);
    }
    return line;
}
} // namespace

TDemoChatter::TDemoChatter(const QString &nick, const QString &host, quint16 port, const QString &channel,
                           QObject *parent)
    : QObject(parent), m_nick(nick), m_host(host), m_port(port), m_channel(channel)
{
    m_reconnect.setSingleShot(true);
    m_reconnect.setInterval(ReconnectMs);
    connect(&m_reconnect, &QTimer::timeout, this, &TDemoChatter::Connect);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_buffer.clear();
        Send(QStringLiteral("NICK ") + m_nick);
        Send(QStringLiteral("USER %1 0 * :Orlo demo pilot").arg(m_nick));
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &TDemoChatter::ReadLines);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        m_joined = false;
        m_reconnect.start();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            m_joined = false;
            m_reconnect.start();
        }
    });
}

void TDemoChatter::Connect()
{
    m_socket.abort();
    m_socket.connectToHost(m_host, m_port);
}

void TDemoChatter::Say(const QString &text)
{
    if (m_joined)
        Send(QStringLiteral("PRIVMSG %1 :%2").arg(m_channel, text));
}

void TDemoChatter::Send(const QString &line)
{
    m_socket.write(line.toUtf8().left(510) + "\r\n");
}

void TDemoChatter::ReadLines()
{
    m_buffer += m_socket.readAll();
    qsizetype end = 0;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        HandleLine(QString::fromUtf8(line));
    }
    // A line without end from a broken server is not kept.
    if (m_buffer.size() > MaxLine)
        m_buffer.clear();
}

void TDemoChatter::HandleLine(const QString &text)
{
    const TLine line = Parse(text);
    if (line.Command == QLatin1String("PING")) {
        Send(QStringLiteral("PONG :") + line.Params.value(0));
    } else if (line.Command == QLatin1String("001")) {
        Send(QStringLiteral("JOIN ") + m_channel);
    } else if (line.Command == QLatin1String("433")) {
        // Someone has the nick already: take a variant.
        m_nick += QLatin1Char('_');
        Send(QStringLiteral("NICK ") + m_nick);
    } else if (line.Command == QLatin1String("JOIN") && line.Nick == m_nick) {
        m_joined = true;
        emit JoinedChannel();
    } else if (line.Command == QLatin1String("JOIN") && !line.Nick.isEmpty()) {
        emit SomeoneJoined(line.Nick);
    } else if (line.Command == QLatin1String("PRIVMSG") && line.Params.value(0) == m_nick) {
        HandlePrivate(line.Nick, line.Params.value(1));
    }
}

void TDemoChatter::HandlePrivate(const QString &from, const QString &text)
{
    // CTCP requests other than actions get no answer.
    if (from.isEmpty() || (text.startsWith(QChar(1)) && !text.startsWith(QStringLiteral("\1ACTION"))))
        return;
    const qint64 now = NowMs();
    if (now - m_lastAnswer.value(from, -MinAnswerGapMs) < MinAnswerGapMs)
        return;
    m_lastAnswer.insert(from, now);
    const QString answer = AnswerTo(text, m_turn++);
    QTimer::singleShot(AnswerDelayMs, this, [this, from, answer] {
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            Send(QStringLiteral("PRIVMSG %1 :%2").arg(from, answer));
    });
}

QString TDemoChatter::AnswerTo(const QString &text, int turn)
{
    const QString lower = text.toLower();
    if (lower.contains(QStringLiteral("hi")) || lower.contains(QStringLiteral("hello")) ||
        lower.contains(QStringLiteral("hey")))
        return QStringLiteral("Hey! Welcome to the demo network. Fancy a game? Double-click a server.");
    if (lower.contains(QLatin1Char('?')))
        return QStringLiteral("Good question. I'm only a scripted pilot, but the server list knows more.");
    static const QStringList answers = {
        QStringLiteral("Sounds good to me."),
        QStringLiteral("I'm in a game soon, see you in the mine."),
        QStringLiteral("Try the servers with a green ping, they are the quick ones."),
        QStringLiteral("If a level is missing, right-click the server and pick Download Level."),
    };
    return answers[turn % answers.size()];
}
