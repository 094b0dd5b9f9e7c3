#include "demo/DemoFiles.h"

#include "base/SafeName.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace DemoFiles {
QStringList ChatterNicks(int count)
{
    QStringList nicks = {QStringLiteral("Kestrel"), QStringLiteral("Mara_V"), QStringLiteral("Dravis"),
                         QStringLiteral("Quill")};
    nicks = nicks.mid(0, qMax(0, count));
    for (int i = int(nicks.size()); i < count; ++i)
        nicks << QStringLiteral("Pilot%1").arg(i + 1, 3, 10, QLatin1Char('0'));
    return nicks;
}

QString DefaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/demo");
}

QByteArray LevelBytes(const QString &name)
{
    QByteArray bytes = "Orlo demo level " + name.toUtf8() + "\n";
    bytes.reserve(LevelSize);
    for (int i = int(bytes.size()); i < LevelSize; ++i)
        bytes.append(char((i * 131 + 17) % 253));
    return bytes;
}

QStringList ChooseMissing(const QStringList &serverLevels)
{
    QStringList distinct;
    for (const QString &level : serverLevels) {
        if (!level.isEmpty() && !distinct.contains(level))
            distinct << level;
    }
    std::sort(distinct.begin(), distinct.end());
    const qsizetype count = std::max<qsizetype>(1, distinct.size() / 3);
    return distinct.mid(0, std::min(count, distinct.size()));
}

namespace {
bool WriteFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    error = QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}
} // namespace

bool PrepareLevels(const TLayout &layout, const QStringList &serverLevels, const QStringList &missing, QString &error)
{
    if (!QDir().mkpath(layout.LevelsDir()) || !QDir().mkpath(layout.MissionsDir())) {
        error = QStringLiteral("Cannot create the demo folders in %1").arg(QDir::toNativeSeparators(layout.Root));
        return false;
    }
    for (const QString &level : serverLevels) {
        // A level name comes from the simulator's reply: it never names a path.
        if (!SafeName::IsPlain(level))
            continue;
        const QString &name = level;
        const QByteArray bytes = LevelBytes(name);
        if (!WriteFile(layout.LevelsDir() + QLatin1Char('/') + name, bytes, error))
            return false;
        const QString local = layout.MissionsDir() + QLatin1Char('/') + name;
        if (missing.contains(name)) {
            if (QFile::exists(local) && !QFile::remove(local)) {
                error = QStringLiteral("Cannot remove %1").arg(QDir::toNativeSeparators(local));
                return false;
            }
        } else if (!WriteFile(local, bytes, error)) {
            return false;
        }
    }
    return true;
}

void WriteSettings(TSettingsStore &store, const TSettings &settings)
{
    using namespace StoreNames;
    const auto N = [](const char *name) { return QLatin1String(name); };
    TStoreBatch batch(store);
    {
        TRegistry reg(store);
        reg.OpenKey(OrloKey(N(KeyPXO)));
        reg.WriteString(N(GameServer), settings.Host);
        reg.WriteString(N(ChatServer), settings.Host);
        reg.WriteString(N(UserServer), settings.Host);
        reg.WriteString(N(UserName), settings.LoginName);
        reg.WriteString(N(Alias), settings.Alias);
        reg.WriteBool(N(SavePassword), true);
        reg.WriteString(N(Password), settings.Password);
        reg.WriteBool(N(AutoJoin), true);
    }
    {
        TRegistry reg(store);
        reg.OpenKey(OrloKey(N(KeyDescent)));
        reg.WriteString(N(ExePath), QDir::toNativeSeparators(settings.GameDir));
        reg.WriteString(N(ExeName), QDir::toNativeSeparators(settings.GameProgram));
        reg.WriteBool(N(AutoLogin), true);
        reg.WriteBool(N(DownloadToMissionsDir), true);
    }
    {
        TRegistry reg(store);
        reg.OpenKey(OrloKey(N(KeyServers)));
        reg.WriteBool(N(OnlyJoinIfLevelExists), true);
    }
    // A first run shows the lobby large enough to see chat and servers at once; later runs
    // keep where the user put the windows.
    const auto placeOnce = [&store](const char *key, std::initializer_list<std::pair<const char *, int>> values) {
        TRegistry reg(store);
        reg.OpenKey(OrloKey(QLatin1String(key)));
        for (const auto &[name, value] : values) {
            if (!reg.ValueExists(QLatin1String(name)))
                reg.WriteInteger(QLatin1String(name), value);
        }
    };
    placeOnce(KeyMainWindow, {{Left, 40}, {Top, 40}, {Width, 1180}, {Height, 800}});
    placeOnce(KeyPXOChatWindow, {{Width, 1150}, {Height, 700}});
    TRegistry reg(store);
    reg.OpenKey(OrloKey(N(KeyChat)));
    if (!reg.ValueExists(N(ChatFriendsList))) {
        for (int i = 0; i < settings.Friends.size(); ++i)
            reg.WriteString(N(ChatFriendsList) + QString::number(i), settings.Friends[i]);
        reg.WriteInteger(N(ChatFriendsList), int(settings.Friends.size()));
    }
}
} // namespace DemoFiles
