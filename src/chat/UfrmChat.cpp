#include "chat/UfrmChat.h"

#include "chat/Beep.h"
#include "chat/ChannelList.h"
#include "chat/ChatFindBar.h"
#include "chat/UfrmChatWindow.h"
#include "irc/User.h"
#include "servers/DatagramEndpoint.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

TfrmChat::TfrmChat(QWidget *parent, bool load)
    : QWidget(parent), m_session(new TIrcSession(this)), PageControl(new TChatPages),
      KnownUsers(m_session->KnownUsers()), Channels(m_session->Channels()), Chats(PageControl->Chats)
{
    setObjectName(QStringLiteral("frmChat"));
    setWindowTitle(QStringLiteral("Chat"));
    resize(652, 492);
    CreateControls();
    WireSession();
    if (load)
        Loaded();
}

TfrmChat::~TfrmChat()
{
    m_released = true;
    Closing = true;
    TfrmChatWindow::CloseAllOf(this);
    try {
        LoadSaveWindowSettings(true);
    } catch (...) {
        // The window size is not worth a failure at close.
    }
    // The session goes first and tells only which users go: the rest of this form is going.
    m_session->disconnect();
    connect(m_session, &TIrcSession::UserRemoved, this, &TfrmChat::UserRemoved);
    delete m_session;
    delete Datagrams;
    Datagrams = nullptr;
}

void TfrmChat::CreateControls()
{
    CreateDatagrams();

    const auto timer = [this](const char *name, int interval, void (TfrmChat::*tick)()) {
        auto *t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        if (tick)
            connect(t, &QTimer::timeout, this, tick);
        return t;
    };
    TimerChannels = timer("TimerChannels", 10000, &TfrmChat::TimerChannelsTimer);
    TimerConfig = timer("TimerConfig", 5000, &TfrmChat::TimerConfigTimer);
    TimerWhoisDelay = timer("TimerWhoisDelay", 3000, &TfrmChat::TimerWhoisDelayTimer);

    pumUser = new TUserMenu(this);
    pnlChannels = new TChannelList(m_session);
    pumChannels = pnlChannels->pumChannels;
    connect(pnlChannels, &TChannelList::JoinWanted, this, &TfrmChat::sgrChannelsDblClick);
    connect(pnlChannels, &TChannelList::RefreshWanted, this, &TfrmChat::mnuRefreshChannelsClick);

    connect(PageControl, &TChatPages::ChatShown, this, &TfrmChat::PageControlChange);
    connect(PageControl, &TChatPages::CloseClicked, this, &TfrmChat::LeaveOrClose);
    connect(PageControl, &TChatPages::DetachWanted, this, &TfrmChat::Window1Click);
    splChannels = new QSplitter(Qt::Horizontal);
    splChannels->setObjectName(QStringLiteral("splChannels"));
    splChannels->addWidget(pnlChannels);
    splChannels->addWidget(PageControl);
    splChannels->setStretchFactor(1, 1);
    splChannels->setSizes({133, 652 - 133});
    splChannels->setChildrenCollapsible(false);

    edtChat = new QLineEdit;
    edtChat->setObjectName(QStringLiteral("edtChat"));
    edtChat->setAutoFillBackground(true);
    m_input = new TInputLine(edtChat, this, [] { return nullptr; });
    connect(PageControl, &TChatPages::TabsClicked, edtChat, qOverload<>(&QWidget::setFocus));
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    OnStatus = [this](const QString &text) { lblStatus->setText(text); };
    pnlFind = new TChatFindBar(this, [this] { return ActiveChat() ? ActiveChat()->TextView : nullptr; });
    connect(pnlFind, &TChatFindBar::Closed, edtChat, qOverload<>(&QWidget::setFocus));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(splChannels, 1);
    layout->addWidget(pnlFind);
    layout->addWidget(edtChat);
    layout->addWidget(lblStatus);
}

