#pragma once

#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A one-client TCP server on 127.0.0.1 for protocol tests: the test decides every byte it
// sends, and reads the CR LF lines the client wrote.
class TScriptedServer
{
public:
    bool Listen();
    quint16 Port() const { return m_server.serverPort(); }
    // Waits (bounded) for the client to connect.
    bool WaitForClient(int timeoutMs = 5000);
    void Send(const QByteArray &bytes);
    void SendLine(const QString &line) { Send(line.toUtf8() + "\r\n"); }
    // Lines received so far (without CR LF), after reading what is pending.
    QStringList Received();
    // Waits until a received line equals Line; consumed lines stay in Received().
    bool WaitForLine(const QString &line, int timeoutMs = 5000);
    // Waits until a received line starts with Start and returns it (empty on time-out).
    QString WaitForLineStarting(const QString &start, int timeoutMs = 5000);
    void ClearReceived()
    {
        Received();
        m_lines.clear();
    }
    void DropClient();
    QTcpSocket *Client() const { return m_client; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_buffer;
    QStringList m_lines;
};
