#pragma once

#include <QByteArray>
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
    struct TOptions
    {
        QString ServerName = QStringLiteral("irc.orlo.test");
        QString Motd = QStringLiteral("Welcome to the Orlo test network");
        int PingTimeout = 120; // seconds of silence before the server sends PING
        int MaxNickLength = 20;
    };

    TNgircd();
    explicit TNgircd(const TOptions &options);
    ~TNgircd();
    TNgircd(const TNgircd &) = delete;
    TNgircd &operator=(const TNgircd &) = delete;

    static QString Executable();
    static bool Available();

    // Starts the server and waits (bounded) until it accepts connections.
    bool Start();
    // Starts the server again on the port it had (a server that went away and came back).
    bool Restart();
    void Stop();
    bool Running() const;

    QString Host() const { return QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return m_port; }
    QString ServerName() const { return m_options.ServerName; }
    // Why Start failed, with what the server printed.
    QString Error() const { return m_error; }

private:
    bool WriteConfig();
    bool StartOn(quint16 fixedPort);

    TOptions m_options;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_error;
};

// A free TCP port on 127.0.0.1 at the time of the call (bound to port 0, then released).
quint16 FreeLoopbackPort();
