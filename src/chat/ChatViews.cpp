// What the chat form shows and how the user moves around in it.
#include "chat/ChatFindBar.h"
#include "chat/ChatSettings.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "chat/UfrmChat.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {
constexpr char ChannelPanelWidthName[] = "pnlChannels Width";
// A list that never ends (no 323) does not block the timed refresh for ever.
constexpr qint64 ListStaleMs = 120000;
} // namespace

void TfrmChat::CreateMenus()
{
    pumUser = new QMenu(this);
    pumUser->setObjectName(QStringLiteral("pumUser"));
    CreateUserMenu();

    pumChannels = new QMenu(this);
    pumChannels->setObjectName(QStringLiteral("pumChannels"));
    Join1 = pumChannels->addAction(QStringLiteral("&Join channel"));
    Join1->setObjectName(QStringLiteral("Join1"));
    mnuRefreshChannels = pumChannels->addAction(QStringLiteral("&Refresh"));
    mnuRefreshChannels->setObjectName(QStringLiteral("mnuRefreshChannels"));
    connect(Join1, &QAction::triggered, this, &TfrmChat::sgrChannelsDblClick);
    connect(mnuRefreshChannels, &QAction::triggered, this, &TfrmChat::mnuRefreshChannelsClick);

    pumChannelTabs = new QMenu(this);
    pumChannelTabs->setObjectName(QStringLiteral("pumChannelTabs"));
    Window1 = pumChannelTabs->addAction(QStringLiteral("&Window"));
    Window1->setObjectName(QStringLiteral("Window1"));
    connect(Window1, &QAction::triggered, this, &TfrmChat::Window1Click);
    connect(PageControl->tabBar(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pumChannelTabs->popup(PageControl->tabBar()->mapToGlobal(pos)); });

    pumChat = new QMenu(this);
    pumChat->setObjectName(QStringLiteral("pumChat"));
    mnuChatCopy = pumChat->addAction(QStringLiteral("&Copy"));
    mnuChatCopy->setObjectName(QStringLiteral("mnuChatCopy"));
    mnuChatOpenUrl = pumChat->addAction(QStringLiteral("&Open url"));
    mnuChatOpenUrl->setObjectName(QStringLiteral("mnuChatOpenUrl"));
    connect(mnuChatCopy, &QAction::triggered, this, &TfrmChat::mnuChatCopyClick);
    connect(mnuChatOpenUrl, &QAction::triggered, this, &TfrmChat::mnuChatOpenUrlClick);
    pumChat->addSeparator();
    pumChat->addAction(mnuChatOpenLogFolder);
}