void TfrmChat::WireSession()
{
    using S = TIrcSession;
    S *s = m_session;
    s->SetFriendRule(&ChatSettings::IsFriend);
    s->SetAwaySource([] {
        return S::TAway{ChatSettings::Away(), ChatSettings::AwayText(), ChatSettings::AwaySince()};
    });
    connect(s, &S::Connected, this, [this] {
        if (!Closing)
            TCPConnect();
    });
    connect(s, &S::PingAnswered, this, &TfrmChat::HandlePing);
    connect(s, &S::NickInUse, this, &TfrmChat::NickInUse);
    connect(s, &S::OwnNickChanged, this, &TfrmChat::OwnNickChanged);
    connect(s, &S::Disconnected, this, &TfrmChat::TCPDisconnect);
    connect(s, &S::StatusText, this, [this](const QString &text) {
        if (OnStatus)
            OnStatus(text);
    });
    connect(s, &S::ReadDone, this, [this] {
        for (TChat *chat : std::as_const(Chats))
            chat->Flush();
        PlaceCloseButton();
    });
    connect(s, &S::LineAdded, this, &TfrmChat::ShowLine);
    connect(s, &S::ConversationOpened, this, [this](TConversation *conversation, bool activate) {
        TChat *chat = GetChat(conversation->Name);
        if (activate)
            PageControl->setCurrentWidget(chat);
    });
    connect(s, &S::ConversationClosed, this, [this](TConversation *conversation) {
        if (TChat *chat = ChatOf(conversation); chat && chat->Conversation == conversation) {
            CloseChat(chat);
            edtChat->setFocus();
        }
    });
    connect(s, &S::UserJoined, this, &TfrmChat::UserJoined);
    connect(s, &S::UserRemoved, this, &TfrmChat::UserRemoved);
    connect(s, &S::UserHostKnown, this, &TfrmChat::PingUser);
    connect(s, &S::UserInfoChanged, this, &TfrmChat::UserInfoChanged);
    connect(s, &S::WhoisReceived, this, [this](TUser *user) {
        RefreshActiveUserList();
        RequestStats(user->DisplayName, user->TrackerId);
    });
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
    FirstPingSeen = false;
    ApplyOptions();
    pnlChannels->Refresh();
    GetChat(QStringLiteral("Misc"), true);
    PageControlChange();
    SetTimersEnabled(true);
}

void TfrmChat::ApplyOptions()
{
    m_session->SetSendPace(ChatSettings::SendBurst(), ChatSettings::SendIntervalMs());
    m_session->SetReconnect(ChatSettings::Reconnect());
    m_session->SetHighlightWords(ChatSettings::HighlightWords());
}

TChat *TfrmChat::GetChat(const QString &name, bool flag)
{
    Q_UNUSED(flag);
    const QString wanted = Irc::StripAt(name);
    if (TChat *chat = FindChat(wanted))
        return chat;
    auto *chat = new TChat(this, wanted);
    // The first tab, "Misc", shows the server's lines: it is no conversation of the session.
    if (!Chats.isEmpty())
        chat->Bind(m_session->OpenConversation(wanted));
    pumUser->Attach(chat);
    connect(chat->UserGrid, &QTableWidget::cellDoubleClicked, this, [this, chat] { sgrUsersDblClick(chat); });
    PageControl->Add(chat);
    return chat;
}

TChat *TfrmChat::ActiveChat() const
{
    if (m_inputChat && Chats.contains(m_inputChat.data()))
        return m_inputChat;
    if (TChat *chat = TfrmChatWindow::ActiveChatOf(this))
        return chat;
    if (TChat *chat = PageControl->CurrentChat())
        return chat;
    return Misc();
}

