#pragma once

#include <QLoggingCategory>
#include <QString>

// Where Orlo says what it dropped or refused, at debug level, so that
// QT_LOGGING_RULES="orlo.*.debug=true" shows why something was ignored.
Q_DECLARE_LOGGING_CATEGORY(lcIrc)     // orlo.irc: chat server lines
Q_DECLARE_LOGGING_CATEGORY(lcPxo)     // orlo.pxo: tracker datagrams
Q_DECLARE_LOGGING_CATEGORY(lcServers) // orlo.servers: game-server and user replies, echoes
Q_DECLARE_LOGGING_CATEGORY(lcTalk)    // orlo.talk: talk streams and requests
Q_DECLARE_LOGGING_CATEGORY(lcFiles)   // orlo.files: file server and transfer streams
Q_DECLARE_LOGGING_CATEGORY(lcNet)     // orlo.net: peer datagrams, host lookups, settings files

namespace Log {
// Lines a category says in one window; a flood is counted instead and the count is said with
// the next line that passes.
constexpr int Burst = 20;
constexpr qint64 WindowMs = 10000;

// Says at debug level in Category that input from Peer was dropped and why.
void Dropped(const QLoggingCategory &category, const QString &peer, const QString &why);
} // namespace Log
