#pragma once

#include <QString>

// Where a downloaded level goes. Paths are built the way the settings hold them ("\" between
// folders, as typed); both "\" and "/" are taken as separators.
namespace LevelTarget {
// The plain file name at the end of an address (after its last "/" or "\"), or an empty text
// when there is none that can safely be written: "http://host/levels/" gives none.
QString FileName(const QString &address);

// True for an http or https address with a host: nothing else is fetched.
bool IsFetchable(const QString &address);

// The game's missions folder when levels go there, else the download folder.
QString Directory(bool toMissions, const QString &gamePath, const QString &downloadPath);

// Directory and name joined: a "\" is added unless the directory is empty or already ends in
// "\", "/" or ":" (so "c:" means the drive's current folder).
QString Join(const QString &directory, const QString &name);

// A path of the settings as this system writes it.
QString LocalPath(const QString &path);
} // namespace LevelTarget
