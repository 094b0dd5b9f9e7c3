// The session's connection: opening it, reading and framing, sending at the pace, closing,
// and getting a dropped connection back.
#include "irc/IrcSession.h"

#include "base/Log.h"
#include "base/Text.h"
#include "irc/Conversation.h"
#include "irc/SendQueue.h"
#include "net/HostResolver.h"

#include <QTcpSocket>
#include <QTimer>

namespace {
// One read takes at most this much from the socket; the rest waits for the next turn of
// the event loop, so a flood never freezes the window.
constexpr qint64 ReadChunk = 64 * 1024;

const char *ErrorKindName(int kind)
{
    static const char *const names[] = {"general", "send", "recieve", "connect", "disconnect", "accept"};
    return kind >= 0 && kind < 6 ? names[kind] : "unknown";
}
} // namespace

TIrcSession::TIrcSession(QObject *parent) : QObject(parent)
{
    m_socket = new QTcpSocket(this);
    // A flood waits in the system's buffers, not in ours.
    m_socket->setReadBufferSize(256 * 1024);
    connect(m_socket, &QTcpSocket::readyRead, this, &TIrcSession::ReadSocket);
    connect(m_socket, &QTcpSocket::connected, this, &TIrcSession::OnConnected);
    connect(m_socket, &QTcpSocket::disconnected, this, &TIrcSession::OnDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TIrcSession::OnError);
    m_sendQueue = new TSendQueue(
        [this](const QByteArray &bytes) {
            return m_socket->state() == QAbstractSocket::ConnectedState && m_socket->write(bytes) == bytes.size();
        },
        this);
    m_readMore = new QTimer(this);
    m_readMore->setSingleShot(true);
    m_readMore->setInterval(0);
    connect(m_readMore, &QTimer::timeout, this, &TIrcSession::ReadSocket);
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setObjectName(QStringLiteral("TimerReconnect"));
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, &TIrcSession::ReconnectNow);
}

TIrcSession::~TIrcSession()
{
    // The socket must not report its end to a session half destroyed.
    QObject::disconnect(m_socket, nullptr, this, nullptr);
    for (const QString &name : m_conversationIndex.keys())
        CloseConversation(name);
    ClearChannels();
    ClearUsers();
}

void TIrcSession::Open(const QString &host, quint16 port)
{
    m_wasConnected = false;
    m_userQuit = false;
    m_host = host;
    m_port = port;
    m_lineBuffer.Clear();
    m_sendQueue->Clear();
    m_status = TStatus::Connecting;
    const quint64 attempt = ++m_connectAttempt;
    m_resolving = true;
    ConnectResolved(
        *m_socket, host, port,
        [this, attempt] {
            if (attempt != m_connectAttempt)
                return false;
            m_resolving = false;
            return m_status == TStatus::Connecting && m_socket->state() == QAbstractSocket::UnconnectedState;
        },
        [this] { OnError(QAbstractSocket::HostNotFoundError); });
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_resolving = false;
}

bool TIrcSession::Idle() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState && !m_resolving;
}

void TIrcSession::Quit()
{
    if (m_status == TStatus::Inactive || m_status == TStatus::Closing || m_status == TStatus::Closed)
        return;
    m_reconnectTimer->stop();
    m_rejoinPending = false;
    m_resolving = false;
    ++m_connectAttempt; // a lookup still running connects nothing
    m_userQuit = true;
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_status = TStatus::Closing;
        // What is still queued goes out before QUIT: nothing typed is lost at the end.
        m_sendQueue->FlushAll();
        SendLine(QStringLiteral("QUIT"));
        m_socket->flush();
    }
    m_socket->abort(); // says Disconnected itself when it was connected
    if (m_status != TStatus::Closed && m_status != TStatus::Inactive) {
        m_status = TStatus::Closed;
        emit Disconnected();
    }
}

void TIrcSession::SetSendPace(int burst, int intervalMs)
{
    m_sendQueue->SetLimits(burst, intervalMs);
}

int TIrcSession::ReconnectDelayMs() const
{
    return m_reconnectTimer->isActive() ? m_reconnectTimer->interval() : 0;
}

QString TIrcSession::SendLine(const QString &text, bool urgent)
{
    if (text.isEmpty() || m_socket->state() != QAbstractSocket::ConnectedState)
        return {};
    const QByteArray bytes = Irc::EncodeLine(text);
    if (bytes.isEmpty())
        return {};
    if (bytes.left(4).toUpper() == "QUIT" && (bytes.size() == 6 || bytes.at(4) == ' '))
        m_userQuit = true;
    m_sendQueue->Push(bytes, urgent    ? TSendQueue::TKind::Urgent
                             : m_paced ? TSendQueue::TKind::Paced
                                       : TSendQueue::TKind::Direct);
    return Irc::SentText(text);
}

QString TIrcSession::SendPrivate(const QString &target, const QString &text)
{
    const QString prefix = QStringLiteral("PRIVMSG ") + target + QStringLiteral(" :");
    const QString sent = SendLine(prefix + text);
    return sent.size() > prefix.size() ? sent.mid(prefix.size()) : QString();
}

