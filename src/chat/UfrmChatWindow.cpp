#include "chat/UfrmChatWindow.h"

#include "chat/Chat.h"
#include "chat/InputLine.h"
#include "chat/UfrmChat.h"
#include "ui/WindowRegistry.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

TfrmChatWindow::TfrmChatWindow(TfrmChat *chatForm, TChat *chat, QWidget *parent)
    : QWidget(parent), ChatForm(chatForm), Chat(chat)
{
    setObjectName(QStringLiteral("frmChatWindow"));
    resize(470, 423);
    Windows::Register(this);
    PageControl = new QTabWidget;
    PageControl->setObjectName(QStringLiteral("PageControl"));
    edtChat = new QLineEdit;
    edtChat->setObjectName(QStringLiteral("edtChat"));
    // Completion, history and pasted blocks work here as in the form's own input line.
    m_input = new TInputLine(edtChat, chatForm, [this] { return Chat.data(); });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(PageControl, 1);
    layout->addWidget(edtChat);
    Button1 = new QPushButton(QStringLiteral("&Part"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedSize(40, 18);
    connect(Button1, &QPushButton::clicked, this, &TfrmChatWindow::Button1Click);

    if (chatForm)
        setWindowTitle(chatForm->windowTitle());
    if (chat) {
        SavedHost = chat->HostForm;
        chat->HostForm = this;
        if (QTabWidget *tabs = chat->PageControl())
            tabs->removeTab(tabs->indexOf(chat));
        PageControl->addTab(chat, chat->TabText());
        chat->SetNewTextMark(false);
        chat->show();
    }
    PlacePartButton();
}

TfrmChatWindow::~TfrmChatWindow()
{
    Windows::Unregister(this);
    // Freed without a close (the frame at program end): the tab still goes back.
    GiveBack();
}

TfrmChatWindow *TfrmChatWindow::Of(const TChat *chat)
{
    for (TfrmChatWindow *window : Windows::All<TfrmChatWindow>()) {
        if (chat && window->Chat == chat)
            return window;
    }
    return nullptr;
}

TChat *TfrmChatWindow::ActiveChatOf(const TfrmChat *form)
{
    for (TfrmChatWindow *window : Windows::All<TfrmChatWindow>()) {
        if (window->ChatForm == form && window->Chat && window->IsActiveChild())
            return window->Chat;
    }
    return nullptr;
}

void TfrmChatWindow::CloseAllOf(const TfrmChat *form)
{
    for (TfrmChatWindow *window : Windows::All<TfrmChatWindow>()) {
        if (window->ChatForm != form)
            continue;
        window->GiveBack();
        window->ChatForm = nullptr;
        window->close();
    }
}

void TfrmChatWindow::GiveBack()
{
    TChat *chat = Chat;
    if (!chat)
        return;
    Chat = nullptr;
    PageControl->removeTab(PageControl->indexOf(chat));
    if (!ChatForm) {
        // No form to go back to: the tab goes with this window.
        chat->setParent(nullptr);
        chat->deleteLater();
        return;
    }
    ChatForm->PageControl->PutBack(chat);
    chat->HostForm = SavedHost ? SavedHost.data() : static_cast<QWidget *>(ChatForm.data());
    ChatForm->PageControlChange();
}

void TfrmChatWindow::Button1Click()
{
    QPointer<TChat> chat = Chat;
    GiveBack();
    if (ChatForm && chat)
        ChatForm->LeaveOrClose(chat);
    close();
}

void TfrmChatWindow::edtChatKeyPress()
{
    m_input->Submit();
}

bool TfrmChatWindow::IsActiveChild() const
{
    if (const auto *sub = qobject_cast<const QMdiSubWindow *>(parentWidget())) {
        const QMdiArea *area = sub->mdiArea();
        return area && area->activeSubWindow() == sub;
    }
    return isActiveWindow();
}

void TfrmChatWindow::closeEvent(QCloseEvent *event)
{
    GiveBack();
    event->accept();
    Release();
}

void TfrmChatWindow::Release()
{
    if (m_released)
        return;
    m_released = true;
    deleteLater();
}

void TfrmChatWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PlacePartButton();
}

void TfrmChatWindow::PlacePartButton()
{
    Button1->move(width() - Button1->width() - 4, 2);
    Button1->raise();
}
