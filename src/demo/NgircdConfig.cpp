#include "demo/NgircdConfig.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString OneLine(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString YesNo(bool flag)
{
    return flag ? QStringLiteral("yes") : QStringLiteral("no");
}
} // namespace

QString NgircdConfigText(const TNgircdConfig &config)
{
    return QStringLiteral("[Global]\n"
                          "Name = %1\n"
                          "Info = %2\n"
                          "Listen = %3\n"
                          "Ports = %4\n"
                          "MotdPhrase = %5\n"
                          "[Limits]\n"
                          "MaxConnectionsIP = 0\n"
                          "MaxNickLength = %6\n"
                          "PingTimeout = %7\n"
                          "PongTimeout = 20\n"
                          "[Options]\n"
                          "PAM = no\n"
                          "Ident = no\n"
                          "DNS = no\n"
                          "RequireAuthPing = %8\n"
                          "IncludeDir = %9\n")
        .arg(OneLine(config.ServerName), OneLine(config.Info), OneLine(config.ListenAddress))
        .arg(config.Port)
        .arg(OneLine(config.Motd))
        .arg(config.MaxNickLength)
        .arg(config.PingTimeout)
        .arg(YesNo(config.RequireAuthPing), OneLine(config.IncludeDir));
}

QString NgircdExecutable()
{
    // Another build of the server (or, in tests, none at all).
    if (qEnvironmentVariableIsSet("ORLO_NGIRCD")) {
        const QFileInfo chosen(qEnvironmentVariable("ORLO_NGIRCD"));
        return chosen.isFile() && chosen.isExecutable() ? chosen.absoluteFilePath() : QString();
    }
    const QString standard = QStringLiteral("/usr/sbin/ngircd");
    if (QFileInfo(standard).isExecutable())
        return standard;
    return QStandardPaths::findExecutable(QStringLiteral("ngircd"));
}

QString NgircdMissingText()
{
    return QStringLiteral("The demo network needs the IRC server ngircd, which is not installed.\n\n"
                          "Install it with:\n    sudo apt-get install ngircd\n\n"
                          "(Installing it does not start a server; the demo runs its own on loopback.)");
}
