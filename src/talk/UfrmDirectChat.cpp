#include "talk/UfrmDirectChat.h"

#include "base/PortPool.h"
#include "settings/UfrmConfig.h"
#include "talk/ChatWindow.h"
#include "talk/RedTalk.h"
#include "talk/TalkLauncher.h"
#include "talk/TalkServer.h"
#include "talk/UfrmDirectChatConnect.h"
#include "ui/MessageBox.h"
#include "ui/WindowRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QStyle>
#include <QTcpSocket>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <numeric>

TfrmDirectChat::TfrmDirectChat(const QString &alias, quint16 port, QWidget *parent)
    : QWidget(parent), m_alias(alias), m_port(port)
{
    Windows::Register(this);
    setObjectName(QStringLiteral("frmDirectChat"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(480, 360);

    tbrStandard = new QToolBar(this);
    tbrStandard->setObjectName(QStringLiteral("tbrStandard"));
    tbtConnect = tbrStandard->addAction(style()->standardIcon(QStyle::SP_DriveNetIcon), QStringLiteral("Connect"));
    tbtConnect->setObjectName(QStringLiteral("tbtConnect"));
    tbtConnect->setToolTip(QStringLiteral("Connect"));
    connect(tbtConnect, &QAction::triggered, this, &TfrmDirectChat::tbtConnectClick);

    pumUser = new QMenu(this);
    pumUser->setObjectName(QStringLiteral("pumUser"));
    mnuBeep = pumUser->addAction(QStringLiteral("&Beep"));
    mnuBeep->setObjectName(QStringLiteral("mnuBeep"));
    mnuDisconnect = pumUser->addAction(QStringLiteral("&Disconnect"));
    mnuDisconnect->setObjectName(QStringLiteral("mnuDisconnect"));
    connect(mnuBeep, &QAction::triggered, this, &TfrmDirectChat::mnuBeepClick);
    connect(mnuDisconnect, &QAction::triggered, this, &TfrmDirectChat::mnuDisconnectClick);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("Splitter"));
    m_splitter->setChildrenCollapsible(false);
    RedTalk = new TRedTalk(m_splitter);
    m_splitter->addWidget(RedTalk);
    connect(RedTalk, &TRedTalk::KeyBytes, this, &TfrmDirectChat::SendToAll);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tbrStandard);
    layout->addWidget(m_splitter, 1);

    m_server = new TTalkServer(this);
    connect(m_server, &TTalkServer::ConnectionWaiting, this, &TfrmDirectChat::ScheduleAccept);
    UpdateCaption();
}

TfrmDirectChat::~TfrmDirectChat()
{
    Windows::Unregister(this);
    // Conversations go first, quietly: nothing they do may reach a half-freed window.
    const QList<TChatWindow *> conversations = m_conversations;
    m_conversations.clear();
    for (TChatWindow *conversation : conversations)
        conversation->Shutdown();
}

QList<TfrmDirectChat *> TfrmDirectChat::OpenWindows()
{
    return Windows::All<TfrmDirectChat>();
}

void TfrmDirectChat::UpdateCaption()
{
    setWindowTitle(QStringLiteral("Talk (alias: %1, port: %2)").arg(m_alias).arg(m_port));
}

bool TfrmDirectChat::Listen(quint16 port)
{
    m_port = port;
    UpdateCaption();
    return m_server->Listen(port);
}

int TfrmDirectChat::WaitingCount() const
{
    return m_server->WaitingCount();
}

QString TfrmDirectChat::ListenError() const
{
    return m_server->ErrorString();
}

TChatWindow *TfrmDirectChat::AddConversation(QTcpSocket *connection, const QString &host, bool initiator, quint16 port)
{
    // Our key needs random numbers: ask for a seed now, never later inside a socket event.
    QPointer<TfrmDirectChat> self(this);
    if (!EnsureRandomSeed(this) || !self) {
        if (connection) {
            connection->abort();
            connection->deleteLater();
        }
        return nullptr;
    }
    auto *conversation = new TChatWindow(this, m_alias.toUtf8(), initiator, port, host, connection, TalkRandomSource());
    m_splitter->insertWidget(0, conversation);
    // The new panel gets its height from the input below, which takes what is left.
    QList<int> sizes = m_splitter->sizes();
    if (sizes.size() >= 2) {
        const int total = std::accumulate(sizes.cbegin(), sizes.cend(), 0);
        sizes[0] = TChatWindow::PanelHeight;
        const int panels = std::accumulate(sizes.cbegin(), sizes.cend() - 1, 0);
        sizes.back() = std::max(0, total - panels);
        m_splitter->setSizes(sizes);
    }
    m_conversations.prepend(conversation);
    connect(conversation, &TChatWindow::Ended, this, &TfrmDirectChat::ConversationEnded);
    connect(conversation, &TChatWindow::StatusBarMenuRequested, this, &TfrmDirectChat::ShowUserMenu);
    conversation->Start();
    return conversation;
}

