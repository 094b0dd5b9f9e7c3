// The chat form's connection: sending lines, reading and framing, close and disconnect.
#include "base/Log.h"
#include "chat/ChatTab.h"
#include "irc/SendQueue.h"
#include "chat/UfrmChat.h"
#include "net/HostResolver.h"
#include "ui/MessageBox.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
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

void TfrmChat::OpenConnection(const QString &host, quint16 port)
{
    m_wasConnected = false;
    m_userQuit = false;
    m_host = host;
    m_port = port;
    LineBuffer.Clear();
    m_sendQueue->Clear();
    const quint64 attempt = ++m_connectAttempt;
    m_resolving = true;
    ConnectResolved(
        *TCP, host, port,
        [this, attempt] {
            if (attempt != m_connectAttempt)
                return false;
            m_resolving = false;
            return !Closing && !m_released && TCP->state() == QAbstractSocket::UnconnectedState;
        },
        [this] { TCPError(QAbstractSocket::HostNotFoundError); });
    if (TCP->state() != QAbstractSocket::UnconnectedState)
        m_resolving = false;
}

bool TfrmChat::ChatIdle() const
{
    return TCP->state() == QAbstractSocket::UnconnectedState && !m_resolving;
}

QString TfrmChat::SendLine(const QString &text, bool urgent)
{
    if (text.isEmpty() || TCP->state() != QAbstractSocket::ConnectedState)
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

void TfrmChat::TCPConnected()
{
    m_wasConnected = true;
    if (!Closing)
        TCPConnect();
}

void TfrmChat::TCPConnect() {}

void TfrmChat::TCPRead()
{
    if (Closing || m_released) {
        TCP->readAll();
        return;
    }
    const QByteArray chunk = TCP->read(ReadChunk);
    if (chunk.isEmpty())
        return;
    LineBuffer.Feed(chunk);
    ++m_readDepth;
    QByteArray line;
    while (!Closing && LineBuffer.NextLine(line)) {
        try {
            HandleLine(Irc::DecodeText(line));
        } catch (const std::exception &e) {
            // One line that cannot be handled costs that line only.
            if (OnStatus)
                OnStatus(QStringLiteral("TCP error: ") + QString::fromLocal8Bit(e.what()));
        }
    }
    --m_readDepth;
    if (const int dropped = LineBuffer.TakeDroppedLines(); dropped > 0) {
        Log::Dropped(lcIrc(), QStringLiteral("%1:%2").arg(m_host).arg(m_port),
                     QStringLiteral("%1 over-long line(s)").arg(dropped));
        if (OnStatus)
            OnStatus(QStringLiteral("TCP error: %1 over-long line(s) from the server dropped").arg(dropped));
    }
    FlushViews();
    // A timer, not a posted call: posted calls made while posted events are being sent run
    // in the same pass, which would chain every read into one long stall.
    if (TCP->bytesAvailable() > 0 && !m_readMore->isActive())
        m_readMore->start();
}

void TfrmChat::FlushViews()
{
    for (TChat *chat : Chats)
        chat->Flush();
    if (m_channelsDirty)
        RefreshChannelGrid();
    PlaceCloseButton();
}

void TfrmChat::TCPDisconnect()
{
    if (m_released || m_closedNoticePending)
        return;
    FirstPingSeen = false;
    m_listPending = false;
    if (Closing) {
        Release();
        return;
    }
    if (InGame) {
        for (int i = ChatCount(); i >= 2; --i) {
            TChat *chat = ChatByIndex(i);
            if (chat && chat->IsChannel())
                CloseChat(chat);
        }
        return;
    }
    if (ScheduleReconnect())
        return;
    // Stop everything now; the box waits for the event loop, and the form goes after it.
    Closing = true;
    SetTimersEnabled(false);
    m_closedNoticePending = true;
    QTimer::singleShot(0, this, [this] {
        QPointer<TfrmChat> self(this);
        QWidget *owner = parentWidget() ? window() : nullptr;
        MessageBox::Error(owner, QStringLiteral("Connection closed!"));
        if (self)
            self->Release();
    });
}

void TfrmChat::TCPError(QAbstractSocket::SocketError error)
{
    if (m_released || m_closedNoticePending)
        return;
    int kind = 0;
    if (!m_wasConnected)
        kind = 3;
    else if (error == QAbstractSocket::RemoteHostClosedError)
        kind = 4;
    if (OnStatus) {
        OnStatus(QStringLiteral("TCP ") + QLatin1String(ErrorKindName(kind)) + QStringLiteral(" error: ") +
                 QString::number(int(error)));
    }
    if (kind == 3 && TCP->state() != QAbstractSocket::ConnectedState)
        TCPDisconnect();
}

void TfrmChat::closeEvent(QCloseEvent *event)
{
    CloseDetachedWindows();
    SetTimersEnabled(false);
    Closing = true;
    m_reconnectTimer->stop();
    // What is still queued goes out before QUIT: nothing typed is lost at close.
    if (!SendLine(QStringLiteral("QUIT")).isEmpty()) {
        m_sendQueue->FlushAll();
        TCP->flush();
    }
    event->accept();
    Release();
}

void TfrmChat::Release()
{
    if (m_released)
        return;
    m_released = true;
    Closing = true;
    SetTimersEnabled(false);
    deleteLater();
}

void TfrmChat::ShowStatus(const QString &text)
{
    if (lblStatus)
        lblStatus->setText(text);
}
