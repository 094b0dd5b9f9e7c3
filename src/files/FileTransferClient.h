#pragma once

#include "files/FileInfo.h"
#include "files/FileReplyParser.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

class QSaveFile;
class TNxEncryptedClient;

// Lists a file server's files and fetches one at a time over the enciphered stream. The
// server answers block requests in turn, so the client chooses how many are outstanding:
// four at first, then as many as the measured rate and round trip call for (see
// GrowWindow), so a long path stays full. Only blocks of the current download that were
// asked for are written, into a temporary file that takes the final name only when
// complete; replies to an abandoned download are read past. A server that breaks the
// protocol is dropped, and so is one that stops answering.
class TFileTransferClient : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Ready };
    static constexpr int InitialWindow = 4;
    // 1 MiB in flight: 20 MB/s at a 50 ms round trip, 5 MB/s at 200 ms. The cap bounds
    // what an abandoned download leaves to read past.
    static constexpr int MaxWindow = 1024;
    // In flight, against rate times the shortest round trip: room for a round trip up to
    // four times the shortest (other traffic queued on the path) before the window limits.
    static constexpr int WindowHeadroom = 4;
    static constexpr int DefaultStallTimeout = 30000;
    static constexpr qsizetype WriteBehindSize = 64 * 1024;

    explicit TFileTransferClient(QObject *parent = nullptr);
    ~TFileTransferClient() override;

    TNxEncryptedClient &Client() const { return *m_client; }
    State GetState() const { return m_state; }
    void Connect(const QString &host, quint16 port);
    // By the user: no reason is given with Disconnected.
    void Disconnect();

    // Accepted entries of the last list, in list order; Index is the place in the list.
    const QList<TFileInfo> &Listed() const { return m_listed; }
    const TFileInfo *FindListed(qint32 index) const;

    // Fetches the listed file at Index into LocalName; returns an error text, or an empty
    // text once the download has started. A download in progress is abandoned.
    QString Download(qint32 index, const QString &localName);
    bool Downloading() const { return m_file != nullptr; }
    QString LocalName() const { return m_localName; }
    qint64 FileSize() const { return m_fileSize; }
    qint64 BytesIn() const { return m_bytesIn; }
    // Block requests the current download keeps outstanding.
    int Window() const { return m_window; }

    void SetStallTimeout(int milliseconds) { m_stallTimeout = milliseconds; }

signals:
    void Connected();
    void ConnectFailed(const QString &error);
    // Reason is empty when the user disconnected.
    void Disconnected(const QString &reason);
    // A list begins (or the connection ended): forget the files listed so far.
    void ListCleared();
    void FileListed(const TFileInfo &file);
    // Refused: entries with an unusable name or size, left out of the list.
    void ListComplete(int refused);
    void Progress();
    void DownloadFinished(const QString &localName);
    void DownloadFailed(const QString &reason);
    void Problem(const QString &text);

private:
    struct TRequest
    {
        quint64 Generation;
        quint32 Block;
        qint64 Length;
        qint64 SentAt = -1;         // on m_clock, ns; -1 until handed to the socket
        qint64 DeliveredBefore = 0; // bytes of the download in when it was sent
    };

    void ClientConnect();
    void ClientDisconnect();
    void ClientError(QAbstractSocket::SocketError error);
    void ClientRead();
    bool HandleEvent(const TFileReplyParser::TEvent &event);
    void HandleBlock(const TFileReplyParser::TEvent &event);
    bool RequestNextBlock();
    void FillWindow();
    void GrowWindow(const TRequest &request);
    void SendRequests();
    bool FlushWrites();
    void Complete();
    void Abandon(const QString &reason);
    void ResetStream();
    void Drop(const QString &reason);
    QString PeerText() const;
    void Stalled();

    TNxEncryptedClient *m_client;
    State m_state = State::Idle;
    TFileReplyParser m_parser;
    std::deque<TRequest> m_outstanding;
    QByteArray m_requests; // asked for while handling a read, sent at its end
    QList<TFileInfo> m_listed;
    int m_refused = 0;
    bool m_dropping = false;
    bool m_userClosing = false;
    quint64 m_epoch = 0; // one per connect, so a late drop never hits a newer connection
    QString m_dropReason;
    QTimer m_stall;
    int m_stallTimeout = DefaultStallTimeout;
    QElapsedTimer m_lastActivity;

    // The current download.
    std::unique_ptr<QSaveFile> m_file;
    QByteArray m_writeBehind; // received in order, written to disk in large pieces
    quint64 m_generation = 0;
    QString m_localName;
    qint64 m_fileSize = 0;
    qint64 m_bytesIn = 0;
    quint32 m_nextBlock = 0;
    int m_window = InitialWindow;
    int m_inFlight = 0;   // requests of this download not yet answered
    qint64 m_minRtt = 0;  // ns; 0 before the first block
    double m_maxRate = 0; // bytes per ns
    QElapsedTimer m_clock;
};