TChatWindow *TfrmDirectChat::FindConversation(const QTcpSocket *socket) const
{
    for (TChatWindow *conversation : m_conversations) {
        if (conversation->Connection().Socket() == socket)
            return conversation;
    }
    return nullptr;
}

void TfrmDirectChat::RemoveConversation(TChatWindow *conversation)
{
    if (!conversation || !m_conversations.removeOne(conversation))
        return;
    conversation->Shutdown();
    conversation->hide();
    conversation->deleteLater();
}

void TfrmDirectChat::SendToAll(const QByteArray &bytes)
{
    for (TChatWindow *conversation : std::as_const(m_conversations))
        conversation->SendToPeer(bytes);
}

TChatWindow *TfrmDirectChat::ConnectTo(const QString &host, const QString &portText)
{
    return AddConversation(nullptr, host.trimmed(), true, PortPool::ParsePort(portText));
}

void TfrmDirectChat::tbtConnectClick()
{
    QPointer<TfrmDirectChat> self(this);
    QPointer<TfrmDirectChatConnect> dialog = new TfrmDirectChatConnect(this);
    dialog->edtPort->setText(QString::number(m_port));
    dialog->edtHost->clear();
    const int result = dialog->exec();
    if (!self || !dialog)
        return;
    const QString host = dialog->edtHost->text();
    const QString port = dialog->edtPort->text();
    delete dialog;
    if (result == QDialog::Accepted)
        ConnectTo(host, port);
}

void TfrmDirectChat::ShowUserMenu(TChatWindow *conversation, const QPoint &globalPos)
{
    m_menuConversation = conversation;
    pumUser->popup(globalPos);
}

void TfrmDirectChat::mnuBeepClick()
{
    if (TChatWindow *conversation = m_menuConversation.data(); conversation && m_conversations.contains(conversation))
        conversation->SendBeep();
}

void TfrmDirectChat::mnuDisconnectClick()
{
    if (TChatWindow *conversation = m_menuConversation.data(); conversation && m_conversations.contains(conversation))
        conversation->Disconnect();
}

void TfrmDirectChat::ConversationEnded(TChatWindow *conversation, TTalkConnection::TEnd end, const QString &message)
{
    QString text = message;
    if (end == TTalkConnection::TEnd::Failed &&
        conversation->Connection().Protocol().Error() != TTalkProtocol::TError::NoRandom) {
        const QString host = conversation->Connection().PeerText();
        const QString peer = host.isEmpty() ? QStringLiteral("the peer") : host;
        text = QStringLiteral("The talk connection with %1 was dropped: %2.").arg(peer, message);
    }
    // Handled once the socket's event has returned: the message box runs an event loop.
    QMetaObject::invokeMethod(
        this, [this, guard = QPointer<TChatWindow>(conversation), end, text] { Notify(guard, end, text); },
        Qt::QueuedConnection);
}

void TfrmDirectChat::Notify(QPointer<TChatWindow> conversation, TTalkConnection::TEnd end, const QString &message)
{
    if (!conversation || !m_conversations.contains(conversation.data()))
        return;
    const bool initiator = conversation->Initiator();
    RemoveConversation(conversation.data());
    QPointer<TfrmDirectChat> self(this);
    switch (end) {
    case TTalkConnection::TEnd::ConnectFailed:
        MessageBox::Error(this, QStringLiteral("Unable to establish connection!"));
        break;
    case TTalkConnection::TEnd::Disconnected:
        if (initiator)
            MessageBox::Information(this, QStringLiteral("User disconnected"));
        break;
    case TTalkConnection::TEnd::Failed:
        MessageBox::Error(this, message);
        break;
    }
    if (self)
        emit ConversationRemoved();
}

void TfrmDirectChat::ScheduleAccept()
{
    if (m_asking || m_acceptScheduled)
        return;
    m_acceptScheduled = true;
    QTimer::singleShot(0, this, &TfrmDirectChat::AskNextConnection);
}

void TfrmDirectChat::AskNextConnection()
{
    m_acceptScheduled = false;
    if (m_asking)
        return;
    QTcpSocket *waiting = m_server->NextWaiting();
    if (!waiting)
        return;
    QPointer<TfrmDirectChat> self(this);
    QPointer<QTcpSocket> socket(waiting);
    m_asking = true;
    const bool yes = MessageBox::Show(this, QMessageBox::Information, QStringLiteral("Accept new talk connection?"),
                                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    if (!self)
        return;
    m_asking = false;
    if (yes) {
        // The peer may have given up while the question was open.
        if (QTcpSocket *connection = m_server->Take(socket.data()))
            AddConversation(connection, QString(), false, connection->peerPort());
    } else {
        m_server->Refuse(socket.data());
    }
    if (self && m_server->NextWaiting())
        ScheduleAccept();
}
