#include "common/ScriptedServer.h"

#include <QTest>

bool TScriptedServer::Listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

bool TScriptedServer::WaitForClient(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            if (!m_client && m_server.hasPendingConnections())
                m_client = m_server.nextPendingConnection();
            return !m_client.isNull();
        },
        timeoutMs);
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
    return QTest::qWaitFor([&] { return Received().contains(line); }, timeoutMs);
}

QString TScriptedServer::WaitForLineStarting(const QString &start, int timeoutMs)
{
    QString found;
    (void)QTest::qWaitFor(
        [&] {
            for (const QString &line : Received()) {
                if (line.startsWith(start)) {
                    found = line;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

void TScriptedServer::DropClient()
{
    if (m_client) {
        m_client->disconnectFromHost();
        m_client->deleteLater();
    }
}
