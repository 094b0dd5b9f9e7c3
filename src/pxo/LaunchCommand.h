#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The game's command line: the configured parameter lines with "$chatname", "$ip" and
// "$port" filled in, split into arguments without any shell.
namespace LaunchCommand {
// A line is split at blanks; double quotes group blanks into one argument and are dropped.
QStringList SplitLine(const QString &line);
// Every parameter line split and filled in. The alias takes the place of "$chatname" as
// one argument part, exactly as typed: nothing inside it is replaced or split.
QStringList Arguments(const QStringList &paramLines, const QString &alias, const QString &ip, quint16 port);
// The command line as the user reads it (for messages): exe, then the lines joined by blanks,
// the alias in double quotes.
QString DisplayLine(const QString &exeName, const QStringList &paramLines, const QString &alias, const QString &ip,
                    quint16 port);

// The game directory as set: one trailing "\" (or "/") removed, except from a root ("\" or "c:\").
QString ExePath(const QString &path);
// The program file: ExeName inside ExePath unless ExeName is absolute.
QString ProgramPath(const QString &exePath, const QString &exeName);

// The start error text for a system error code ("File was not found" for 2).
QString ErrorText(int code);
// The system error code that stands for a process error Qt reports.
int ErrorCode(QProcess::ProcessError error, const QString &program);

// The chat nick of an alias: blanks become "_", the text ends before the first "." or "'".
QString AliasToNick(const QString &alias);
} // namespace LaunchCommand
