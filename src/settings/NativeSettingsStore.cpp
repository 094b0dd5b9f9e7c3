#include "settings/NativeSettingsStore.h"

#ifdef Q_OS_WIN
namespace {
QString RegistryPath(const QString &key)
{
    QString path = key;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}
} // namespace

TNativeSettingsStore::TNativeSettingsStore() : m_registry(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat)
{
}

QString TNativeSettingsStore::Location() const
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Orlo");
}

QVariant TNativeSettingsStore::Value(const QString &key, const QString &name) const
{
    const QString path = RegistryPath(key) + QLatin1Char('/') + name;
    if (!m_registry.contains(path))
        return {};
    QVariant value = m_registry.value(path);
    if (value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::LongLong)
        value = QVariant(static_cast<int>(value.toLongLong())); // REG_DWORD
    return value;
}

void TNativeSettingsStore::SetValue(const QString &key, const QString &name, const QVariant &value)
{
    m_registry.setValue(RegistryPath(key) + QLatin1Char('/') + name, value);
    Touched();
}

void TNativeSettingsStore::Flush()
{
    m_registry.sync();
    if (m_registry.status() != QSettings::NoError)
        throw EStoreError(QStringLiteral("Failed to set data for '%1'").arg(Location()), Location());
}
#endif
