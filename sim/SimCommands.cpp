// The control channel's commands, one per line:
//   stats | reset-stats | servers | help | quit
//   set-players I N | set-max I N | set-name I TEXT | set-level I TEXT
//   set-silent I 0|1 | set-once I 0|1 | set-slow I MS | remove I | add [N]
//   tracker-silent 0|1 | game-tracker-silent 0|1 | ignore-logins N
//   set-stats RATING KILLS DEATHS SELFDESTRUCTS SECONDS DISPLAYNAME

#include "sim/SimNetwork.h"

#include <QRegularExpression>

namespace {

const QStringList Commands{"stats",
                           "reset-stats",
                           "servers",
                           "help",
                           "quit",
                           "set-players I N",
                           "set-max I N",
                           "set-name I TEXT",
                           "set-level I TEXT",
                           "set-silent I 0|1",
                           "set-once I 0|1",
                           "set-slow I MS",
                           "remove I",
                           "add [N]",
                           "tracker-silent 0|1",
                           "game-tracker-silent 0|1",
                           "ignore-logins N",
                           "set-stats RATING KILLS DEATHS SELFDESTRUCTS SECONDS DISPLAYNAME"};

QJsonObject Error(const QString &command, const QString &message)
{
    return QJsonObject{{"reply", "error"}, {"command", command}, {"message", message}};
}

QJsonObject Ok(const QString &command)
{
    return QJsonObject{{"reply", "ok"}, {"command", command}};
}

std::optional<qint64> Number(const QStringList &args, int at, qint64 low, qint64 high)
{
    if (at >= args.size())
        return std::nullopt;
    bool ok = false;
    const qint64 value = args[at].toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// The text after the first `words` words of the line, as typed (inner blanks kept).
QByteArray TextAfter(const QString &line, int words)
{
    static const QRegularExpression word(QStringLiteral("^\\s*\\S+"));
    QString rest = line;
    for (int i = 0; i < words; ++i) {
        const QRegularExpressionMatch m = word.match(rest);
        rest = m.hasMatch() ? rest.mid(m.capturedEnd()) : QString();
    }
    return rest.trimmed().toUtf8();
}

} // namespace

QJsonObject TSimNetwork::Execute(const QString &line, bool *quit)
{
    *quit = false;
    const QStringList args = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (args.isEmpty())
        return Error(QString(), QStringLiteral("empty command"));
    const QString command = args[0].toLower();
    if (command == "stats")
        return Stats();
    if (command == "reset-stats") {
        m_counters.Reset();
        for (const auto &server : m_servers) {
            if (server)
                server->ResetCounts();
        }
        return Ok(command);
    }
    if (command == "servers")
        return QJsonObject{{"reply", "servers"}, {"servers", ServersJson()}};
    if (command == "help")
        return QJsonObject{{"reply", "help"}, {"commands", QJsonArray::fromStringList(Commands)}};
    if (command == "quit") {
        *quit = true;
        return QJsonObject{{"reply", "bye"}};
    }
    if (command == "set-players")
        return CmdSetPlayers(args);
    if (command == "set-max")
        return CmdSetMax(args);
    if (command == "set-name" || command == "set-level")
        return CmdSetText(args, line);
    if (command == "set-silent" || command == "set-once" || command == "set-slow")
        return CmdSetKnob(args);
    if (command == "remove")
        return CmdRemove(args);
    if (command == "add")
        return CmdAdd(args);
    if (command == "tracker-silent" || command == "game-tracker-silent" || command == "ignore-logins")
        return CmdTracker(args);
    if (command == "set-stats")
        return CmdSetStats(args, line);
    return Error(command, QStringLiteral("unknown command; try \"help\""));
}

TGameServer *TSimNetwork::ServerArg(const QStringList &args, int at, QString *error) const
{
    const std::optional<qint64> index = Number(args, at, 0, qint64(m_servers.size()) - 1);
    TGameServer *server = index ? Server(int(*index)) : nullptr;
    if (!server)
        *error = QStringLiteral("no server \"%1\"").arg(at < args.size() ? args[at] : QString());
    return server;
}

QJsonObject TSimNetwork::CmdSetPlayers(const QStringList &args)
{
    QString error;
    TGameServer *server = ServerArg(args, 1, &error);
    if (!server)
        return Error(args[0], error);
    TSimServerInfo &info = server->Info();
    const std::optional<qint64> count = Number(args, 2, 0, info.info.maxPlayers);
    if (!count)
        return Error(args[0],
                     QStringLiteral("takes a player count from 0 to the maximum, %1").arg(info.info.maxPlayers));
    info.players = MakePlayers(m_options.seed, server->Index(), int(*count));
    info.info.players = quint16(info.players.size());
    QJsonObject reply = Ok(args[0]);
    reply.insert("server", server->Describe());
    return reply;
}

QJsonObject TSimNetwork::CmdSetMax(const QStringList &args)
{
    QString error;
    TGameServer *server = ServerArg(args, 1, &error);
    if (!server)
        return Error(args[0], error);
    TSimServerInfo &info = server->Info();
    const std::optional<qint64> max = Number(args, 2, std::max<qsizetype>(1, info.players.size()), MaxSimPlayers);
    if (!max)
        return Error(args[0],
                     QStringLiteral("takes a maximum from the player count (at least 1) to %1").arg(MaxSimPlayers));
    info.info.maxPlayers = quint16(*max);
    QJsonObject reply = Ok(args[0]);
    reply.insert("server", server->Describe());
    return reply;
}

QJsonObject TSimNetwork::CmdSetText(const QStringList &args, const QString &line)
{
    QString error;
    TGameServer *server = ServerArg(args, 1, &error);
    if (!server)
        return Error(args[0], error);
    const QByteArray text = TextAfter(line, 2);
    if (text.size() > ServerDatagrams::MaxTextLength)
        return Error(args[0], QStringLiteral("the text is longer than %1 bytes").arg(ServerDatagrams::MaxTextLength));
    if (args[0].toLower() == "set-name")
        server->Info().info.name = text;
    else
        server->Info().info.level = text;
    QJsonObject reply = Ok(args[0]);
    reply.insert("server", server->Describe());
    return reply;
}

QJsonObject TSimNetwork::CmdSetKnob(const QStringList &args)
{
    QString error;
    TGameServer *server = ServerArg(args, 1, &error);
    if (!server)
        return Error(args[0], error);
    const QString command = args[0].toLower();
    const std::optional<qint64> value = Number(args, 2, 0, command == "set-slow" ? 600000 : 1);
    if (!value)
        return Error(args[0], command == "set-slow" ? QStringLiteral("takes a delay from 0 to 600000 ms")
                                                    : QStringLiteral("takes 0 or 1"));
    if (command == "set-silent")
        server->Knobs().silent = *value != 0;
    else if (command == "set-once")
        server->Knobs().once = *value != 0;
    else
        server->Knobs().slowMs = int(*value);
    QJsonObject reply = Ok(args[0]);
    reply.insert("server", server->Describe());
    return reply;
}

QJsonObject TSimNetwork::CmdRemove(const QStringList &args)
{
    QString error;
    TGameServer *server = ServerArg(args, 1, &error);
    if (!server)
        return Error(args[0], error);
    const int index = server->Index();
    m_servers[size_t(index)].reset();
    QJsonObject reply = Ok(args[0]);
    reply.insert("index", index);
    return reply;
}

QJsonObject TSimNetwork::CmdAdd(const QStringList &args)
{
    const std::optional<qint64> count = args.size() < 2 ? 1 : Number(args, 1, 1, TSimOptions::MaxServers);
    if (!count)
        return Error(args[0], QStringLiteral("takes a count from 1 to %1").arg(TSimOptions::MaxServers));
    QJsonArray added;
    for (qint64 i = 0; i < *count; ++i) {
        QString error;
        TGameServer *server = CreateServer(int(m_servers.size()), &error);
        if (!server) {
            QJsonObject reply = Error(args[0], error);
            reply.insert("servers", added);
            return reply;
        }
        added.append(server->Describe());
    }
    return QJsonObject{{"reply", "added"}, {"servers", added}};
}

QJsonObject TSimNetwork::CmdTracker(const QStringList &args)
{
    const QString command = args[0].toLower();
    const std::optional<qint64> value = Number(args, 1, 0, command == "ignore-logins" ? 1000000 : 1);
    if (!value)
        return Error(args[0], command == "ignore-logins" ? QStringLiteral("takes a count from 0 to 1000000")
                                                         : QStringLiteral("takes 0 or 1"));
    if (command == "tracker-silent")
        m_userTracker->SetSilent(*value != 0);
    else if (command == "game-tracker-silent")
        m_gameTracker->SetSilent(*value != 0);
    else
        m_userTracker->IgnoreLogins(int(*value));
    return Ok(args[0]);
}

QJsonObject TSimNetwork::CmdSetStats(const QStringList &args, const QString &line)
{
    const std::optional<qint64> rating = Number(args, 1, 0, 65535);
    const std::optional<qint64> kills = Number(args, 2, 0, 0xFFFFFFFFll);
    const std::optional<qint64> deaths = Number(args, 3, 0, 0xFFFFFFFFll);
    const std::optional<qint64> suicides = Number(args, 4, 0, 0xFFFFFFFFll);
    const std::optional<qint64> seconds = Number(args, 5, 0, 0xFFFFFFFFll);
    const QByteArray name = TextAfter(line, 6);
    if (!rating || !kills || !deaths || !suicides || !seconds || name.isEmpty())
        return Error(args[0], QStringLiteral("takes RATING KILLS DEATHS SELFDESTRUCTS SECONDS DISPLAYNAME"));
    m_userTracker->SetStats(
        {name, quint16(*rating), quint32(*kills), quint32(*deaths), quint32(*suicides), quint32(*seconds)});
    return Ok(args[0]);
}
