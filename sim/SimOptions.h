#pragma once

// The simulator's command line.

#include "sim/UserTracker.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QSet>

#include <optional>

struct TSimOptions
{
    static constexpr int MaxServers = 8000; // two sockets each
    static constexpr quint16 DefaultGamePort = 2092;
    static constexpr quint16 DefaultStatusPort = 20142;

    QHostAddress userTrackerAddress{QHostAddress::LocalHost};
    quint16 userTrackerPort = 0;
    QHostAddress gameTrackerAddress{QHostAddress::LocalHost};
    quint16 gameTrackerPort = 0;
    std::optional<quint16> gameAckPort;
    int serverCount = 3;
    QHostAddress firstServer{QStringLiteral("127.77.0.1")};
    quint16 gamePort = DefaultGamePort;
    quint16 statusPort = DefaultStatusPort;
    QSet<int> silent;
    QSet<int> slow;
    int slowMs = 1000;
    QSet<int> full;
    QSet<int> once;
    QSet<int> noLevel;
    quint32 seed = 1;
    TUserTrackerConfig userTracker;
    bool silentGameTracker = false;
    int listChunk = 20;
    QByteArray levelUrl;
    bool levelBlankFirst = false;
    bool gamespyStatus = false;
    bool events = false;
};

void AddSimOptions(QCommandLineParser &parser);
// Reads the parsed options; on a bad value returns nothing and says why in error.
std::optional<TSimOptions> ReadSimOptions(const QCommandLineParser &parser, QString *error);

// "1,4,7-9" → {1, 4, 7, 8, 9}; every index below limit. Nothing when the text is malformed.
std::optional<QSet<int>> ParseIndexList(const QString &text, int limit);
// "ADDRESS:PORT" with an IPv4 loopback address; port 0 asks for a free one.
bool ParseEndpoint(const QString &text, QHostAddress *address, quint16 *port);
// "NAME:PASSWORD" or "NAME:PASSWORD=TRACKERID", each part percent-decoded (%3A for ':', %3D for '=').
std::optional<TSimAccount> ParseAccount(const QString &text);
// The i-th address after first (i = 0 is first itself); nothing past 127.255.255.254.
std::optional<QHostAddress> NthLoopback(const QHostAddress &first, int i);
