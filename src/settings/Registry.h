#pragma once

#include "settings/SettingsStore.h"

#include <QString>

// The store accessor the section operations use: open a key once, then read and write
// values by name. Reads check the value's kind and raise the store errors; the accessor
// flushes the store when it is freed (or at the end of the enclosing batch).
class TRegistry
{
public:
    explicit TRegistry(TSettingsStore &store = ActiveStore());
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    // Path below the root, e.g. "\Software\Orlo\PXO"; the key is made when written to.
    bool OpenKey(const QString &path, bool canCreate = true);
    bool ValueExists(const QString &name) const;
    QString ReadString(const QString &name) const;
    void WriteString(const QString &name, const QString &text);
    qint32 ReadInteger(const QString &name) const;
    void WriteInteger(const QString &name, qint32 value);
    bool ReadBool(const QString &name) const { return ReadInteger(name) != 0; }
    void WriteBool(const QString &name, bool flag) { WriteInteger(name, flag ? 1 : 0); }

    TSettingsStore &Store() const { return m_store; }

private:
    [[noreturn]] void Fail(const QString &format, const QString &name) const;

    TSettingsStore &m_store;
    QString m_key;
};

// Every store operation of one section or of a whole LoadAll/SaveAll writes the file once.
class TStoreBatch
{
public:
    explicit TStoreBatch(TSettingsStore &store = ActiveStore()) : m_store(store) { m_store.BeginBatch(); }
    ~TStoreBatch() noexcept(false);
    TStoreBatch(const TStoreBatch &) = delete;
    TStoreBatch &operator=(const TStoreBatch &) = delete;

private:
    TSettingsStore &m_store;
};

QString OrloKey(const QString &section = QString());
