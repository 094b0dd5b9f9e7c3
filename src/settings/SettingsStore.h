#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QVariant>

#include <memory>
#include <stdexcept>

// A store error carries the user-facing text ("Invalid data type for 'Login'") and the
// path of the store it came from, so the message can say which file to fix or move.
class EStoreError : public std::runtime_error
{
public:
    EStoreError(const QString &message, const QString &location);
    QString Message() const { return m_message; }
    QString Location() const { return m_location; }

private:
    QString m_message;
    QString m_location;
};

// The per-user hierarchical key/value store. Keys are paths such as "\Software\Orlo\PXO";
// each value is either a string or a 32-bit integer and keeps that kind.
class TSettingsStore
{
public:
    virtual ~TSettingsStore() = default;

    // Where the values live, for messages ("/home/me/.config/Orlo/settings.json").
    virtual QString Location() const = 0;
    // The value under Key, invalid when missing. Strings come back as QString,
    // integers as int; anything else is of a kind the store does not know.
    virtual QVariant Value(const QString &key, const QString &name) const = 0;
    virtual void SetValue(const QString &key, const QString &name, const QVariant &value) = 0;
    // Writes what changed; throws EStoreError when the medium refuses.
    // Why the store could not be read at all (empty when it could).
    virtual QString OpenError() const { return {}; }
    virtual void Flush() = 0;

    // After an error the store stops writing for the rest of the run, so the
    // content the user can still repair is never overwritten.
    bool WritesDisabled() const { return m_writesDisabled; }
    void DisableWrites() { m_writesDisabled = true; }
    // The first error of the run that disabled writes (empty when none).
    QString FirstError() const { return m_firstError; }
    void RecordError(const QString &text);

    // Section operations flush once at the end of a batch, not per key.
    void BeginBatch() { ++m_batchDepth; }
    void EndBatch();
    void Touched();

private:
    bool m_writesDisabled = false;
    bool m_dirty = false;
    int m_batchDepth = 0;
    QString m_firstError;
};

// A JSON file that maps key paths to objects of values:
//   { "\\Software\\Orlo\\PXO": { "Game server": "pxo.example", "Auto join": 1 } }
// It is read once, written atomically (temporary file, then rename) and with mode 0600
// because it holds passwords.
class TJsonSettingsStore : public TSettingsStore
{
public:
    explicit TJsonSettingsStore(const QString &path);

    QString Location() const override { return m_path; }
    QVariant Value(const QString &key, const QString &name) const override;
    void SetValue(const QString &key, const QString &name, const QVariant &value) override;
    void Flush() override;

    // The parse error of the file, empty when it read well or did not exist.
    QString OpenError() const override { return m_loadError; }

    using TKeyMap = QMap<QString, QMap<QString, QVariant>>;
    // The file's bytes as keys and values; Error gets why they are not a settings file.
    static TKeyMap Parse(const QByteArray &bytes, QString *error);

private:
    void Load();

    QString m_path;
    QString m_loadError;
    QMap<QString, QMap<QString, QVariant>> m_keys;
};

// The store the program uses: the native registry on Windows, the JSON file elsewhere.
// SetActiveStore replaces it (the --settings option, tests).
TSettingsStore &ActiveStore();
void SetActiveStore(std::unique_ptr<TSettingsStore> store);
QString DefaultSettingsPath();
