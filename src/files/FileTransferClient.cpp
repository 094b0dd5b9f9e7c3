#include "files/FileTransferClient.h"

#include "base/Log.h"
#include "files/FileProtocol.h"
#include "net/NxEncryptedSocket.h"

#include <QFile>
#include <QPointer>
#include <QSaveFile>

#include "base/SafeName.h"
#include <QTcpSocket>

#include <algorithm>
#include <cmath>

TFileTransferClient::TFileTransferClient(QObject *parent) : QObject(parent), m_client(new TNxEncryptedClient(this))
{
    connect(m_client, &TNxEncryptedClient::OnConnect, this, &TFileTransferClient::ClientConnect);
    connect(m_client, &TNxEncryptedClient::OnDisconnect, this, &TFileTransferClient::ClientDisconnect);
    connect(m_client, &TNxEncryptedClient::OnError, this, &TFileTransferClient::ClientError);
    connect(m_client, &TNxEncryptedClient::OnRead, this, &TFileTransferClient::ClientRead);
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &TFileTransferClient::Stalled);
    m_clock.start();
}

TFileTransferClient::~TFileTransferClient()
{
    m_client->disconnect(this);
    m_client->Socket()->abort();
    // An unfinished download leaves nothing behind: the temporary file goes with it.
    if (m_file)
        m_file->cancelWriting();
}

void TFileTransferClient::Connect(const QString &host, quint16 port)
{
    if (m_state != State::Idle)
        return;
    // A connection still closing would make the new one a no-op.
    m_client->Socket()->abort();
    ResetStream();
    m_listed.clear();
    m_dropping = false;
    m_userClosing = false;
    m_dropReason.clear();
    ++m_epoch;
    m_state = State::Connecting;
    m_client->SetHost(host);
    m_client->SetPort(port);
    m_client->Open();
}

void TFileTransferClient::Disconnect()
{
    if (m_state == State::Idle)
        return;
    if (m_state == State::Connecting) {
        // An unfinished connect ends without a disconnect event.
        m_client->Socket()->abort();
        m_state = State::Idle;
        emit Disconnected(QString());
        return;
    }
    m_userClosing = true;
    m_client->Close();
}

const TFileInfo *TFileTransferClient::FindListed(qint32 index) const
{
    for (const TFileInfo &file : m_listed) {
        if (file.Index == index)
            return &file;
    }
    return nullptr;
}

QString TFileTransferClient::Download(qint32 index, const QString &localName)
{
    if (m_state != State::Ready)
        return QStringLiteral("Not connected.");
    const TFileInfo *listed = FindListed(index);
    if (!listed)
        return QStringLiteral("That file is not in the list.");
    const qint64 size = listed->Size;
    Abandon(QString());
    auto file = std::make_unique<QSaveFile>(localName);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QStringLiteral("Cannot create %1: %2").arg(localName, file->errorString());
    m_file = std::move(file);
    m_writeBehind.clear();
    ++m_generation;
    m_localName = localName;
    m_fileSize = size;
    m_bytesIn = 0;
    m_nextBlock = 0;
    // What the last download learnt of the path is not trusted: its late replies may
    // still be on the way ahead of this one's.
    m_window = InitialWindow;
    m_inFlight = 0;
    m_minRtt = 0;
    m_maxRate = 0;
    m_requests += FileProtocol::OpenRequest(quint32(index));
    FillWindow();
    SendRequests();
    emit Progress();
    if (size == 0)
        Complete();
    return {};
}

bool TFileTransferClient::RequestNextBlock()
{
    if (!m_file || qint64(m_nextBlock) * FileProtocol::BlockSize >= m_fileSize)
        return false;
    m_outstanding.push_back({m_generation, m_nextBlock, FileProtocol::BlockLength(m_fileSize, m_nextBlock)});
    m_requests += FileProtocol::BlockRequest(m_nextBlock);
    ++m_nextBlock;
    ++m_inFlight;
    if (!m_stall.isActive()) {
        m_lastActivity.start();
        m_stall.start(m_stallTimeout);
    }
    return true;
}

void TFileTransferClient::FillWindow()
{
    while (m_inFlight < m_window && RequestNextBlock()) {
    }
}

