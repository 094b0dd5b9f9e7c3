#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// A bare IRC client for tests: registers with a nick, sends raw lines and waits (bounded,
// through the event loop) for the lines the server sends it.
class TIrcTestClient
{
public:
    // Connects and registers; true once the server welcomed the nick (001).
    bool Register(const QString &host, quint16 port, const QString &nick, int timeoutMs = 10000);
    void Send(const QString &line);
    // Waits until a received line contains Text; true when one did (lines already
    // received count too). Lines up to and including it are consumed.
    bool WaitFor(const QString &text, int timeoutMs = 10000);
    // The line the last successful WaitFor found.
    QString Matched() const { return m_matched; }

private:
    void ReadLines();

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QStringList m_lines;
    QString m_matched;
};
