#pragma once

#include "demo/DemoFiles.h"

#include <QHostAddress>
#include <QLockFile>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>

#include <memory>

class TSimProcess;

struct TDemoOptions
{
    static constexpr int MaxServers = 5000;
    static constexpr int MaxChatters = 1000;

    QString Root = DemoFiles::DefaultRoot();
    // Trackers and chat server listen here on their usual ports; the game servers take the
    // next addresses. Loopback only: the simulator answers small datagrams with large ones.
    QHostAddress Address = QHostAddress(QStringLiteral("127.0.0.1"));
    quint16 ChatPort = 7170;
    quint16 UserTrackerPort = 2092;
    quint16 GameTrackerPort = 3445;
    int Servers = 12;
    QStringList ChatterNicks = DemoFiles::ChatterNicks(4);
    int ChatIntervalMs = 12000; // between two lines of the channel, on average
    // Where the helper programs are; empty finds them beside the running program.
    QString HelperDir;
    int StartTimeoutMs = 15000;
};

// Everything the demo runs on loopback: the simulated PXO trackers and game servers, an HTTP
// server for the levels, ngircd on the chat port and the scripted chat users. Start is all or
// nothing; Stop (or the destructor) ends every process it started.
class TDemoNetwork : public QObject
{
    Q_OBJECT
public:
    static constexpr char LoginName[] = "demo";
    static constexpr char Password[] = "descent3";
    static constexpr char TrackerId[] = "DEMO000042";
    static constexpr char Alias[] = "Newcomer";

    explicit TDemoNetwork(QObject *parent = nullptr);
    ~TDemoNetwork() override;

    bool Start(const TDemoOptions &options);
    void Stop();
    bool Running() const { return m_running; }
    // Why Start failed, in words for the user.
    QString ErrorString() const { return m_error; }

    const DemoFiles::TLayout &Layout() const { return m_layout; }
    TSimProcess *Sim() const { return m_sim.get(); }
    QString Host() const { return m_options.Address.toString(); }
    QString LevelBaseUrl() const { return m_levelUrl; }
    QString GameProgram() const { return m_gameProgram; }
    QStringList ServerLevels() const { return m_serverLevels; }
    QStringList MissingLevels() const { return m_missing; }
    // The settings that point Orlo at this network.
    DemoFiles::TSettings Settings() const;
    // The process ids of every helper still running.
    QList<qint64> ProcessIds() const;

    // A helper program: beside the running program, in ../libexec/orlo, or in the build
    // tree's sim folder. Empty when none is found.
    static QString FindHelper(const QString &name, const QString &helperDir = QString());

signals:
    // A helper ended while the demo was running (the demo goes on without it).
    void HelperEnded(const QString &name);

private:
    bool Fail(const QString &error);
    bool CheckPortsFree();
    bool StartLevelServer();
    bool StartSim();
    bool StartNgircd();
    bool StartChatters();
    void Watch(QProcess *process, const QString &name);
    // Runs the event loop until done() holds or the time is up.
    static bool WaitUntil(const std::function<bool()> &done, int timeoutMs);

    TDemoOptions m_options;
    DemoFiles::TLayout m_layout;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<TSimProcess> m_sim;
    std::unique_ptr<QProcess> m_http;
    std::unique_ptr<QProcess> m_ngircd;
    std::unique_ptr<QProcess> m_chatters;
    QString m_levelUrl;
    QString m_gameProgram;
    QStringList m_serverLevels;
    QStringList m_missing;
    QString m_error;
    bool m_running = false;
};
