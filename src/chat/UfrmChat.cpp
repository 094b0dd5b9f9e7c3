#include "chat/UfrmChat.h"

#include "chat/ChannelModel.h"
#include "chat/ChatFindBar.h"
#include "chat/ChatTab.h"
#include "chat/ChatUser.h"
#include "chat/UfrmChatWindow.h"
#include "servers/DatagramEndpoint.h"
#include "settings/UfrmConfig.h"
#include "ui/ChildWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int ChannelPanelWidth = 133;
constexpr int ChannelRowHeight = 16;

// Shows Form and brings it to the front, in the frame when it is a child window.
void ShowAndRaise(QWidget *form)
{
    if (!form)
        return;
    form->show();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(form->parentWidget())) {
        sub->show();
        sub->raise();
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
    } else {
        form->raise();
    }
}
} // namespace

TfrmChat::TfrmChat(QWidget *parent, bool load) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmChat"));
    setWindowTitle(QStringLiteral("Chat"));
    resize(652, 492);
    CreateControls();
    CreateMenus();
    if (load)
        Loaded();
}

TfrmChat::~TfrmChat()
{
    // Socket and tab events must not reach a form that is half destroyed.
    QObject::disconnect(TCP, nullptr, this, nullptr);
    m_released = true;
    Closing = true;
    CloseDetachedWindows();
    for (TChat *chat : Chats)
        QObject::disconnect(chat, nullptr, this, nullptr);
    try {
        LoadSaveWindowSettings(true);
    } catch (...) {
        // The window size is not worth a failure at close.
    }
    ClearChannels();
    ClearUsers();
    delete Datagrams;
    Datagrams = nullptr;
}

void TfrmChat::CreateControls()
{
    TCP = new QTcpSocket(this);
    // A flood waits in the system's buffers, not in ours.
    TCP->setReadBufferSize(256 * 1024);
    connect(TCP, &QTcpSocket::readyRead, this, &TfrmChat::TCPRead);
    connect(TCP, &QTcpSocket::connected, this, &TfrmChat::TCPConnected);
    connect(TCP, &QTcpSocket::disconnected, this, &TfrmChat::TCPDisconnect);
    connect(TCP, &QTcpSocket::errorOccurred, this, &TfrmChat::TCPError);
    CreateDatagrams();

    const auto timer = [this](const char *name, int interval) {
        auto *t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        return t;
    };
    TimerChannels = timer("TimerChannels", 10000);
    TimerConfig = timer("TimerConfig", 5000);
    TimerLoginRetry = timer("TimerLoginRetry", 7000);
    TimerWhoisDelay = timer("TimerWhoisDelay", 3000);
    connect(TimerChannels, &QTimer::timeout, this, &TfrmChat::TimerChannelsTimer);
    connect(TimerConfig, &QTimer::timeout, this, &TfrmChat::TimerConfigTimer);
    connect(TimerWhoisDelay, &QTimer::timeout, this, &TfrmChat::TimerWhoisDelayTimer);
    m_readMore = new QTimer(this);
    m_readMore->setSingleShot(true);
    m_readMore->setInterval(0);
    connect(m_readMore, &QTimer::timeout, this, &TfrmChat::TCPRead);

    m_channelModel = new TChannelModel(Channels, this);
    sgrChannels = new QTableView;
    sgrChannels->setObjectName(QStringLiteral("sgrChannels"));
    sgrChannels->setModel(m_channelModel);
    sgrChannels->verticalHeader()->hide();
    sgrChannels->verticalHeader()->setDefaultSectionSize(ChannelRowHeight);
    sgrChannels->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    sgrChannels->setColumnWidth(0, 92);
    sgrChannels->setColumnWidth(1, 18);
    sgrChannels->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgrChannels->setSelectionMode(QAbstractItemView::SingleSelection);
    sgrChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgrChannels->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sgrChannels->setWordWrap(false);
    sgrChannels->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sgrChannels, &QTableView::doubleClicked, this, [this] { sgrChannelsDblClick(); });
    // Remembered by name: rows move as channels arrive in order.
    connect(sgrChannels->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const TChannel *channel = current.isValid() ? ChannelByIndex(current.row() + 1) : nullptr;
                m_selectedChannel = channel ? channel->Name : QString();
            });
    connect(sgrChannels, &QWidget::customContextMenuRequested, this, &TfrmChat::ShowChannelPopup);

    pnlChannels = new QWidget;
    pnlChannels->setObjectName(QStringLiteral("pnlChannels"));
    pnlChannels->setMinimumWidth(10);
    auto *panelLayout = new QVBoxLayout(pnlChannels);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(sgrChannels);

    PageControl = new QTabWidget;
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    PageControl->tabBar()->installEventFilter(this);
    connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });

    splChannels = new QSplitter(Qt::Horizontal);
    splChannels->setObjectName(QStringLiteral("splChannels"));
    splChannels->addWidget(pnlChannels);
    splChannels->addWidget(PageControl);
    splChannels->setStretchFactor(1, 1);
    splChannels->setSizes({ChannelPanelWidth, 652 - ChannelPanelWidth});
    splChannels->setChildrenCollapsible(false);
    connect(splChannels, &QSplitter::splitterMoved, this, [this] { PlaceCloseButton(); });

    edtChat = new QLineEdit;
    edtChat->setObjectName(QStringLiteral("edtChat"));
    edtChat->setAutoFillBackground(true);
    connect(edtChat, &QLineEdit::returnPressed, this, &TfrmChat::edtChatKeyPress);

    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(splChannels, 1);
    layout->addWidget(edtChat);
    layout->addWidget(lblStatus);

    btnCloseChat = new QToolButton(this);
    btnCloseChat->setObjectName(QStringLiteral("btnCloseChat"));
    btnCloseChat->setText(QStringLiteral("X"));
    btnCloseChat->setFixedSize(14, 14);
    btnCloseChat->hide();
    connect(btnCloseChat, &QToolButton::clicked, this, &TfrmChat::btnCloseChatClick);

    OnStatus = [this](const QString &text) { ShowStatus(text); };
    CreateExtras();
    layout->insertWidget(1, pnlFind);
}

