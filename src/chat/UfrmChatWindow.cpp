#include "chat/UfrmChatWindow.h"

#include "chat/ChatTab.h"
#include "chat/UfrmChat.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QString TabCaption(const TChat *chat)
{
    QString caption = chat->Caption();
    return caption.replace(QLatin1Char('&'), QLatin1String("&&"));
}
} // namespace

TfrmChatWindow::TfrmChatWindow(TfrmChat *chatForm, TChat *chat, QWidget *parent)
    : QWidget(parent), ChatForm(chatForm), Chat(chat)
{
    setObjectName(QStringLiteral("frmChatWindow"));
    resize(470, 423);
    PageControl = new QTabWidget;
    PageControl->setObjectName(QStringLiteral("PageControl"));
    edtChat = new QLineEdit;
    edtChat->setObjectName(QStringLiteral("edtChat"));
    connect(edtChat, &QLineEdit::returnPressed, this, &TfrmChatWindow::edtChatKeyPress);
    edtChat->installEventFilter(this);
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
        PageControl->addTab(chat, TabCaption(chat));
        chat->SetNewTextMark(false);
        chat->show();
    }
    PlacePartButton();
}

TfrmChatWindow::~TfrmChatWindow()
{
    // Freed without a close (the frame at program end): the tab still goes back.
    GiveBack();
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
    // Back to its place among the form's tabs, as the form lists them.
    int position = 0;
    for (TChat *other : ChatForm->Chats) {
        if (other == chat)
            break;
        if (ChatForm->PageControl->indexOf(other) >= 0)
            ++position;
    }
    ChatForm->PageControl->insertTab(position, chat, TabCaption(chat));
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

bool TfrmChatWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Completion, history and pasted blocks work here as in the form's own input line.
    if (watched == edtChat && event->type() == QEvent::KeyPress && ChatForm && Chat &&
        ChatForm->InputKey(edtChat, Chat, static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void TfrmChatWindow::edtChatKeyPress()
{
    const QString text = edtChat->text();
    edtChat->clear();
    if (ChatForm)
        ChatForm->SubmitInput(text, Chat);
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
