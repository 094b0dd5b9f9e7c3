#include "common/ScriptedServer.h"

#include <QDeadlineTimer>
#include <QTest>

bool TScriptedServer::Listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

bool TScriptedServer::WaitForClient(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_client && !deadline.hasExpired()) {
        if (m_server.hasPendingConnections())
            m_client = m_server.nextPendingConnection();
        else
            QTest::qWait(5);
    }
    return m_client;
}

void TScriptedServer::Send(const QByteArray &bytes)
{
    if (m_client) {
        m_client->write(bytes);
        m_client->flush();
    }
}

QStringList TScriptedServer::Received()
{
    if (m_client)
        m_buffer += m_client->readAll();
    qsizetype end;
    while ((end = m_buffer.indexOf("\r\n")) >= 0) {
        m_lines << QString::fromUtf8(m_buffer.left(end));
        m_buffer.remove(0, end + 2);
    }
    return m_lines;
}

bool TScriptedServer::WaitForLine(const QString &line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (Received().contains(line))
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
}

QString TScriptedServer::WaitForLineStarting(const QString &start, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const QString &line : Received()) {
            if (line.startsWith(start))
                return line;
        }
        if (deadline.hasExpired())
            return {};
        QTest::qWait(5);
    }
}

void TScriptedServer::DropClient()
{
    if (m_client) {
        m_client->disconnectFromHost();
        m_client->deleteLater();
    }
}