void TfrmChat::Loaded()
{
    RawCommands = false;
    Chats.clear();
    ApplyTabPosition();
    WhoisAllowed = true;
    LoadSaveWindowSettings(false);
    if (const TfrmConfig *config = frmConfig())
        SortColumn = config->ServerSortColumn;
    Closing = false;
    InGame = false;
    LineBuffer.Clear();
    FirstPingSeen = false;
    m_channelModel->Reset();
    GetChat(QStringLiteral("Misc"), true);
    PageControlChange();
    SetTimersEnabled(true);
}

TChat *TfrmChat::ChatByIndex(int i) const
{
    if (i < 1 || i > Chats.size())
        return nullptr;
    return Chats.at(i - 1);
}

TChat *TfrmChat::FindChat(const QString &name) const
{
    for (TChat *chat : Chats) {
        if (chat->Name == name)
            return chat;
    }
    return nullptr;
}

int TfrmChat::ChatIndex(const QString &name) const
{
    for (int i = 0; i < Chats.size(); ++i) {
        if (Chats.at(i)->Name == name)
            return i + 1;
    }
    return 0;
}

TChat *TfrmChat::GetChat(const QString &name, bool flag)
{
    Q_UNUSED(flag);
    const QString wanted = Irc::StripAt(name);
    if (TChat *chat = FindChat(wanted))
        return chat;
    auto *chat = new TChat(this, wanted);
    Chats.append(chat);
    WireTab(chat);
    QString caption = chat->Caption();
    PageControl->addTab(chat, caption.replace(QLatin1Char('&'), QLatin1String("&&")));
    return chat;
}

void TfrmChat::WireTab(TChat *chat)
{
    // A tab freed with its detached window must leave the list too.
    connect(chat, &QObject::destroyed, this, [this, chat] { Chats.removeAll(chat); });
    connect(chat, &TChat::OnUsersChanged, this, &TfrmChat::ChatUsersChanged);
    connect(chat->TextView, &QWidget::customContextMenuRequested, this,
            [this, chat](const QPoint &pos) { ShowTextPopup(chat, pos); });
    connect(chat->UserGrid, &QWidget::customContextMenuRequested, this, [this, chat](const QPoint &pos) {
        if (!chat->SelectedUser())
            return;
        m_popupUserChat = chat;
        pumUser->popup(chat->UserGrid->viewport()->mapToGlobal(pos));
    });
    connect(chat->UserGrid, &QTableWidget::cellDoubleClicked, this, [this, chat] { sgrUsersDblClick(chat); });
}

