#include "pxo/LaunchCommand.h"

#include <QDir>
#include <QFileInfo>

namespace LaunchCommand {

QStringList SplitLine(const QString &line)
{
    QStringList args;
    QString current;
    bool quoted = false;
    bool any = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c.isSpace()) {
            if (any || !current.isEmpty())
                args << current;
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty())
        args << current;
    return args;
}

namespace {
// "$ip" then "$port" in a piece of the configured text (never in the alias).
QString FillPiece(QString piece, const QString &ip, quint16 port)
{
    piece.replace(QLatin1String("$ip"), ip);
    piece.replace(QLatin1String("$port"), QString::number(port));
    return piece;
}

QString FillArgument(const QString &arg, const QString &alias, const QString &ip, quint16 port)
{
    const QStringList pieces = arg.split(QLatin1String("$chatname"));
    QStringList filled;
    for (const QString &piece : pieces)
        filled << FillPiece(piece, ip, port);
    return filled.join(alias);
}
} // namespace

QStringList Arguments(const QStringList &paramLines, const QString &alias, const QString &ip, quint16 port)
{
    QStringList args;
    for (const QString &line : paramLines) {
        for (const QString &arg : SplitLine(line))
            args << FillArgument(arg, alias, ip, port);
    }
    return args;
}

QString DisplayLine(const QString &exeName, const QStringList &paramLines, const QString &alias, const QString &ip,
                    quint16 port)
{
    QString line = exeName;
    const QString quoted = QLatin1Char('"') + alias + QLatin1Char('"');
    for (const QString &param : paramLines) {
        const QStringList pieces = param.split(QLatin1String("$chatname"));
        QStringList filled;
        for (const QString &piece : pieces)
            filled << FillPiece(piece, ip, port);
        line += QLatin1Char(' ') + filled.join(quoted);
    }
    return line;
}

QString ExePath(const QString &path)
{
    const bool root = path == QLatin1String("\\") || path == QLatin1String("/") ||
                      (path.size() == 3 && path[1] == QLatin1Char(':') &&
                       (path[2] == QLatin1Char('\\') || path[2] == QLatin1Char('/')));
    if (!root && (path.endsWith(QLatin1Char('\\')) || path.endsWith(QLatin1Char('/'))))
        return path.left(path.size() - 1);
    return path;
}

QString ProgramPath(const QString &exePath, const QString &exeName)
{
    QString name = exeName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(name).isAbsolute() || exePath.isEmpty())
        return QDir::cleanPath(name);
    QString dir = exePath;
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(dir + QLatin1Char('/') + name);
}

QString ErrorText(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("System was out of memory, executable file was corrupt, or relocations were invalid");
    case 2:
        return QStringLiteral("File was not found");
    case 3:
        return QStringLiteral("Path was not found");
    case 5:
        return QStringLiteral("Attempt was made to dynamically link to a task, or there was a sharing or "
                              "network-protection error");
    case 6:
        return QStringLiteral("Library required separate data segments for each task");
    case 8:
        return QStringLiteral("There was insufficient memory to start the application");
    case 10:
        return QStringLiteral("Windows version was incorrect");
    case 11:
        return QStringLiteral("Executable file was invalid. Either it was not a Windows application or there was an "
                              "error in the .EXE image");
    case 12:
        return QStringLiteral("Application was designed for a different operating system");
    case 13:
        return QStringLiteral("Application was designed for MS-DOS 4.0");
    case 14:
        return QStringLiteral("Type of executable file was unknown");
    case 15:
        return QStringLiteral("Attempt was made to load a real-mode application (developed for an earlier version of "
                              "Windows)");
    case 16:
        return QStringLiteral("Attempt to load second instance of an executable containing multiple data segments not "
                              "marked read-only");
    case 19:
        return QStringLiteral("Attempt was made to load a compressed executable file. The file must be decompressed "
                              "before it can be loaded");
    case 20:
        return QStringLiteral("Dynamic-link library (DLL) file was invalid. One of the DLLs required to run this "
                              "application was corrupt");
    case 21:
        return QStringLiteral("Application requires 32-bit extensions");
    default:
        return QStringLiteral("The game could not be started (error %1)").arg(code);
    }
}

int ErrorCode(QProcess::ProcessError error, const QString &program)
{
    if (error != QProcess::FailedToStart)
        return 0;
    const QFileInfo info(program);
    if (!info.dir().exists())
        return 3;
    if (!info.exists())
        return 2;
    if (!info.isExecutable() || info.isDir())
        return 5;
    return 11;
}

QString AliasToNick(const QString &alias)
{
    QString nick = alias;
    for (qsizetype i = 0; i < nick.size(); ++i) {
        if (nick[i] == QLatin1Char(' ')) {
            nick[i] = QLatin1Char('_');
        } else if (nick[i] == QLatin1Char('.') || nick[i] == QLatin1Char('\'')) {
            nick.truncate(i);
            break;
        }
    }
    return nick;
}

} // namespace LaunchCommand
