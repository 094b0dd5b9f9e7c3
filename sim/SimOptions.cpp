#include "sim/SimOptions.h"

#include "sim/TrackerDatagrams.h"

#include <QRegularExpression>

namespace {

constexpr int MaxLevelBase = 200; // leaves room for the file name in a 255-byte text

bool ReadInt(const QCommandLineParser &parser, const QString &name, int low, int high, int *out, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qlonglong value = parser.value(name).toLongLong(&ok);
    if (!ok || value < low || value > high) {
        *error = QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
        return false;
    }
    *out = int(value);
    return true;
}

bool ReadPort(const QCommandLineParser &parser, const QString &name, quint16 *out, QString *error)
{
    int value = *out;
    if (!ReadInt(parser, name, 0, 65535, &value, error))
        return false;
    *out = quint16(value);
    return true;
}

bool ReadList(const QCommandLineParser &parser, const QString &name, int limit, QSet<int> *out, QString *error)
{
    if (!parser.isSet(name))
        return true;
    const std::optional<QSet<int>> list = ParseIndexList(parser.value(name), limit);
    if (!list) {
        *error = QStringLiteral("--%1 takes server indices from 0 to %2 such as 0,3,5-7, not \"%3\"")
                     .arg(name)
                     .arg(limit - 1)
                     .arg(parser.value(name));
        return false;
    }
    *out = *list;
    return true;
}

bool ReadEndpoint(const QCommandLineParser &parser, const QString &name, QHostAddress *address, quint16 *port,
                  QString *error)
{
    if (parser.isSet(name) && !ParseEndpoint(parser.value(name), address, port)) {
        *error = QStringLiteral("--%1 takes a loopback ADDRESS:PORT such as 127.0.0.1:0, not \"%2\"")
                     .arg(name, parser.value(name));
        return false;
    }
    return true;
}

} // namespace

void AddSimOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {"user-tracker", "User tracker address (default 127.0.0.1:0, port 0 picks a free one).", "address:port"},
        {"game-tracker", "Game tracker address (default 127.0.0.1:0).", "address:port"},
        {"game-ack-port", "Also take game-list acknowledgements on this port of the game tracker's address.", "port"},
        {"servers", "Number of game servers (default 3).", "count"},
        {"first-server",
         "Loopback address of server 0; server i gets the i-th address after it (default "
         "127.77.0.1).",
         "address"},
        {"game-port", "Game port of every server (default 2092, 0 picks a free one per server).", "port"},
        {"status-port", "Query port for \"\\status\\\" of every server (default 20142).", "port"},
        {"silent", "Servers that never answer, e.g. 0,3,5-7 (indices from 0).", "indices"},
        {"slow", "Servers that answer after --slow-ms.", "indices"},
        {"slow-ms", "Delay of the slow servers in milliseconds (default 1000).", "ms"},
        {"full", "Servers whose player count equals their maximum.", "indices"},
        {"once", "Servers that answer each kind of request only the first time.", "indices"},
        {"no-level", "Servers whose level reply carries no address even with --level-url.", "indices"},
        {"seed", "Seed of the generated names, levels, players and statistics (default 1).", "number"},
        {"login",
         "Accepted login, repeatable: NAME:PASSWORD or NAME:PASSWORD=TRACKERID, percent-encoded. "
         "Without any, every login is accepted; with some, other logins get a login-retry reply.",
         "account"},
        {"ignore-logins", "Leave the first N login requests unanswered.", "count"},
        {"silent-tracker", "The user tracker answers nothing."},
        {"silent-game-tracker", "The game tracker answers nothing."},
        {"list-chunk", "Servers per game-list reply, 1 to 106 (default 20).", "count"},
        {"level-url", "HTTP address that level replies point to: BASE/LEVELFILE.", "base"},
        {"level-blank-first", "Put a text of blanks before the address in level replies."},
        {"status-gamespy", "Add hostname, mapname, gametype, numplayers, maxplayers and a closing \\final\\ "
                           "to status replies (for query tools that expect them; the lobby ignores them)."},
        {"events", "Print a JSON line for every datagram received."},
    });
}

