#include "settings/Registry.h"

#include <exception>

QString OrloKey(const QString &section)
{
    return QStringLiteral("\\Software\\Orlo") + section;
}

TRegistry::TRegistry(TSettingsStore &store) : m_store(store)
{
    m_store.BeginBatch();
}

TRegistry::~TRegistry()
{
    // A destructor must not throw: a failed write is recorded and the store stops writing.
    try {
        m_store.EndBatch();
    } catch (const EStoreError &e) {
        m_store.RecordError(e.Message());
    }
}

TStoreBatch::~TStoreBatch() noexcept(false)
{
    if (std::uncaught_exceptions() > 0) {
        try {
            m_store.EndBatch();
        } catch (const EStoreError &e) {
            m_store.RecordError(e.Message());
        }
        return;
    }
    m_store.EndBatch();
}

bool TRegistry::OpenKey(const QString &path, bool canCreate)
{
    Q_UNUSED(canCreate);
    m_key = path;
    const QString error = m_store.OpenError();
    if (!error.isEmpty()) {
        const QString text = QStringLiteral("Unable to read the settings: %1").arg(error);
        m_store.RecordError(text);
        throw EStoreError(text, m_store.Location());
    }
    return true;
}

void TRegistry::Fail(const QString &format, const QString &name) const
{
    const QString text = QString(format).replace(QLatin1String("%s"), name);
    m_store.RecordError(text);
    throw EStoreError(text, m_store.Location());
}

bool TRegistry::ValueExists(const QString &name) const
{
    return m_store.Value(m_key, name).isValid();
}

QString TRegistry::ReadString(const QString &name) const
{
    const QVariant v = m_store.Value(m_key, name);
    if (!v.isValid())
        return {};
    if (v.typeId() != QMetaType::QString)
        Fail(QStringLiteral("Invalid data type for '%s'"), name);
    return v.toString();
}

void TRegistry::WriteString(const QString &name, const QString &text)
{
    m_store.SetValue(m_key, name, text);
}

qint32 TRegistry::ReadInteger(const QString &name) const
{
    const QVariant v = m_store.Value(m_key, name);
    if (!v.isValid())
        Fail(QStringLiteral("Failed to get data for '%s'"), name);
    if (v.typeId() != QMetaType::Int)
        Fail(QStringLiteral("Invalid data type for '%s'"), name);
    return v.toInt();
}

void TRegistry::WriteInteger(const QString &name, qint32 value)
{
    m_store.SetValue(m_key, name, value);
}
