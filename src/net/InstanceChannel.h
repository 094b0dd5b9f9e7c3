#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One Orlo per user and settings file. The first start listens on a local socket that only
// this user may open; a later start hands its request (a link, or "show") to it and ends.
//
// Wire: one line of UTF-8 text ended by LF, at most MaxMessage bytes, answered "ok" LF.
class TInstanceChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxMessage = 1024;
    static constexpr int HandOverMs = 3000;

    // Key tells apart Orlos that may run side by side (other settings files).
    explicit TInstanceChannel(const QString &key, QObject *parent = nullptr);
    ~TInstanceChannel() override;

    // Before the first window: hands Message to a running Orlo when there is one (true), else
    // listens for later starts (false). Start-ups at the same moment take turns on a lock, so
    // exactly one of them listens.
    bool HandOverOrListen(const QString &message);
    bool Listening() const;
    QString ServerName() const { return m_name; }

signals:
    void MessageReceived(const QString &message);

private:
    bool SendToRunning(const QString &message);
    void Accept();
    void Read(QLocalSocket *socket);

    QString m_name;
    QString m_lockPath;
    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, QByteArray> m_buffers;
};