bool TfrmChat::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PageControl->tabBar() && event->type() == QEvent::MouseButtonRelease)
        edtChat->setFocus();
    if (watched == edtChat && event->type() == QEvent::KeyPress &&
        InputKey(edtChat, ActiveChat(), static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TfrmChat::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PlaceCloseButton();
}

void TfrmChat::PageControlChange()
{
    TChat *chat = qobject_cast<TChat *>(PageControl->currentWidget());
    if (chat)
        chat->SetNewTextMark(false);
    if (pnlFind && pnlFind->isVisible() && chat)
        pnlFind->SetView(chat->TextView);
    PlaceCloseButton();
}

void TfrmChat::PlaceCloseButton()
{
    TChat *chat = qobject_cast<TChat *>(PageControl->currentWidget());
    if (!chat || chat->IsMisc()) {
        btnCloseChat->hide();
        return;
    }
    // Top-right corner of the conversation, left of its scroll bar.
    QWidget *viewport = chat->TextView->viewport();
    const QPoint corner = viewport->mapTo(this, QPoint(viewport->width(), 0));
    btnCloseChat->move(corner.x() - btnCloseChat->width() - 2, corner.y() + 2);
    btnCloseChat->raise();
    btnCloseChat->show();
}

void TfrmChat::btnCloseChatClick()
{
    LeaveOrClose(qobject_cast<TChat *>(PageControl->currentWidget()));
}

void TfrmChat::LeaveOrClose(TChat *chat)
{
    if (!chat)
        return;
    if (chat->IsChannel()) {
        // The tab closes when the server confirms the PART.
        SendLine(QStringLiteral("PART ") + chat->Name);
        return;
    }
    CloseChat(chat);
    edtChat->setFocus();
}

void TfrmChat::sgrChannelsDblClick()
{
    const QModelIndex current = sgrChannels->currentIndex();
    const TChannel *channel = current.isValid() ? ChannelByIndex(current.row() + 1) : nullptr;
    if (!channel)
        return;
    if (TChat *chat = FindChat(channel->Name))
        ActivateChat(chat);
    else
        SendLine(QStringLiteral("JOIN ") + channel->Name);
}

void TfrmChat::SendList()
{
    if (!SendLine(QStringLiteral("LIST")).isEmpty()) {
        m_listPending = true;
        m_listSent.start();
    }
}

void TfrmChat::mnuRefreshChannelsClick()
{
    ClearChannels();
    SendList();
}

void TfrmChat::ShowTextPopup(TChat *chat, const QPoint &pos)
{
    const bool selected = chat->TextView->textCursor().hasSelection();
    mnuChatCopy->setEnabled(selected);
    mnuChatOpenUrl->setEnabled(selected);
    m_popupChat = chat;
    pumChat->popup(chat->TextView->viewport()->mapToGlobal(pos));
}

void TfrmChat::ShowChannelPopup(const QPoint &pos)
{
    pumChannels->popup(sgrChannels->viewport()->mapToGlobal(pos));
}

namespace {
QString SelectedText(const TChat *chat)
{
    if (!chat)
        return {};
    // Paragraph separators of a selection over several rows become line breaks.
    QString text = chat->TextView->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}
} // namespace

void TfrmChat::mnuChatCopyClick()
{
    const QString text = SelectedText(m_popupChat ? m_popupChat.data() : ActiveChat());
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TfrmChat::mnuChatOpenUrlClick()
{
    const QString url = Irc::OpenableUrl(SelectedText(m_popupChat ? m_popupChat.data() : ActiveChat()));
    if (!url.isEmpty())
        QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

void TfrmChat::TimerChannelsTimer()
{
    if (m_listPending && m_listSent.isValid() && m_listSent.elapsed() < ListStaleMs)
        return;
    SendList();
}

void TfrmChat::TimerConfigTimer()
{
    const int interval = ChatSettings::ChannelListInterval();
    if (TimersEnabled) {
        const bool on = ChatSettings::ChannelListRefresh();
        if (on && !TimerChannels->isActive())
            TimerChannels->start(interval);
        else if (!on && TimerChannels->isActive())
            TimerChannels->stop();
    }
    if (TimerChannels->interval() != interval)
        TimerChannels->setInterval(interval);
    ApplyInputColor();
    ApplySendPace();
    for (TChat *chat : std::as_const(Chats))
        chat->ApplyLinesKept();
}

void TfrmChat::ApplyInputColor()
{
    const QPalette standard = QApplication::palette(edtChat);
    const QColor wanted = ChatSettings::Away() ? standard.color(QPalette::Button) : standard.color(QPalette::Base);
    if (edtChat->palette().color(QPalette::Base) != wanted) {
        QPalette palette = edtChat->palette();
        palette.setColor(QPalette::Base, wanted);
        edtChat->setPalette(palette);
    }
}

void TfrmChat::TimerWhoisDelayTimer()
{
    WhoisAllowed = true;
    TimerWhoisDelay->stop();
}

void TfrmChat::SetTimersEnabled(bool enabled)
{
    TimersEnabled = enabled;
    if (enabled) {
        TimerConfig->start();
        TimerConfigTimer();
    } else {
        TimerConfig->stop();
        TimerChannels->stop();
    }
}

void TfrmChat::ApplyTabPosition()
{
    const QString position = ChatSettings::TabsPosition();
    QTabWidget::TabPosition wanted = QTabWidget::North;
    if (position == QLatin1String("Left"))
        wanted = QTabWidget::West;
    else if (position == QLatin1String("Bottom"))
        wanted = QTabWidget::South;
    if (PageControl->tabPosition() != wanted) {
        PageControl->setTabPosition(wanted);
        PlaceCloseButton();
    }
}

void TfrmChat::RefreshActiveUserList()
{
    if (TChat *chat = ActiveChat())
        chat->RefreshUserList();
}

void TfrmChat::LoadSaveWindowSettings(bool save)
{
    const QString width = QLatin1String(StoreNames::Width);
    const QString height = QLatin1String(StoreNames::Height);
    const QString panel = QLatin1String(ChannelPanelWidthName);
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyPXOChatWindow)));
        if (save) {
            reg.WriteInteger(width, this->width());
            reg.WriteInteger(height, this->height());
            reg.WriteInteger(panel, pnlChannels->width());
            return;
        }
        const auto read = [&reg](const QString &name, int current) {
            return reg.ValueExists(name) ? reg.ReadInteger(name) : current;
        };
        const int w = read(width, this->width());
        const int h = read(height, this->height());
        const QList<int> sizes = splChannels->sizes();
        const int p = read(panel, sizes.value(0, 133));
        resize(std::max(w, 200), std::max(h, 150));
        const int total = std::max(sizes.value(0) + sizes.value(1), p + 10);
        splChannels->setSizes({std::max(p, 10), std::max(total - p, 10)});
    } catch (const EStoreError &) {
        // A value of the wrong kind keeps the defaults; the store reports it at start-up.
    }
}
