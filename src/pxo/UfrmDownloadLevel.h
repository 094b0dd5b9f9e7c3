#pragma once

#include "pxo/LevelDownload.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// Fetches one level over HTTP into the missions folder (or the download folder) and shows
// how it goes. Closes itself when the level is in place; a failure stays on show until the
// user closes the window. Closing it cancels the transfer.
class TfrmDownloadLevel : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmDownloadLevel(QWidget *parent = nullptr);

    // From a level-information reply of the server named ServerName. Safe inside a datagram
    // handler: the window, or the "Unable to get level from " box, comes from the event loop.
    // A download already writing the same file is brought to the front instead. Arrived,
    // when given, runs in Context's thread once the level is in place (not after Context
    // is gone).
    static void OpenFor(const QString &serverName, const QString &address, QObject *context = nullptr,
                        std::function<void(const QString &path)> arrived = {});
    // The window whose download writes Path, if one is open.
    static TfrmDownloadLevel *FindFor(const QString &path);

    // Picks the target from the settings and starts the GET.
    TLevelDownload::TStart StartDownload(const QString &url);
    void BringToFront();

    QLabel *lblDownloadLocation;
    QLabel *lblFileSize;
    QLabel *lblBytesReceived;
    QLabel *lblBytesLeft;
    QLabel *lblBytesSecond;
    QLabel *lblTime;
    QLabel *lblTimeLeft;
    QLabel *lblStatus;
    QProgressBar *pgbDownload;
    QPushButton *btnCancel;
    QTimer *Timer;
    TLevelDownload *HTTP;
    quint32 StartTick = 0;

signals:
    // The level is in place: the lobby can check its servers' levels again.
    void LevelDownloaded(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void HTTPConnect();
    void HTTPProgress(qint64 received, qint64 total);
    void HTTPSuccess(const QString &path);
    void HTTPFailed(const QString &reason);
    void TimerTimer();
};
