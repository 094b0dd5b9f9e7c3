// What users of today's chat clients expect of the chat form: nick completion, input history,
// pasted blocks sent line by line, mentions, find, logs and getting a dropped connection back.
#include "chat/ChatFindBar.h"
#include "chat/ChatSettings.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "irc/MentionMatcher.h"
#include "irc/SendQueue.h"
#include "chat/UfrmChat.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTimer>

namespace {
const QColor Red(255, 0, 0);
const QColor Gray(128, 128, 128);

QStringList SplitLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(breaks);
    lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
    return lines;
}
} // namespace

void TfrmChat::CreateExtras()
{
    m_sendQueue = new TSendQueue(
        [this](const QByteArray &bytes) {
            return TCP->state() == QAbstractSocket::ConnectedState && TCP->write(bytes) == bytes.size();
        },
        this);
    ApplySendPace();

    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setObjectName(QStringLiteral("TimerReconnect"));
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, &TfrmChat::ReconnectNow);

    edtChat->installEventFilter(this);
    pnlFind = new TChatFindBar(this);
    pnlFind->hide();
    connect(pnlFind, &TChatFindBar::Closed, this, [this] { edtChat->setFocus(); });
    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, &TfrmChat::OpenFind);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), pnlFind);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &TfrmChat::CloseFind);

    mnuChatOpenLogFolder = new QAction(QStringLiteral("&Open log folder"), this);
    mnuChatOpenLogFolder->setObjectName(QStringLiteral("mnuChatOpenLogFolder"));
    connect(mnuChatOpenLogFolder, &QAction::triggered, this, [this] { OpenChatLogFolder(this); });
}

void TfrmChat::ApplySendPace()
{
    if (m_sendQueue)
        m_sendQueue->SetLimits(ChatSettings::SendBurst(), ChatSettings::SendIntervalMs());
}

bool TfrmChat::InputKey(QLineEdit *input, TChat *chat, QKeyEvent *event)
{
    if (!input || !chat)
        return false;
    if (event->matches(QKeySequence::Find)) {
        OpenFind();
        return true;
    }
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier) {
        CompleteNick(input, chat);
        return true; // Tab completes here; it never moves the focus away from typing
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        QString shown;
        const bool moved =
            event->key() == Qt::Key_Up ? chat->History.Up(input->text(), shown) : chat->History.Down(shown);
        if (moved)
            input->setText(shown);
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        const QString clip = QGuiApplication::clipboard()->text();
        if (!clip.contains(QLatin1Char('\n')) && !clip.contains(QLatin1Char('\r')))
            return false;
        QString text = input->text();
        const int from = input->hasSelectedText() ? input->selectionStart() : input->cursorPosition();
        const int length = input->hasSelectedText() ? int(input->selectedText().size()) : 0;
        text.replace(from, length, clip);
        input->clear();
        SubmitLines(SplitLines(text), chat);
        return true;
    }
    return false;
}

bool TfrmChat::CompleteNick(QLineEdit *input, TChat *chat)
{
    QList<TNickCompleter::TCandidate> candidates;
    for (const TUser *user : chat->Users)
        candidates.append({user->Nick, chat->LastSpoke.value(user->Nick, 0)});
    QString text = input->text();
    int cursor = input->cursorPosition();
    if (!m_completer.Complete(text, cursor, candidates, Nick))
        return false;
    input->setText(text);
    input->setCursorPosition(cursor);
    return true;
}

bool TfrmChat::SubmitLines(const QStringList &lines, TChat *target)
{
    if (lines.size() > PasteAskLines) {
        QPointer<TfrmChat> self(this);
        QPointer<TChat> chat(target);
        const bool yes = MessageBox::Ask(
            this, QStringLiteral("Send these %1 lines one by one? Long blocks go out slowly.").arg(lines.size()));
        if (!self || !yes || (target && !chat))
            return false;
    }
    const bool paced = std::exchange(m_paced, true);
    for (const QString &line : lines)
        SubmitInput(line, target);
    m_paced = paced;
    return true;
}

void TfrmChat::OpenFind()
{
    TChat *chat = ActiveChat();
    if (!chat)
        return;
    pnlFind->SetView(chat->TextView);
    pnlFind->show();
    pnlFind->edtFind->setFocus();
    pnlFind->edtFind->selectAll();
}

void TfrmChat::CloseFind()
{
    if (!pnlFind->isVisible())
        return;
    pnlFind->hide();
    edtChat->setFocus();
}

void TfrmChat::ShowLogFailure(const QString &error)
{
    AddChatLine(Misc(), QString(), Red, QStringLiteral("Unable to write the conversation log: ") + error);
}

bool TfrmChat::IsMention(const QString &nick, const QString &text) const
{
    if (nick.compare(Nick, Qt::CaseInsensitive) == 0)
        return false;
    TMentionMatcher matcher;
    matcher.SetNick(Nick);
    matcher.SetWords(ChatSettings::HighlightWords());
    return matcher.Matches(text);
}

void TfrmChat::NotifyMention(TChat *chat, const QString &nick, const QString &text)
{
    if (QApplication::activeWindow())
        return;
    const QString title = chat->IsChannel() ? nick + QStringLiteral(" in ") + chat->Name : nick;
    QString message = text;
    message.remove(QChar(1));
    // Posted: the notification never runs inside the read of the socket.
    QTimer::singleShot(0, this, [this, title, message] { emit NotificationWanted(title, message); });
}

int TfrmChat::ReconnectDelayMs() const
{
    return m_reconnectTimer && m_reconnectTimer->isActive() ? m_reconnectTimer->interval() : 0;
}

bool TfrmChat::ScheduleReconnect()
{
    if (!ChatSettings::Reconnect() || m_host.isEmpty() || m_userQuit)
        return false;
    if (m_reconnectPending)
        return true;
    m_sendQueue->Clear();
    // The lists fill again when the channels are joined again.
    for (TChat *chat : Chats) {
        chat->Users.clear();
        chat->Ops.clear();
        chat->RefreshUserList();
    }
    const int delay = m_reconnect.NextDelayMs();
    m_reconnectPending = true;
    m_rejoinPending = true;
    AddChatLine(Misc(), QString(), Red,
                QStringLiteral("Connection lost; reconnecting in %1 s...").arg((delay + 999) / 1000));
    m_reconnectTimer->start(delay);
    return true;
}

void TfrmChat::ReconnectNow()
{
    if (Closing || m_released)
        return;
    m_reconnectPending = false;
    AddChatLine(Misc(), QString(), Gray, QStringLiteral("Reconnecting to %1:%2...").arg(m_host).arg(m_port));
    TCP->abort();
    OpenConnection(m_host, m_port);
}

void TfrmChat::Registered()
{
    m_reconnect.Reset();
    if (!std::exchange(m_rejoinPending, false))
        return;
    AddChatLine(Misc(), QString(), Gray, QStringLiteral("Reconnected."));
    // Many channels make a block of lines too.
    const bool paced = std::exchange(m_paced, true);
    for (TChat *chat : Chats) {
        if (chat->IsChannel())
            SendLine(QStringLiteral("JOIN ") + chat->Name);
    }
    m_paced = paced;
}
