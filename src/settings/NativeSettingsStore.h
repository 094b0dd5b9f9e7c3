#pragma once

#include "settings/SettingsStore.h"

#ifdef Q_OS_WIN
#include <QSettings>

// The Windows registry under HKEY_CURRENT_USER: strings as REG_SZ, numbers as REG_DWORD.
class TNativeSettingsStore : public TSettingsStore
{
public:
    TNativeSettingsStore();
    QString Location() const override;
    QVariant Value(const QString &key, const QString &name) const override;
    void SetValue(const QString &key, const QString &name, const QVariant &value) override;
    void Flush() override;

private:
    mutable QSettings m_registry;
};
#endif