QString TIrcSession::SendAction(const QString &target, const QString &text)
{
    const QString prefix = QStringLiteral("PRIVMSG ") + target +
                           QStringLiteral(" :\x01"
                                          "ACTION ");
    // The closing byte 1 must fit in the line, so the text is cut one byte earlier.
    const QString sent = SendLine(Text::CutToBytes(prefix + text, Irc::MaxSendText - 1) + QChar(1));
    if (sent.size() <= prefix.size())
        return {};
    QString action = sent.mid(prefix.size());
    action.remove(QChar(1));
    return action;
}

void TIrcSession::OnConnected()
{
    m_wasConnected = true;
    m_status = TStatus::Connected;
    emit Connected();
}

void TIrcSession::ReadSocket()
{
    if (m_status == TStatus::Closing || m_status == TStatus::Closed) {
        m_socket->readAll();
        return;
    }
    const QByteArray chunk = m_socket->read(ReadChunk);
    if (chunk.isEmpty())
        return;
    Feed(chunk);
    // A timer, not a posted call: posted calls made while posted events are being sent run
    // in the same pass, which would chain every read into one long stall.
    if (m_socket->bytesAvailable() > 0 && !m_readMore->isActive())
        m_readMore->start();
}

void TIrcSession::Feed(QByteArrayView bytes)
{
    m_lineBuffer.Feed(bytes);
    ++m_readDepth;
    QByteArray line;
    // Lines after the connection was closed (a line's handler may close it) go unread.
    while (m_status != TStatus::Closing && m_status != TStatus::Closed && m_lineBuffer.NextLine(line)) {
        try {
            HandleLine(Irc::DecodeText(line));
        } catch (const std::exception &e) {
            // One line that cannot be handled costs that line only.
            emit StatusText(QStringLiteral("TCP error: ") + QString::fromLocal8Bit(e.what()));
        }
    }
    --m_readDepth;
    if (const int dropped = m_lineBuffer.TakeDroppedLines(); dropped > 0) {
        Log::Dropped(lcIrc(), QStringLiteral("%1:%2").arg(m_host).arg(m_port),
                     QStringLiteral("%1 over-long line(s)").arg(dropped));
        emit StatusText(QStringLiteral("TCP error: %1 over-long line(s) from the server dropped").arg(dropped));
    }
    emit ReadDone();
}

void TIrcSession::OnError(QAbstractSocket::SocketError error)
{
    if (m_status == TStatus::Closed || m_status == TStatus::Waiting)
        return;
    int kind = 0;
    if (!m_wasConnected)
        kind = 3;
    else if (error == QAbstractSocket::RemoteHostClosedError)
        kind = 4;
    emit StatusText(QStringLiteral("TCP ") + QLatin1String(ErrorKindName(kind)) + QStringLiteral(" error: ") +
                    QString::number(int(error)));
    // A connection that was never made reports no disconnect of its own.
    if (kind == 3 && m_socket->state() != QAbstractSocket::ConnectedState)
        OnDisconnected();
}

void TIrcSession::OnDisconnected()
{
    if (m_status == TStatus::Closed || m_status == TStatus::Waiting)
        return;
    m_listPending = false;
    m_sendQueue->Clear();
    const bool wanted = m_userQuit || m_status == TStatus::Closing;
    if (wanted || !ScheduleReconnect())
        m_status = TStatus::Closed;
    emit Disconnected();
}

bool TIrcSession::ScheduleReconnect()
{
    if (!m_reconnectOn || m_host.isEmpty())
        return false;
    // The lists fill again when the channels are joined again.
    for (TConversation *conversation : std::as_const(m_conversations)) {
        conversation->Clear();
        emit UsersChanged(conversation);
    }
    const int delay = m_reconnect.NextDelayMs();
    m_rejoinPending = true;
    m_status = TStatus::Waiting;
    Show(nullptr, TChatLine::TKind::Alert,
         QStringLiteral("Connection lost; reconnecting in %1 s...").arg((delay + 999) / 1000));
    m_reconnectTimer->start(delay);
    return true;
}

void TIrcSession::ReconnectNow()
{
    if (m_status != TStatus::Waiting)
        return;
    Show(nullptr, TChatLine::TKind::Status, QStringLiteral("Reconnecting to %1:%2...").arg(m_host).arg(m_port));
    m_socket->abort();
    Open(m_host, m_port);
}

void TIrcSession::OnRegistered()
{
    m_reconnect.Reset();
    m_status = TStatus::Registered;
    emit Registered();
    if (!std::exchange(m_rejoinPending, false))
        return;
    Show(nullptr, TChatLine::TKind::Status, QStringLiteral("Reconnected."));
    // Many channels make a block of lines too.
    const bool paced = SetPaced(true);
    for (const TConversation *conversation : std::as_const(m_conversations)) {
        if (conversation->IsChannel())
            SendLine(QStringLiteral("JOIN ") + conversation->Name);
    }
    SetPaced(paced);
}

void TIrcSession::RequestList()
{
    if (!SendLine(QStringLiteral("LIST")).isEmpty()) {
        m_listPending = true;
        m_listSent.start();
    }
}

bool TIrcSession::ListPending() const
{
    // A list that never ends (no 323) does not block the next one for ever.
    constexpr qint64 ListStaleMs = 120000;
    return m_listPending && m_listSent.isValid() && m_listSent.elapsed() < ListStaleMs;
}
