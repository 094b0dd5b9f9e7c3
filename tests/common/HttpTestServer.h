#pragma once

// Runs tests/common/level_http_server.py on 127.0.0.1 for one test: Start() waits for the
// port it prints; the server stops when this object closes its standard input or kills it.

#include <QProcess>
#include <QString>
#include <QTest>

class THttpTestServer
{
public:
    ~THttpTestServer() { Stop(); }

    bool Start(int timeoutMs = 15000)
    {
        const QString script =
            qEnvironmentVariable("ORLO_SOURCE_DIR") + QStringLiteral("/tests/common/level_http_server.py");
        m_process.setProgram(QStringLiteral("python3"));
        m_process.setArguments({script});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(timeoutMs))
            return false;
        QByteArray output;
        (void)QTest::qWaitFor(
            [&] {
                output += m_process.readAllStandardOutput();
                return output.contains('\n') || m_process.state() != QProcess::Running;
            },
            timeoutMs);
        const QByteArray line = output.left(output.indexOf('\n')).trimmed();
        if (!line.startsWith("PORT "))
            return false;
        m_port = line.mid(5).toUShort();
        return m_port != 0;
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // http://127.0.0.1:PORT/ + Path
    QString Url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path); }
    // The body the server sends for size=N.
    static QByteArray Body(int size)
    {
        QByteArray body(size, '\0');
        for (int i = 0; i < size; ++i)
            body[i] = char((i * 31 + 7) % 251);
        return body;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};