// Each block gives a round trip (request sent to block in) and a delivery rate (what came
// in meanwhile over that time). Rate times the shortest round trip is what the path holds;
// the window covers it with headroom. While the window is what limits the transfer, blocks
// come back in about the shortest round trip, so each round trip multiplies the window by
// up to the headroom, as in a slow start; once the path is full, the round trip stretches
// instead and the window stays. It never shrinks during a download: a window too large
// costs only late replies to read past if the download is abandoned, one too small costs
// speed, and a shrinking one could spiral down whenever other traffic lengthened the path.
void TFileTransferClient::GrowWindow(const TRequest &request)
{
    if (request.SentAt < 0)
        return; // answered before it was sent: no measure
    const qint64 rtt = std::max<qint64>(m_clock.nsecsElapsed() - request.SentAt, 1);
    m_minRtt = m_minRtt == 0 ? rtt : std::min(m_minRtt, rtt);
    m_maxRate = std::max(m_maxRate, double(m_bytesIn - request.DeliveredBefore) / double(rtt));
    const double wanted = WindowHeadroom * m_maxRate * double(m_minRtt) / double(FileProtocol::BlockSize);
    if (wanted > m_window)
        m_window = int(std::min<double>(std::ceil(wanted), MaxWindow));
}

void TFileTransferClient::SendRequests()
{
    if (m_requests.isEmpty())
        return;
    // The round trip of each request is timed from here; unsent ones are at the back.
    const qint64 now = m_clock.nsecsElapsed();
    for (auto it = m_outstanding.rbegin(); it != m_outstanding.rend() && it->SentAt < 0; ++it) {
        it->SentAt = now;
        it->DeliveredBefore = m_bytesIn;
    }
    // One send for all, handed to the system now: the server waits for them.
    m_client->SendText(m_requests);
    m_requests.clear();
    m_client->Socket()->flush();
}

void TFileTransferClient::ClientConnect()
{
    ResetStream();
    Abandon(QString());
    m_listed.clear();
    m_state = State::Ready;
    // Requests are five bytes each and the server waits for them: no coalescing delay.
    m_client->Socket()->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_client->SendText(FileProtocol::ListRequest());
    emit ListCleared();
    emit Connected();
}

void TFileTransferClient::ClientError(QAbstractSocket::SocketError error)
{
    const QString text = error == QAbstractSocket::HostNotFoundError ? QStringLiteral("Host not found")
                                                                     : m_client->Socket()->errorString();
    if (m_state == State::Connecting) {
        // A failed connect brings no disconnect event; one that was up will bring one.
        if (m_client->Socket()->state() == QAbstractSocket::UnconnectedState) {
            m_state = State::Idle;
            emit ConnectFailed(text);
        }
        return;
    }
    if (m_dropReason.isEmpty())
        m_dropReason = text;
}

void TFileTransferClient::ClientDisconnect()
{
    if (m_state == State::Idle)
        return;
    const State was = m_state;
    m_state = State::Idle;
    ResetStream();
    QString reason;
    if (m_dropping)
        reason = m_dropReason;
    else if (!m_userClosing)
        reason = m_dropReason.isEmpty() ? QStringLiteral("The server closed the connection.") : m_dropReason;
    Abandon(QStringLiteral("The connection closed before %1 was complete; nothing was saved.").arg(m_localName));
    m_listed.clear();
    emit ListCleared();
    if (was == State::Connecting) {
        emit ConnectFailed(QStringLiteral("The server closed the connection before it was ready."));
        return;
    }
    emit Disconnected(reason);
}

void TFileTransferClient::ClientRead()
{
    const QByteArray text = m_client->ReceiveText();
    if (m_dropping || m_state != State::Ready)
        return;
    m_lastActivity.start();
    const QPointer<TFileTransferClient> alive(this);
    QByteArrayView input(text);
    while (alive && !m_dropping) {
        const TFileReplyParser::TEvent event = m_parser.Next(input);
        if (event.kind == TFileReplyParser::TEvent::Kind::NeedMore || !HandleEvent(event))
            break;
    }
    if (alive && !m_dropping && m_state == State::Ready)
        SendRequests();
}

