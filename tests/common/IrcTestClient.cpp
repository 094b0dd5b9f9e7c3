#include "common/IrcTestClient.h"

#include <QDeadlineTimer>
#include <QTest>

bool TIrcTestClient::Register(const QString &host, quint16 port, const QString &nick, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    m_socket.connectToHost(host, port);
    if (!QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, timeoutMs))
        return false;
    Send(QStringLiteral("NICK ") + nick);
    Send(QStringLiteral("USER ") + nick + QStringLiteral(" 0 * :") + nick);
    return WaitFor(QStringLiteral(" 001 "), int(deadline.remainingTime()));
}

void TIrcTestClient::Send(const QString &line)
{
    m_socket.write(line.toUtf8() + "\r\n");
    m_socket.flush();
}

void TIrcTestClient::ReadLines()
{
    m_buffer += m_socket.readAll();
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line);
        // Answer the server's keep-alive so a slow test is not dropped.
        if (text.startsWith(QLatin1String("PING")))
            Send(QStringLiteral("PONG") + text.mid(4));
        m_lines << text;
    }
}

bool TIrcTestClient::WaitFor(const QString &text, int timeoutMs)
{
    bool found = false;
    (void)QTest::qWaitFor(
        [&] {
            ReadLines();
            for (qsizetype i = 0; i < m_lines.size() && !found; ++i) {
                if (m_lines.at(i).contains(text)) {
                    m_matched = m_lines.at(i);
                    m_lines.remove(0, i + 1);
                    found = true;
                }
            }
            return found || m_socket.state() != QAbstractSocket::ConnectedState;
        },
        timeoutMs);
    return found;
}
