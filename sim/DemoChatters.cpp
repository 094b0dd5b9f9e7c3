#include "sim/DemoChatters.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace {
constexpr int ReconnectMs = 2000;
constexpr int AnswerDelayMs = 1200;
constexpr int MinAnswerGapMs = 3000; // never a quick exchange loop with an auto-reply

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
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
        m_framer.Clear();
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
    m_socket.write(Irc::EncodeLine(line));
}

void TDemoChatter::ReadLines()
{
    m_framer.Feed(m_socket.readAll());
    QByteArray line;
    while (m_framer.NextLine(line))
        HandleLine(Irc::DecodeText(line));
}

void TDemoChatter::HandleLine(const QString &line)
{
    if (Irc::Classify(line) == Irc::LineKind::Ping) {
        Send(Irc::PongFor(line));
        return;
    }
    if (!line.startsWith(QLatin1Char(':')))
        return;
    const Irc::TMessage m = Irc::ParseMessage(line);
    if (m.Numeric == 1) {
        Send(QStringLiteral("JOIN ") + m_channel);
    } else if (m.Numeric == 433) {
        // Someone has the nick already: take a variant.
        m_nick += QLatin1Char('_');
        Send(QStringLiteral("NICK ") + m_nick);
    } else if (m.Command == QLatin1String("JOIN") && m.Nick == m_nick) {
        m_joined = true;
        emit JoinedChannel();
    } else if (m.Command == QLatin1String("JOIN") && !m.Nick.isEmpty()) {
        emit SomeoneJoined(m.Nick);
    } else if (m.Command == QLatin1String("PRIVMSG") && m.Param1 == m_nick) {
        HandlePrivate(m.Nick, m.Param2.isEmpty() ? Irc::Trailing(m.Rest) : m.Param2);
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
