#include "chat/ChatPages.h"

#include "chat/Chat.h"
#include "chat/UfrmChatWindow.h"
#include "irc/IrcLine.h"
#include "settings/UfrmConfig.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

TChatPages::TChatPages(QWidget *parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("PageControl"));
    tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    tabBar()->installEventFilter(this);
    pumChannelTabs = new QMenu(this);
    pumChannelTabs->setObjectName(QStringLiteral("pumChannelTabs"));
    Window1 = pumChannelTabs->addAction(QStringLiteral("&Window"), this, [this] {
        if (TChat *chat = CurrentChat())
            emit DetachWanted(chat);
    });
    Window1->setObjectName(QStringLiteral("Window1"));
    connect(tabBar(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pumChannelTabs->popup(tabBar()->mapToGlobal(pos)); });
    pumChat = new QMenu(this);
    pumChat->setObjectName(QStringLiteral("pumChat"));
    mnuChatCopy = pumChat->addAction(QStringLiteral("&Copy"), this, &TChatPages::CopySelection);
    mnuChatCopy->setObjectName(QStringLiteral("mnuChatCopy"));
    mnuChatOpenUrl = pumChat->addAction(QStringLiteral("&Open url"), this, &TChatPages::OpenSelectedUrl);
    mnuChatOpenUrl->setObjectName(QStringLiteral("mnuChatOpenUrl"));
    pumChat->addSeparator();
    mnuChatOpenLogFolder =
        pumChat->addAction(QStringLiteral("&Open log folder"), this, [this] { OpenChatLogFolder(this); });
    mnuChatOpenLogFolder->setObjectName(QStringLiteral("mnuChatOpenLogFolder"));
    btnCloseChat = new QToolButton(this);
    btnCloseChat->setObjectName(QStringLiteral("btnCloseChat"));
    btnCloseChat->setText(QStringLiteral("X"));
    btnCloseChat->setFixedSize(14, 14);
    btnCloseChat->hide();
    connect(btnCloseChat, &QToolButton::clicked, this, [this] { emit CloseClicked(CurrentChat()); });
    connect(this, &QTabWidget::currentChanged, this, [this] {
        TChat *chat = CurrentChat();
        if (chat)
            chat->SetNewTextMark(false);
        PlaceCloseButton();
        emit ChatShown(chat);
    });
}

TChatPages::~TChatPages()
{
    // Tabs freed after this part of the page control must not reach back into it.
    for (TChat *chat : std::as_const(Chats))
        disconnect(chat, nullptr, this, nullptr);
}

TChat *TChatPages::FindChat(const QString &name) const
{
    const auto it = std::find_if(Chats.cbegin(), Chats.cend(), [&name](const TChat *c) { return c->Name == name; });
    return it != Chats.cend() ? *it : nullptr;
}

TChat *TChatPages::CurrentChat() const
{
    return qobject_cast<TChat *>(currentWidget());
}

void TChatPages::Add(TChat *chat)
{
    Chats.append(chat);
    // A tab freed with its detached window must leave the list too.
    connect(chat, &QObject::destroyed, this, [this, chat] { Chats.removeAll(chat); });
    connect(chat->TextView, &QWidget::customContextMenuRequested, this, [this, chat](const QPoint &pos) {
        mnuChatCopy->setEnabled(chat->TextView->textCursor().hasSelection());
        mnuChatOpenUrl->setEnabled(mnuChatCopy->isEnabled());
        m_popupChat = chat;
        pumChat->popup(chat->TextView->viewport()->mapToGlobal(pos));
    });
    addTab(chat, chat->TabText());
}

TChat *TChatPages::PopupChat() const
{
    if (m_popupChat)
        return m_popupChat;
    if (TChat *shown = CurrentChat())
        return shown;
    return ChatByIndex(1);
}

void TChatPages::CopySelection()
{
    TChat *chat = PopupChat();
    if (const QString text = chat ? chat->SelectedText() : QString(); !text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TChatPages::OpenSelectedUrl()
{
    TChat *chat = PopupChat();
    if (const QString url = Irc::OpenableUrl(chat ? chat->SelectedText() : QString()); !url.isEmpty())
        QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

void TChatPages::PutBack(TChat *chat)
{
    int position = 0;
    for (const TChat *other : std::as_const(Chats)) {
        if (other == chat)
            break;
        if (indexOf(other) >= 0)
            ++position;
    }
    insertTab(position, chat, chat->TabText());
}

void TChatPages::Activate(TChat *chat)
{
    if (!chat)
        return;
    chat->SetNewTextMark(false);
    if (QTabWidget *tabs = chat->PageControl())
        tabs->setCurrentWidget(chat);
    // Shown and brought to the front, in the frame when it is a child window.
    QWidget *form = chat->HostForm;
    if (!form)
        return;
    form->show();
    auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget());
    QWidget *top = sub ? static_cast<QWidget *>(sub) : form;
    top->show();
    top->raise();
    if (QMdiArea *area = sub ? sub->mdiArea() : nullptr)
        area->setActiveSubWindow(sub);
}

void TChatPages::Close(TChat *chat)
{
    const int index = int(Chats.indexOf(chat)) + 1;
    if (!chat || index <= 1)
        return;
    if (TfrmChatWindow *window = TfrmChatWindow::Of(chat)) {
        window->GiveBack();
        window->close();
    }
    Chats.removeAt(index - 1);
    removeTab(indexOf(chat));
    chat->hide();
    chat->setParent(nullptr);
    chat->deleteLater();
    Activate(ChatByIndex(index - 1));
}

void TChatPages::PlaceCloseButton()
{
    TChat *chat = CurrentChat();
    if (!chat || chat->IsMisc()) {
        btnCloseChat->hide();
        return;
    }
    QWidget *viewport = chat->TextView->viewport();
    const QPoint corner = viewport->mapTo(this, QPoint(viewport->width(), 0));
    btnCloseChat->move(corner.x() - btnCloseChat->width() - 2, corner.y() + 2);
    btnCloseChat->raise();
    btnCloseChat->show();
}

void TChatPages::ApplyPosition(const QString &position)
{
    TabPosition wanted = North;
    if (position == QLatin1String("Left"))
        wanted = West;
    else if (position == QLatin1String("Bottom"))
        wanted = South;
    if (tabPosition() != wanted) {
        setTabPosition(wanted);
        PlaceCloseButton();
    }
}

bool TChatPages::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabBar() && event->type() == QEvent::MouseButtonRelease)
        emit TabsClicked();
    return QTabWidget::eventFilter(watched, event);
}

void TChatPages::resizeEvent(QResizeEvent *event)
{
    QTabWidget::resizeEvent(event);
    PlaceCloseButton();
}
