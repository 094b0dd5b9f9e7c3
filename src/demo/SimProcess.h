#pragma once

// Starts orlo-pxo-sim for a test or a demonstration and talks to its control channel.
// Every wait runs a local event loop bounded in time, so the caller's own sockets keep
// working while it waits (as with QSignalSpy::wait).

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>

class TSimProcess : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxKeptEvents = 20000;

    explicit TSimProcess(QObject *parent = nullptr);
    ~TSimProcess() override;

    // $ORLO_PXO_SIM, else $ORLO_BINARY_DIR/sim/orlo-pxo-sim, else next to the running program.
    static QString DefaultProgram();
    // A first server address 127.x.y.1 picked at random: the query port is fixed, so runs that
    // overlap need addresses of their own.
    static QString RandomServerBase();

    void SetProgram(const QString &program) { m_program = program; }
    // Starts the simulator and waits for its ready line. Unless the arguments name
    // --first-server, a random base is added, and another is tried when that one is taken.
    bool Start(const QStringList &arguments = {}, int timeoutMs = 15000);
    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 ProcessId() const { return m_process.processId(); }
    QString ErrorString() const { return m_error; }

    QJsonObject ReadyInfo() const { return m_ready; }
    // Addresses as text, so that this helper needs QtCore only.
    QString UserTrackerAddress() const;
    quint16 UserTrackerPort() const;
    QString GameTrackerAddress() const;
    quint16 GameTrackerPort() const;
    // The servers as the ready line listed them (the "servers" command gives the current ones).
    QJsonArray Servers() const { return m_ready.value("servers").toArray(); }
    QJsonObject Server(int index) const;

    // Sends one command line and waits for its reply; an empty object on time-out or exit.
    QJsonObject Command(const QString &line, int timeoutMs = 5000);
    QJsonObject Stats(int timeoutMs = 5000) { return Command(QStringLiteral("stats"), timeoutMs); }
    // One counter of the stats reply (group "requests", kind "login", ...); -1 when there is none.
    qint64 Counter(const QString &group, const QString &kind, int timeoutMs = 5000);
    // One counter of one server ("requests" or "replies", kind "gameInfo", ...); -1 when there is none.
    qint64 ServerCounter(int index, const QString &group, const QString &kind, int timeoutMs = 5000);

    // Event lines (with --events), oldest first, at most MaxKeptEvents of them.
    QList<QJsonObject> Events() const { return m_events; }
    void ClearEvents() { m_events.clear(); }
    // Waits for an event (already received or arriving) that match accepts.
    bool WaitForEvent(const std::function<bool(const QJsonObject &)> &match, int timeoutMs = 5000);

    // "quit", then waits; kills the simulator after the time-out. The exit code, or -1 when it was killed.
    int Stop(int timeoutMs = 5000);
    // Ends the simulator's standard input (it stops at end of input).
    void CloseInput() { m_process.closeWriteChannel(); }
    // Sends SIGTERM (a plain kill where there are no signals).
    void Terminate() { m_process.terminate(); }
    // The exit code once the simulator has ended, or -1 when it is still running after timeoutMs.
    int WaitForExit(int timeoutMs = 5000);

signals:
    void EventReceived(const QJsonObject &event);

private:
    bool StartOnce(const QStringList &arguments, int timeoutMs);
    void ReadOutput();
    // Runs the event loop until done() holds or timeoutMs has passed; returns done().
    bool WaitUntil(const std::function<bool()> &done, int timeoutMs);

    QString m_program;
    QString m_error;
    QProcess m_process;
    QByteArray m_buffer;
    QJsonObject m_ready;
    QJsonObject m_startError;
    QList<QJsonObject> m_replies;
    QList<QJsonObject> m_events;
    int m_repliesToSkip = 0; // replies of commands that timed out, still on their way
};
