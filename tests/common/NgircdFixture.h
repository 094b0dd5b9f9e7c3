#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real IRC server for tests: ngircd in the foreground on 127.0.0.1 and a free port, with a
// configuration of its own in a temporary folder. Stopped (and killed if need be) by Stop()
// or the destructor, so no server outlives its test.
class TNgircd
{
public:
    ~TNgircd() { Stop(); }

    static bool Available();
    // Starts the server and waits (bounded) until it accepts connections.
    bool Start();
    void Stop();

    QString Host() const { return QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return m_port; }
    // Why Start failed, with what the server printed.
    QString Error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_error;
};