void TfrmChat::ChatUsersChanged(TChat *chat)
{
    TChannel *channel = chat ? FindChannel(chat->Name) : nullptr;
    if (channel && channel->Users != chat->Users.size()) {
        channel->Users = qint32(chat->Users.size());
        RefreshChannelGrid();
    }
}

TChat *TfrmChat::ActiveChat() const
{
    if (m_inputChat && Chats.contains(m_inputChat.data()))
        return m_inputChat;
    for (const QPointer<TfrmChatWindow> &window : m_detached) {
        if (window && window->ChatForm == this && window->Chat && window->IsActiveChild())
            return window->Chat;
    }
    if (auto *chat = qobject_cast<TChat *>(PageControl->currentWidget()))
        return chat;
    return Misc();
}

TfrmChatWindow *TfrmChat::DetachedWindowOf(const TChat *chat) const
{
    for (const QPointer<TfrmChatWindow> &window : m_detached) {
        if (window && chat && window->Chat == chat)
            return window;
    }
    return nullptr;
}

QList<TfrmChatWindow *> TfrmChat::DetachedWindows() const
{
    QList<TfrmChatWindow *> windows;
    for (const QPointer<TfrmChatWindow> &window : m_detached) {
        if (window)
            windows << window.data();
    }
    return windows;
}

void TfrmChat::Window1Click()
{
    TChat *chat = qobject_cast<TChat *>(PageControl->currentWidget());
    if (!chat || DetachedWindowOf(chat))
        return;
    auto *window = new TfrmChatWindow(this, chat);
    m_detached.removeAll(nullptr);
    m_detached.append(window);
    ChildWindow::Show(window);
    PageControlChange();
}

void TfrmChat::CloseDetachedWindows()
{
    for (const QPointer<TfrmChatWindow> &window : std::exchange(m_detached, {})) {
        if (!window)
            continue;
        window->GiveBack();
        window->ChatForm = nullptr;
        window->close();
    }
}

void TfrmChat::ActivateChat(TChat *chat)
{
    if (!chat)
        return;
    chat->SetNewTextMark(false);
    if (QTabWidget *tabs = chat->PageControl())
        tabs->setCurrentWidget(chat);
    ShowAndRaise(chat->HostForm);
}

void TfrmChat::CloseChat(TChat *chat)
{
    const int index = int(Chats.indexOf(chat)) + 1;
    if (!chat || index <= 1)
        return;
    // Its detached window goes first, handing the tab back.
    if (TfrmChatWindow *window = DetachedWindowOf(chat)) {
        window->GiveBack();
        window->close();
    }
    Chats.removeAt(index - 1);
    if (QTabWidget *tabs = chat->PageControl())
        tabs->removeTab(tabs->indexOf(chat));
    chat->hide();
    chat->setParent(nullptr);
    chat->deleteLater();
    ActivateChat(ChatByIndex(index - 1));
}

void TfrmChat::CloseAllChats()
{
    for (int i = ChatCount(); i >= 2; --i)
        CloseChat(ChatByIndex(i));
}

void TfrmChat::AddChatLine(TChat *chat, const QString &nickPart, const QColor &color, const QString &text, bool mention)
{
    if (!chat)
        return;
    chat->AddLine(nickPart, text, color, mention);
    if (!InRead())
        PlaceCloseButton();
}

TUser *TfrmChat::FindUser(const QString &nick) const
{
    return m_userIndex.value(Irc::StripAt(nick), nullptr);
}

TUser *TfrmChat::FindOrAddUser(const QString &nick)
{
    if (TUser *user = FindUser(nick))
        return user;
    const QString name = Irc::StripAt(nick);
    if (name.isEmpty())
        return nullptr;
    auto *user = new TUser(this, name);
    user->PingPending = true;
    KnownUsers.append(user);
    m_userIndex.insert(user->Nick, user);
    return user;
}

TUser *TfrmChat::FindUserByDisplayName(const QString &name) const
{
    for (TUser *user : KnownUsers) {
        if (user->DisplayName == name)
            return user;
    }
    return nullptr;
}

TUser *TfrmChat::UserByIndex(int i) const
{
    if (i < 0 || i >= KnownUsers.size())
        return nullptr;
    return KnownUsers.at(i);
}

