#pragma once

#include <QObject>

// Turns SIGINT and SIGTERM into a queued call on the UI thread, so the program can close
// its main window the normal way and save what it holds.
class TSignalBridge : public QObject
{
    Q_OBJECT
public:
    explicit TSignalBridge(QObject *parent = nullptr);
    ~TSignalBridge() override;

signals:
    void Terminate();
};