void TfrmChat::CloseChat(TChat *chat)
{
    if (!chat || chat == Misc())
        return;
    if (const TConversation *conversation = std::exchange(chat->Conversation, nullptr))
        m_session->CloseConversation(conversation->Name);
    PageControl->Close(chat);
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

TChat *TfrmChat::CreatePrivateChat(TUser *user, bool activate)
{
    if (!user)
        return nullptr;
    m_session->OpenPrivate(user);
    TChat *chat = GetChat(user->Nick, true);
    if (activate)
        ActivateChat(chat);
    return chat;
}

TChat *TfrmChat::ChatOf(const TConversation *conversation) const
{
    if (!conversation)
        return Misc();
    const auto it = std::find_if(Chats.cbegin(), Chats.cend(),
                                 [conversation](const TChat *chat) { return chat->Conversation == conversation; });
    // A conversation named like the server's tab writes there.
    return it != Chats.cend() ? *it : FindChat(conversation->Name);
}

void TfrmChat::ShowLine(TConversation *conversation, const TChatLine &line)
{
    TChat *chat = line.Kind == TChatLine::TKind::Raw ? ActiveChat() : ChatOf(conversation);
    if (!chat)
        return;
    const bool message = line.Kind == TChatLine::TKind::Message || line.Kind == TChatLine::TKind::Action;
    if (message)
        chat->NoteSpeaker(line.Nick);
    AddChatLine(chat, line.NickPart, ChatSettings::LineColor(line.Kind), line.Text, line.Mention);
    QString title;
    if (message && !chat->IsChannel() && ChatSettings::NotifyMessage())
        title = QStringLiteral("Message from ") + line.Nick;
    else if (message && chat->IsChannel() && line.Mention && !QApplication::activeWindow())
        title = line.Nick + QStringLiteral(" in ") + chat->Name;
    // Posted: the notification never runs inside the read of the socket.
    if (!title.isEmpty())
        QTimer::singleShot(0, this, [this, title, text = line.Text] { emit NotificationWanted(title, text); });
}

void TfrmChat::UserJoined(TConversation *conversation, TUser *user)
{
    if (!user->IsFriend())
        return;
    if (ChatSettings::JoinFriendSound())
        Sound::Beep();
    // Posted, as all notifications: never inside the read of the socket.
    if (ChatSettings::NotifyFriendJoin())
        QTimer::singleShot(0, this, [this, text = user->Nick + QStringLiteral(" joined ") + conversation->Name] {
            emit NotificationWanted(QStringLiteral("Friend online"), text);
        });
}

void TfrmChat::MergeUser(const TUser &temporary)
{
    m_session->MergeUser(temporary);
    RefreshActiveUserList();
}

void TfrmChat::ClearChannels()
{
    m_session->ClearChannels();
    pnlChannels->Refresh();
}

void TfrmChat::TCPDisconnect()
{
    FirstPingSeen = false;
    if (m_released || m_closedNoticePending || m_session->Reconnecting())
        return;
    if (Closing)
        return Release();
    if (InGame) {
        for (int i = ChatCount(); i >= 2; --i) {
            if (TChat *chat = ChatByIndex(i); chat && chat->IsChannel())
                CloseChat(chat);
        }
        return;
    }
    // Stop everything now; the box waits for the event loop, and the form goes after it.
    Closing = true;
    SetTimersEnabled(false);
    m_closedNoticePending = true;
    QTimer::singleShot(0, this, [this] {
        QPointer<TfrmChat> self(this);
        MessageBox::Error(parentWidget() ? window() : nullptr, QStringLiteral("Connection closed!"));
        if (self)
            self->Release();
    });
}

void TfrmChat::closeEvent(QCloseEvent *event)
{
    TfrmChatWindow::CloseAllOf(this);
    Closing = true;
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
    // What is queued goes out before QUIT: nothing typed is lost at close.
    m_session->Quit();
    deleteLater();
}

void TfrmChat::ApplyClientBuild(const QString &host, quint32 build)
{
    for (TUser *user : KnownUsers) {
        if (user->Host == host) {
            user->ClientBuild = build;
            UserInfoChanged(user);
        }
    }
}
