#pragma once

#include "settings/SettingsStore.h"

#include <QString>
#include <QStringList>

// The demo's own folder and what goes into it: level files served over HTTP, the fake
// game's missions folder, and the settings that point Orlo at the demo network.
namespace DemoFiles {
// <application data>/demo: never the user's own settings or missions.
QString DefaultRoot();

// Count nicks for the demo's chat users: four with names of their own, then Pilot005 and on.
QStringList ChatterNicks(int count);

struct TLayout
{
    QString Root;
    QString SettingsFile() const { return Root + QStringLiteral("/settings.json"); }
    QString LockFile() const { return Root + QStringLiteral("/demo.lock"); }
    QString GameDir() const { return Root + QStringLiteral("/game"); }
    QString MissionsDir() const { return GameDir() + QStringLiteral("/missions"); }
    QString LevelsDir() const { return Root + QStringLiteral("/levels"); }
    QString NgircdDir() const { return Root + QStringLiteral("/ngircd"); }
};

// The bytes of a demo level: a short text naming it, then filler, so downloads show progress.
QByteArray LevelBytes(const QString &name);
constexpr int LevelSize = 256 * 1024;

// The levels a third of the servers play (at least one) are left out of the missions folder,
// so the lobby has something to download. Names are taken as plain file names only.
QStringList ChooseMissing(const QStringList &serverLevels);
// Writes every level into the served folder and the present ones into the missions folder,
// removing the missing ones from it. False with Error set when a file cannot be written.
bool PrepareLevels(const TLayout &layout, const QStringList &serverLevels, const QStringList &missing, QString &error);

struct TSettings
{
    QString Host;        // trackers and chat server
    QString GameProgram; // the fake game, an absolute path
    QString GameDir;
    QString LoginName;
    QString Password;
    QString Alias;
    QStringList Friends; // written only when the user has no list yet
};
// The values that make Orlo use the demo network, written over whatever the demo file holds;
// everything else the user changed in the demo is kept. Raises EStoreError.
void WriteSettings(TSettingsStore &store, const TSettings &settings);
} // namespace DemoFiles
