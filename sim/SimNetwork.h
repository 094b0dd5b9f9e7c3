#pragma once

// The whole simulated network: both trackers and the game servers, their counters, and the
// commands of the control channel. Every command gives one JSON object with a "reply" key;
// unsolicited lines (the event log) carry an "event" key instead.

#include "sim/GameServer.h"
#include "sim/GameTracker.h"
#include "sim/SimOptions.h"
#include "sim/UserTracker.h"

#include <QJsonArray>
#include <QObject>

#include <memory>
#include <vector>

class TSimNetwork : public QObject
{
    Q_OBJECT
public:
    explicit TSimNetwork(const TSimOptions &options, QObject *parent = nullptr);
    ~TSimNetwork() override;

    // Binds every socket; on failure says which one in error.
    bool Start(QString *error);
    QJsonObject ReadyInfo() const;
    // One line of the control channel. quit is set when the simulator should stop.
    QJsonObject Execute(const QString &line, bool *quit);

    int ServerSlots() const { return int(m_servers.size()); }
    TGameServer *Server(int index) const;
    const TSimCounters &Counters() const { return m_counters; }

signals:
    void Event(const QJsonObject &event);

private:
    TGameServer *CreateServer(int index, QString *error);
    QList<TrackerDatagrams::TListEntry> ListedServers() const;
    QJsonObject Stats() const;
    QJsonArray ServersJson() const;
    // The server named by args[at], or nothing with the reason in error.
    TGameServer *ServerArg(const QStringList &args, int at, QString *error) const;

    QJsonObject CmdSetPlayers(const QStringList &args);
    QJsonObject CmdSetMax(const QStringList &args);
    QJsonObject CmdSetText(const QStringList &args, const QString &line);
    QJsonObject CmdSetKnob(const QStringList &args);
    QJsonObject CmdRemove(const QStringList &args);
    QJsonObject CmdAdd(const QStringList &args);
    QJsonObject CmdTracker(const QStringList &args);
    QJsonObject CmdSetStats(const QStringList &args, const QString &line);

    TSimOptions m_options;
    TSimCounters m_counters;
    std::unique_ptr<TUserTracker> m_userTracker;
    std::unique_ptr<TGameTracker> m_gameTracker;
    std::vector<std::unique_ptr<TGameServer>> m_servers; // index = server index; removed ones are null
};
