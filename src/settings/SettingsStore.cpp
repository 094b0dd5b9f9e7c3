#include "settings/SettingsStore.h"

#include "settings/NativeSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <limits>

EStoreError::EStoreError(const QString &message, const QString &location)
    : std::runtime_error(message.toStdString()), m_message(message), m_location(location)
{
}

void TSettingsStore::RecordError(const QString &text)
{
    if (m_firstError.isEmpty())
        m_firstError = text;
    m_writesDisabled = true;
}

void TSettingsStore::EndBatch()
{
    if (m_batchDepth > 0)
        --m_batchDepth;
    if (m_batchDepth == 0 && m_dirty) {
        m_dirty = false;
        if (m_writesDisabled)
            return;
        // A failed write (a full disk) leaves the old file whole; a later save may succeed.
        Flush();
    }
}

void TSettingsStore::Touched()
{
    m_dirty = true;
    if (m_batchDepth == 0)
        EndBatch();
}

TJsonSettingsStore::TJsonSettingsStore(const QString &path) : m_path(path)
{
    Load();
}

void TJsonSettingsStore::Load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_loadError = file.errorString();
        return;
    }
    // A settings file is small; a huge one is not ours.
    constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
    if (file.size() > MaxFileSize) {
        m_loadError = QStringLiteral("the file is larger than %1 bytes").arg(MaxFileSize);
        return;
    }
    m_keys = Parse(file.readAll(), &m_loadError);
}

TJsonSettingsStore::TKeyMap TJsonSettingsStore::Parse(const QByteArray &bytes, QString *error)
{
    TKeyMap keys;
    if (bytes.trimmed().isEmpty())
        return keys;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                  : QStringLiteral("not a JSON object");
        return keys;
    }
    const QJsonObject root = doc.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it.value().isObject())
            continue; // a stray member is no key; it is kept out of the store
        const QJsonObject values = it.value().toObject();
        QMap<QString, QVariant> &target = keys[it.key()];
        for (auto v = values.begin(); v != values.end(); ++v) {
            const QJsonValue value = v.value();
            if (value.isString()) {
                target.insert(v.key(), value.toString());
            } else if (value.isDouble()) {
                const double d = value.toDouble();
                // Range first: converting a double no integer holds is undefined.
                if (d >= std::numeric_limits<qint32>::min() && d <= std::numeric_limits<qint32>::max() &&
                    d == std::floor(d))
                    target.insert(v.key(), static_cast<int>(d));
                else
                    target.insert(v.key(), QVariant(d)); // of no kind we know: reads fail with a type error
            } else {
                // booleans, arrays, null: present, but of a kind no read accepts
                target.insert(v.key(), value.isNull() ? QVariant::fromValue(nullptr) : value.toVariant());
            }
        }
    }
    return keys;
}

QVariant TJsonSettingsStore::Value(const QString &key, const QString &name) const
{
    const auto k = m_keys.constFind(key);
    if (k == m_keys.constEnd())
        return {};
    return k->value(name);
}

void TJsonSettingsStore::SetValue(const QString &key, const QString &name, const QVariant &value)
{
    m_keys[key].insert(name, value);
    Touched();
}

void TJsonSettingsStore::Flush()
{
    QJsonObject root;
    for (auto k = m_keys.cbegin(); k != m_keys.cend(); ++k) {
        QJsonObject values;
        for (auto v = k->cbegin(); v != k->cend(); ++v) {
            if (v->typeId() == QMetaType::Int)
                values.insert(v.key(), v->toInt());
            else if (v->typeId() == QMetaType::QString)
                values.insert(v.key(), v->toString());
            else
                values.insert(v.key(), QJsonValue::fromVariant(*v));
        }
        root.insert(k.key(), values);
    }
    const QFileInfo info(m_path);
    QDir().mkpath(info.absolutePath());
    QSaveFile file(m_path);
    // Unbuffered, so that a short write (a full disk, a size limit) shows in write's count:
    // QSaveFile itself takes one for success and would put a cut file in place of the last
    // good one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw EStoreError(QStringLiteral("Failed to set data for '%1': %2").arg(m_path, file.errorString()), m_path);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("the disk took only part of it");
        file.cancelWriting();
        throw EStoreError(QStringLiteral("Failed to set data for '%1': %2").arg(m_path, reason), m_path);
    }
    if (!file.commit())
        throw EStoreError(QStringLiteral("Failed to set data for '%1': %2").arg(m_path, file.errorString()), m_path);
}

namespace {
std::unique_ptr<TSettingsStore> &StoreSlot()
{
    static std::unique_ptr<TSettingsStore> store;
    return store;
}
} // namespace

QString DefaultSettingsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Orlo/settings.json"));
}

TSettingsStore &ActiveStore()
{
    auto &slot = StoreSlot();
    if (!slot) {
#ifdef Q_OS_WIN
        slot = std::make_unique<TNativeSettingsStore>();
#else
        slot = std::make_unique<TJsonSettingsStore>(DefaultSettingsPath());
#endif
    }
    return *slot;
}

void SetActiveStore(std::unique_ptr<TSettingsStore> store)
{
    StoreSlot() = std::move(store);
}