void TfrmChat::ClearUsers()
{
    // No tab may keep a user that is about to go.
    for (TChat *chat : Chats) {
        chat->Users.clear();
        chat->Ops.clear();
    }
    m_userIndex.clear();
    const QList<TUser *> users = std::exchange(KnownUsers, {});
    for (TUser *user : users) {
        emit UserRemoved(user);
        delete user;
    }
}

void TfrmChat::MergeUser(const TUser &temporary)
{
    TUser *user = FindUser(temporary.Nick);
    if (!user)
        return;
    if (!temporary.Host.trimmed().isEmpty())
        user->SetHost(temporary.Host.trimmed());
    if (!temporary.WhoisName.trimmed().isEmpty())
        user->WhoisName = temporary.WhoisName.trimmed();
    if (!temporary.TrackerId.trimmed().isEmpty())
        user->TrackerId = temporary.TrackerId.trimmed();
    if (temporary.Rating)
        user->Rating = temporary.Rating;
    if (temporary.Kills)
        user->Kills = temporary.Kills;
    if (temporary.Deaths)
        user->Deaths = temporary.Deaths;
    if (temporary.Suicides)
        user->Suicides = temporary.Suicides;
    if (temporary.MinutesInGame)
        user->MinutesInGame = temporary.MinutesInGame;
    if (temporary.IgnoreState)
        user->IgnoreState = temporary.IgnoreState;
    if (temporary.PingTime)
        user->PingTime = temporary.PingTime;
    RefreshActiveUserList();
}

TChannel *TfrmChat::ChannelByIndex(int i) const
{
    if (i < 1 || i > Channels.size())
        return nullptr;
    return Channels.at(i - 1);
}

TChannel *TfrmChat::FindChannel(const QString &name) const
{
    return m_channelIndex.value(name, nullptr);
}

void TfrmChat::AddOrUpdateChannel(const QString &name, qint32 users, const QString &topic)
{
    if (TChannel *channel = FindChannel(name)) {
        channel->Users = users;
        channel->Topic = topic;
    } else {
        auto *added = new TChannel(name, users, topic);
        const auto at =
            std::upper_bound(Channels.begin(), Channels.end(), added, [](const TChannel *a, const TChannel *b) {
                return a->SortKey().compare(b->SortKey()) < 0;
            });
        Channels.insert(at, added);
        m_channelIndex.insert(name, added);
    }
    RefreshChannelGrid();
}

void TfrmChat::ClearChannels()
{
    m_channelIndex.clear();
    const QList<TChannel *> channels = std::exchange(Channels, {});
    qDeleteAll(channels);
    if (m_channelModel)
        m_channelModel->Reset();
}

void TfrmChat::RefreshChannelGrid()
{
    if (InRead()) {
        m_channelsDirty = true;
        return;
    }
    m_channelsDirty = false;
    // The selected channel stays selected and the list stays where it was scrolled to.
    const QString selected = m_selectedChannel;
    QScrollBar *bar = sgrChannels->verticalScrollBar();
    const int scrolled = bar->value();
    m_channelModel->Reset();
    if (const int row = int(Channels.indexOf(FindChannel(selected))); row >= 0)
        sgrChannels->selectRow(row);
    bar->setValue(scrolled);
}

TChat *TfrmChat::CreatePrivateChat(TUser *user, bool activate)
{
    if (!user)
        return nullptr;
    TChat *chat = GetChat(user->Nick, true);
    if (activate)
        ActivateChat(chat);
    chat->AddUser(user);
    if (TUser *own = FindUser(Nick))
        chat->AddUser(own);
    return chat;
}

void TfrmChat::sgrUsersDblClick(TChat *chat)
{
    Q_UNUSED(chat);
}

void TfrmChat::NickInUse() {}

void TfrmChat::UserInfoChanged(TUser *user)
{
    Q_UNUSED(user);
}

void TfrmChat::RequestStats(const QString &displayName, const QString &trackerId)
{
    Q_UNUSED(displayName);
    Q_UNUSED(trackerId);
}

void TfrmChat::OwnNickChanged() {}

void TfrmChat::ApplyClientBuild(const QString &host, quint32 build)
{
    for (TUser *user : KnownUsers) {
        if (user->Host == host) {
            user->ClientBuild = build;
            UserInfoChanged(user);
        }
    }
}
