#pragma once

#include "settings/SettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

// A settings file of the test's own, made the program's active store.
class TStoreFixture
{
public:
    TStoreFixture() : m_path(m_dir.filePath(QStringLiteral("settings.json"))) { Reopen(); }
    ~TStoreFixture() { SetActiveStore(nullptr); }

    QString Path() const { return m_path; }
    // A new store object over the same file, as a new run of the program would have.
    void Reopen() { SetActiveStore(std::make_unique<TJsonSettingsStore>(m_path)); }
    void Write(const QByteArray &content) const
    {
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }
    QByteArray Bytes() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QJsonObject Key(const QString &section) const
    {
        return QJsonDocument::fromJson(Bytes()).object().value(QStringLiteral("\\Software\\Orlo") + section).toObject();
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};