std::optional<TSimOptions> ReadSimOptions(const QCommandLineParser &parser, QString *error)
{
    TSimOptions o;
    int listChunk = o.listChunk;
    int ignore = 0;
    if (!ReadEndpoint(parser, "user-tracker", &o.userTrackerAddress, &o.userTrackerPort, error) ||
        !ReadEndpoint(parser, "game-tracker", &o.gameTrackerAddress, &o.gameTrackerPort, error) ||
        !ReadInt(parser, "servers", 0, TSimOptions::MaxServers, &o.serverCount, error) ||
        !ReadPort(parser, "game-port", &o.gamePort, error) || !ReadPort(parser, "status-port", &o.statusPort, error) ||
        !ReadInt(parser, "slow-ms", 1, 600000, &o.slowMs, error) ||
        !ReadInt(parser, "list-chunk", 1, TrackerDatagrams::MaxListEntries, &listChunk, error) ||
        !ReadInt(parser, "ignore-logins", 0, 1000000, &ignore, error))
        return std::nullopt;
    o.listChunk = listChunk;
    o.userTracker.ignoreLogins = ignore;
    if (parser.isSet("game-ack-port")) {
        quint16 port = 0;
        if (!ReadPort(parser, "game-ack-port", &port, error))
            return std::nullopt;
        o.gameAckPort = port;
    }
    if (parser.isSet("first-server")) {
        o.firstServer = QHostAddress(parser.value("first-server"));
        if (!o.firstServer.isLoopback() || o.firstServer.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("--first-server takes an IPv4 loopback address, not \"%1\"")
                         .arg(parser.value("first-server"));
            return std::nullopt;
        }
    }
    if (o.serverCount > 0 && !NthLoopback(o.firstServer, o.serverCount - 1)) {
        *error = QStringLiteral("%1 servers from %2 run past 127.255.255.254")
                     .arg(o.serverCount)
                     .arg(o.firstServer.toString());
        return std::nullopt;
    }
    if (!ReadList(parser, "silent", o.serverCount, &o.silent, error) ||
        !ReadList(parser, "slow", o.serverCount, &o.slow, error) ||
        !ReadList(parser, "full", o.serverCount, &o.full, error) ||
        !ReadList(parser, "once", o.serverCount, &o.once, error) ||
        !ReadList(parser, "no-level", o.serverCount, &o.noLevel, error))
        return std::nullopt;
    if (parser.isSet("seed")) {
        bool ok = false;
        o.seed = parser.value("seed").toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed takes a number from 0 to 4294967295, not \"%1\"").arg(parser.value("seed"));
            return std::nullopt;
        }
    }
    o.userTracker.seed = o.seed;
    for (const QString &text : parser.values("login")) {
        const std::optional<TSimAccount> account = ParseAccount(text);
        if (!account) {
            *error = QStringLiteral("--login takes NAME:PASSWORD or NAME:PASSWORD=TRACKERID, not \"%1\"").arg(text);
            return std::nullopt;
        }
        o.userTracker.accounts.append(*account);
    }
    o.userTracker.silent = parser.isSet("silent-tracker");
    o.silentGameTracker = parser.isSet("silent-game-tracker");
    o.levelUrl = parser.value("level-url").toUtf8();
    if (o.levelUrl.size() > MaxLevelBase) {
        *error = QStringLiteral("--level-url is longer than %1 bytes").arg(MaxLevelBase);
        return std::nullopt;
    }
    o.levelBlankFirst = parser.isSet("level-blank-first");
    o.gamespyStatus = parser.isSet("status-gamespy");
    o.events = parser.isSet("events");
    return o;
}

std::optional<QSet<int>> ParseIndexList(const QString &text, int limit)
{
    static const QRegularExpression item(QStringLiteral("^(\\d{1,6})(?:-(\\d{1,6}))?$"));
    QSet<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = item.match(part.trimmed());
        if (!m.hasMatch())
            return std::nullopt;
        const int from = m.captured(1).toInt();
        const int to = m.captured(2).isEmpty() ? from : m.captured(2).toInt();
        if (from > to || to >= limit)
            return std::nullopt;
        for (int i = from; i <= to; ++i)
            out.insert(i);
    }
    return out;
}

bool ParseEndpoint(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QHostAddress a(text.left(colon));
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535 || !a.isLoopback() || a.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *address = a;
    *port = quint16(p);
    return true;
}

std::optional<TSimAccount> ParseAccount(const QString &text)
{
    const QByteArray raw = text.toUtf8();
    const qsizetype colon = raw.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    TSimAccount account;
    account.name = QByteArray::fromPercentEncoding(raw.left(colon));
    QByteArray rest = raw.mid(colon + 1);
    const qsizetype equals = rest.indexOf('=');
    if (equals >= 0) {
        account.trackerId = QByteArray::fromPercentEncoding(rest.mid(equals + 1));
        rest.truncate(equals);
    }
    account.password = QByteArray::fromPercentEncoding(rest);
    if (account.name.isEmpty())
        return std::nullopt;
    return account;
}

std::optional<QHostAddress> NthLoopback(const QHostAddress &first, int i)
{
    const quint64 value = quint64(first.toIPv4Address()) + quint64(std::max(0, i));
    if (!first.isLoopback() || value > 0x7FFFFFFEu)
        return std::nullopt;
    return QHostAddress(quint32(value));
}
