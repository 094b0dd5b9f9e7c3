#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class QNetworkAccessManager;
class QSaveFile;

// One level file fetched over HTTP. The body goes to a temporary file beside the target,
// which takes the target's name only once the whole announced length has arrived: a broken
// or cancelled transfer never leaves a file that would pass for the level, and an existing
// level is replaced only by a complete one. One download per target file at a time.
class TLevelDownload : public QObject
{
    Q_OBJECT
public:
    enum class TStart {
        Started,
        BadAddress, // not http or https, or no usable file name in it
        Busy,       // another download writes the same file
        FileError,  // the folder or the temporary file cannot be made; see ErrorText
    };

    static constexpr qint64 DefaultMaxBytes = qint64(1) << 30;
    static constexpr int DefaultStallMs = 60000;

    // Manager may be shared; without one the download makes its own.
    explicit TLevelDownload(QObject *parent = nullptr, QNetworkAccessManager *manager = nullptr);
    ~TLevelDownload() override;

    // The download now writing the file at Path, if there is one.
    static TLevelDownload *Running(const QString &path);
    // The file a download of Address into Directory (as the settings write folders) would write.
    static QString TargetFor(const QString &address, const QString &directory);

    TStart Start(const QString &address, const QString &directory);
    // Stops the transfer and removes what had arrived; nothing is reported.
    void Cancel();

    void SetMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    void SetStallTimeout(int ms) { m_stallMs = ms; }

    bool IsRunning() const { return m_reply != nullptr; }
    QString Address() const { return m_address; }
    QString FileName() const { return m_fileName; }
    QString TargetPath() const { return m_target; }
    qint64 Received() const { return m_received; }
    qint64 Total() const { return m_total; } // -1 until the server announces a length
    QString ErrorText() const { return m_error; }

signals:
    void Connected();
    void Progress(qint64 received, qint64 total);
    void Succeeded(const QString &path);
    void Failed(const QString &reason);

private:
    void HeadersArrived();
    void ReadBody();
    void TransferFinished();
    void Stalled();
    bool HttpOk() const;
    int HttpStatus() const;
    void Fail(const QString &reason);
    // Drops the reply and the temporary file and frees the target.
    void Release();

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QSaveFile> m_file;
    QTimer m_stall;
    QString m_address;
    QString m_fileName;
    QString m_target;
    QString m_key;
    QString m_error;
    qint64 m_received = 0;
    qint64 m_total = -1;
    qint64 m_maxBytes = DefaultMaxBytes;
    int m_stallMs = DefaultStallMs;
    bool m_connected = false;
};