bool TFileTransferClient::HandleEvent(const TFileReplyParser::TEvent &event)
{
    using Kind = TFileReplyParser::TEvent::Kind;
    switch (event.kind) {
    case Kind::NeedMore:
        return false;
    case Kind::ListStart:
        m_listed.clear();
        m_refused = 0;
        emit ListCleared();
        return true;
    case Kind::ListEntry: {
        const QString name = FileProtocol::SafeFileName(event.name);
        if (name.isEmpty() || event.size < 0) {
            ++m_refused;
            Log::Dropped(lcFiles(), PeerText(), QStringLiteral("listed file with an unsafe name or a negative size"));
            return true;
        }
        TFileInfo file;
        file.Name = name;
        file.Size = event.size;
        file.Index = event.position;
        m_listed << file;
        emit FileListed(file);
        return true;
    }
    case Kind::ListEnd:
        emit ListComplete(m_refused);
        return true;
    case Kind::BlockHeader:
        if (m_outstanding.empty() || m_outstanding.front().Block != event.block) {
            Drop(QStringLiteral("The server sent block %1, which was not asked for; connection closed.")
                     .arg(event.block));
            return false;
        }
        m_parser.SetBlockLength(m_outstanding.front().Length);
        return true;
    case Kind::Block:
        HandleBlock(event);
        return true;
    case Kind::UnknownReply:
        Log::Dropped(lcFiles(), PeerText(), QStringLiteral("unknown reply %1").arg(event.reply));
        emit Problem(QStringLiteral("The server sent an unknown reply (%1); it was skipped.").arg(event.reply));
        return true;
    case Kind::NameTooLong:
        Drop(QStringLiteral("The server sent a file name longer than %1 bytes; connection closed.")
                 .arg(FileProtocol::MaxNameBytes));
        return false;
    case Kind::ListTooLong:
        Drop(QStringLiteral("The server listed more than %1 files; connection closed.")
                 .arg(FileProtocol::MaxListEntries));
        return false;
    }
    return false;
}

void TFileTransferClient::HandleBlock(const TFileReplyParser::TEvent &event)
{
    if (m_outstanding.empty())
        return;
    const TRequest request = m_outstanding.front();
    m_outstanding.pop_front();
    if (m_outstanding.empty())
        m_stall.stop();
    if (!m_file || request.Generation != m_generation)
        return; // a reply to an abandoned download
    // Blocks are asked for in order and the server answers in order, so each one follows
    // the last: no seeking.
    m_writeBehind += event.data;
    m_bytesIn += event.data.size();
    --m_inFlight;
    if (m_writeBehind.size() >= WriteBehindSize && !FlushWrites())
        return;
    emit Progress();
    if (m_bytesIn >= m_fileSize) {
        Complete();
        return;
    }
    GrowWindow(request);
    FillWindow();
}

bool TFileTransferClient::FlushWrites()
{
    if (m_file->write(m_writeBehind) == m_writeBehind.size()) {
        m_writeBehind.clear();
        return true;
    }
    Abandon(QStringLiteral("Cannot write %1: %2. Nothing was saved.").arg(m_localName, m_file->errorString()));
    return false;
}

void TFileTransferClient::Complete()
{
    if (!FlushWrites())
        return;
    std::unique_ptr<QSaveFile> file = std::move(m_file);
    if (!file->setPermissions(FileModes::Data) || !file->commit()) {
        emit DownloadFailed(QStringLiteral("Cannot save %1: %2").arg(m_localName, file->errorString()));
        return;
    }
    // Saving over a file keeps that file's mode; a received file is data, never a program.
    QFile::setPermissions(m_localName, FileModes::Data);
    emit DownloadFinished(m_localName);
}

void TFileTransferClient::Abandon(const QString &reason)
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    m_file.reset();
    m_writeBehind.clear();
    // Later replies to this download are read past, never written.
    ++m_generation;
    m_inFlight = 0;
    if (!reason.isEmpty())
        emit DownloadFailed(reason);
}

void TFileTransferClient::ResetStream()
{
    m_parser.Reset();
    m_requests.clear();
    m_outstanding.clear();
    m_inFlight = 0;
    m_stall.stop();
}

QString TFileTransferClient::PeerText() const
{
    return m_client->Host() + QLatin1Char(':') + QString::number(m_client->Port());
}

void TFileTransferClient::Drop(const QString &reason)
{
    if (m_dropping)
        return;
    m_dropping = true;
    m_dropReason = reason;
    Log::Dropped(lcFiles(), PeerText(), reason);
    m_stall.stop();
    // Not from inside the read handler: the disconnect would reset the parser under it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_client->Socket()->abort();
            ClientDisconnect();
        },
        Qt::QueuedConnection);
}

void TFileTransferClient::Stalled()
{
    if (m_state != State::Ready || m_outstanding.empty())
        return;
    // The timer is not restarted for every read; it checks the last activity instead.
    const qint64 quiet = m_lastActivity.isValid() ? m_lastActivity.elapsed() : m_stallTimeout;
    if (quiet < m_stallTimeout) {
        m_stall.start(int(m_stallTimeout - quiet));
        return;
    }
    Drop(QStringLiteral("The server stopped answering; connection closed."));
}
