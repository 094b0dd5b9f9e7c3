#pragma once

#include <QString>

// The configuration of an ngircd run in the foreground on loopback, for the demo network and
// for the tests' own IRC server.
struct TNgircdConfig
{
    QString ServerName = QStringLiteral("irc.orlo.test");
    QString Info = QStringLiteral("Orlo test server");
    QString Motd = QStringLiteral("Welcome to the Orlo test network");
    QString ListenAddress = QStringLiteral("127.0.0.1");
    quint16 Port = 0;
    int PingTimeout = 120; // seconds of silence before the server sends PING
    int MaxNickLength = 20;
    // A PING right at registration, so a client that waits for the first PING goes on at once.
    bool RequireAuthPing = false;
    QString IncludeDir; // a folder of the caller's own (ngircd reads every file in it)
};

// The text of ngircd.conf. Line breaks inside a value are dropped, so no value adds a setting.
QString NgircdConfigText(const TNgircdConfig &config);

// The ngircd program: $ORLO_NGIRCD when set, else /usr/sbin/ngircd, else found on PATH; empty
// when it is not installed.
QString NgircdExecutable();
// What a user without ngircd is told.
QString NgircdMissingText();
