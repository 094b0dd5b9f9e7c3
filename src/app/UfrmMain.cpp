#include "app/UfrmMain.h"

#include "app/Artwork.h"
#include "app/UfrmAbout.h"
#include "app/UfrmHelp.h"
#include "base/Log.h"
#include "chat/UfrmChatWindow.h"
#include "chat/UfrmIRC.h"
#include "files/UfrmFileServer.h"
#include "files/UfrmFileTransfer.h"
#include "irc/User.h"
#include "pxo/UfrmCachedUserInfo.h"
#include "pxo/UfrmLocateUsers.h"
#include "pxo/UfrmLogin.h"
#include "pxo/UfrmPXO.h"
#include "settings/Registry.h"
#include "settings/StoreNames.h"
#include "settings/UfrmConfig.h"
#include "talk/TalkLauncher.h"
#include "talk/UfrmDirectChat.h"
#include "ui/ChildWindow.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>

#include <memory>

namespace {
TfrmMain *g_main = nullptr;
constexpr int CascadeStep = 24;
} // namespace

TfrmMain *frmMain()
{
    return g_main;
}

TfrmMain::TfrmMain(const TMainOptions &options, QWidget *parent) : QMainWindow(parent), m_options(options)
{
    g_main = this;
    ChildWindow::SetHost([this](QWidget *window) { AddChildWindow(window); });
    if (TfrmConfig *config = frmConfig()) {
        connect(config, &TfrmConfig::TabsPositionChanged, this, &TfrmMain::ApplyChannelTabsPos);
        connect(config, &TfrmConfig::FriendsChanged, this, &TfrmMain::ApplyFriendsList);
    }
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orlo"));
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setBackground(QColor(0, 0, 0x80)); // navy
    setCentralWidget(m_mdiArea);
    setGeometry(278, 143, 652, 492);
    CreateMenus();
    statusBar();

    m_peer.SetRemotePort(PeerPackets::Port);
    connect(&m_peer, &TPeerSocket::ProbeReplyReceived, this, &TfrmMain::PeerProbeReply);
    connect(&m_peer, &TPeerSocket::TalkRequestReceived, this, &TfrmMain::PeerTalkRequest);
    if (!m_peer.Bind(options.peerAddress, options.peerPort)) {
        // A second copy of Orlo holds the port: carry on without the peer protocol.
        statusBar()->showMessage(QStringLiteral("UDP port %1 is in use (%2): probes and talk requests are off.")
                                     .arg(options.peerPort)
                                     .arg(m_peer.ErrorString()));
    }
}

TfrmMain::~TfrmMain()
{
    SavePlacement();
    m_closing = true;
    DestroyChildWindows();
    ChildWindow::SetHost({});
    if (g_main == this)
        g_main = nullptr;
}

QAction *TfrmMain::AddItem(QMenu *menu, const QString &caption, const char *name, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

void TfrmMain::CreateMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(AddItem(file, QStringLiteral("C&onfigure..."), "mnuConfigure", QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, [] {
                if (TfrmConfig *config = frmConfig()) {
                    config->show();
                    config->raise();
                    config->activateWindow();
                }
            });
    connect(AddItem(file, QStringLiteral("E&xit"), "mnuExit"), &QAction::triggered, this, &QWidget::close);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    connect(AddItem(view, QStringLiteral("Cached &User info"), "mnuCachedUserInfo", QKeySequence(Qt::CTRL | Qt::Key_U)),
            &QAction::triggered, this, &TfrmMain::mnuCachedUserInfoClick);
    connect(AddItem(view, QStringLiteral("&Locate users"), "mnuLocateUsers", QKeySequence(Qt::CTRL | Qt::Key_L)),
            &QAction::triggered, this, &TfrmMain::mnuLocateUsersClick);

    QMenu *connectMenu = menuBar()->addMenu(QStringLiteral("&Connect"));
    connectMenu->setObjectName(QStringLiteral("mnuConnect"));
    QMenu *pxo = connectMenu->addMenu(QStringLiteral("&PXO"));
    pxo->setObjectName(QStringLiteral("mnuPXO"));
    connect(AddItem(pxo, QStringLiteral("Descent 3"), "mnuDescent3"), &QAction::triggered, this,
            [this] { OpenLobby(TLobbyKind::Descent); });
    QAction *freespace = AddItem(pxo, QStringLiteral("Freespace 1"), "mnuFreespace1");
    freespace->setVisible(m_options.showHidden);
    connect(freespace, &QAction::triggered, this, [this] { OpenLobby(TLobbyKind::Freespace); });
    connect(AddItem(connectMenu, QStringLiteral("&Irc (not completed)"), "mnuIrc"), &QAction::triggered, this, [this] {
        auto *irc = new TfrmIRC;
        AddChatWindow(irc);
        const TfrmConfig *config = frmConfig();
        irc->Connect(config ? config->edtIRCNick->text() : QString());
    });
    QAction *getFile = AddItem(connectMenu, QStringLiteral("Get &File"), "mnuGetFile");
    getFile->setVisible(m_options.showHidden);
    connect(getFile, &QAction::triggered, this, [this] { AddChildWindow(new TfrmFileTransfer(0, QString())); });

    QMenu *server = menuBar()->addMenu(QStringLiteral("&Server"));
    server->setObjectName(QStringLiteral("mnuServer"));
    QAction *talk = AddItem(server, QStringLiteral("&Talk"), "mnuTalk");
    connect(talk, &QAction::triggered, this, &TfrmMain::mnuTalkClick);
    QAction *fileServer = AddItem(server, QStringLiteral("&File server"), "mnuFileServer");
    fileServer->setVisible(m_options.showHidden);
    connect(fileServer, &QAction::triggered, this, &TfrmMain::mnuFileServerClick);

    mnuWindows = menuBar()->addMenu(QStringLiteral("&Windows"));
    mnuWindows->setObjectName(QStringLiteral("mnuWindows"));
    mnuWindows->setEnabled(false);
    m_arrange = AddItem(mnuWindows, QStringLiteral("&Arrange"), "mnuArrange");
    connect(m_arrange, &QAction::triggered, this, &TfrmMain::ArrangeChildren);
    connect(mnuWindows, &QMenu::aboutToShow, this, &TfrmMain::UpdateWindowsMenu);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(AddItem(help, QStringLiteral("&Help..."), "mnuHelpItem"), &QAction::triggered, this, [] {
        if (TfrmHelp *window = frmHelp()) {
            window->show();
            window->raise();
        }
    });
    connect(AddItem(help, QStringLiteral("&About..."), "mnuAbout"), &QAction::triggered, this, [this] {
        TfrmAbout about(this);
        about.exec();
    });
}

void TfrmMain::mnuTalkClick()
{
    const quint16 port = FreeTalkPort();
    if (port == 0) {
        MessageBox::Error(this, QStringLiteral("Not enough talk server ports configured!"));
        return;
    }
    OpenTalkWindow(frmConfig()->edtTalkAlias->text(), port, this);
}

void TfrmMain::mnuFileServerClick()
{
    const quint16 port = FreeFileServerPort();
    if (port == 0) {
        MessageBox::Error(this, QStringLiteral("Not enough file server ports configured!"));
        return;
    }
    AddChildWindow(new TfrmFileServer(port, nullptr, m_options.peerAddress));
}

QList<QWidget *> TfrmMain::ChildForms() const
{
    QList<QWidget *> forms;
    // The front window first, as the frame counts its children.
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList(QMdiArea::StackingOrder);
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if (QWidget *form = (*it)->widget())
            forms << form;
    }
    return forms;
}

void TfrmMain::AddChildWindow(QWidget *window)
{
    if (!window)
        return;
    QMdiSubWindow *sub = m_mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The form may free itself (deleteLater); its frame goes with it.
    connect(window, &QObject::destroyed, sub, [this, sub, window] {
        ChildRemoved(window);
        sub->deleteLater();
    });
    ChildAdded(window);
    window->show();
}

namespace {
bool CountsForWindowsMenu(const QWidget *form)
{
    return qobject_cast<const TfrmChat *>(form) || qobject_cast<const TfrmDirectChat *>(form);
}
} // namespace

void TfrmMain::ChildAdded(QWidget *form)
{
    if (CountsForWindowsMenu(form))
        mnuWindows->setEnabled(true);
}

void TfrmMain::ChildRemoved(QWidget *form)
{
    // The window being removed is still counted among the children.
    if (!m_closing && CountsForWindowsMenu(form))
        mnuWindows->setEnabled(m_mdiArea->subWindowList().size() > 1);
}

void TfrmMain::UpdateWindowsMenu()
{
    const QList<QAction *> actions = mnuWindows->actions();
    for (QAction *action : actions) {
        if (action != m_arrange) {
            mnuWindows->removeAction(action);
            action->deleteLater();
        }
    }
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    if (!windows.isEmpty())
        mnuWindows->addSeparator();
    for (QMdiSubWindow *sub : windows) {
        QAction *action = mnuWindows->addAction(sub->windowTitle());
        action->setCheckable(true);
        action->setChecked(sub == m_mdiArea->activeSubWindow());
        QPointer<QMdiSubWindow> target(sub);
        connect(action, &QAction::triggered, this, [this, target] {
            if (target)
                m_mdiArea->setActiveSubWindow(target);
        });
    }
}

void TfrmMain::ArrangeChildren()
{
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList(QMdiArea::StackingOrder);
    for (QMdiSubWindow *sub : windows) {
        if (sub->isMinimized())
            sub->showNormal();
    }
    // Child i (front first) of n goes to (n - i - 1) * 24.
    const int n = int(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *sub = windows[n - 1 - i];
        const int offset = (n - i - 1) * CascadeStep;
        sub->move(offset, offset);
    }
}

void TfrmMain::SendClientProbe(const QString &host)
{
    m_peer.SendTo(host, PeerPackets::EncodeProbe());
}

void TfrmMain::SendTalkRequest(const QString &host, quint16 port, const QString &alias)
{
    m_peer.SendTo(host, PeerPackets::EncodeTalkRequest(port, alias.toUtf8()));
}

void TfrmMain::PeerProbeReply(const QString &host, quint32 build)
{
    for (TfrmChat *chat : ChildWindowsOf<TfrmChat>())
        chat->ApplyClientBuild(host, build);
}

int TfrmMain::OpenTalkRequestCount() const
{
    return int(std::count_if(m_talkRequests.cbegin(), m_talkRequests.cend(),
                             [](const auto &entry) { return !entry.second.isNull(); }));
}

void TfrmMain::PeerTalkRequest(const QString &host, quint16 port, const QByteArray &aliasBytes)
{
    TfrmConfig *config = frmConfig();
    if (!config)
        return;
    const QString alias = QString::fromUtf8(aliasBytes);
    const bool accepted = config->cbxTalkGlobalRequests->isChecked() ||
                          (config->cbxTalkFriendRequests->isChecked() && config->IsFriend(alias));
    if (!accepted)
        return Log::Dropped(lcTalk(), host, QStringLiteral("talk request refused by the talk settings"));
    // One question per sender and a few at once: requests cannot flood the screen.
    m_talkRequests.removeIf([](const auto &entry) { return entry.second.isNull(); });
    if (m_talkRequests.size() >= MaxTalkRequestWindows)
        return Log::Dropped(lcTalk(), host, QStringLiteral("talk request while too many are open"));
    const bool pending = std::any_of(m_talkRequests.cbegin(), m_talkRequests.cend(),
                                     [&host](const auto &entry) { return entry.first == host; });
    if (pending)
        return Log::Dropped(lcTalk(), host, QStringLiteral("talk request while one of the sender's is open"));
    if (!m_talkRequestFactory)
        return;
    if (QWidget *window = m_talkRequestFactory(host, port, alias))
        m_talkRequests.append({host, QPointer<QWidget>(window)});
}

void TfrmMain::AddChatWindow(TfrmChat *form)
{
    connect(form, &TfrmChat::ClientProbeWanted, this, &TfrmMain::SendClientProbe);
    connect(form, &TfrmChat::NotificationWanted, this, &TfrmMain::ShowNotification);
    // The cached-user windows list users of every chat window.
    connect(form, &TfrmChat::UserRemoved, this, &TfrmCachedUserInfo::UserRemoved);
    connect(form, &TfrmChat::TalkWanted, this, &TfrmMain::TalkWithUser);
    AddChildWindow(form);
}

bool TfrmMain::TalkWithUser(const QString &host, const QString &alias)
{
    TfrmDirectChat *window = OpenTalkWithUser(alias);
    if (window)
        SendTalkRequest(host, window->ServerPort(), alias);
    return window != nullptr;
}

TfrmCachedUserInfo *TfrmMain::mnuCachedUserInfoClick()
{
    auto *window = new TfrmCachedUserInfo;
    for (TfrmChat *chat : ChildWindowsOf<TfrmChat>()) {
        for (TUser *user : std::as_const(chat->KnownUsers))
            window->AddCachedUser(user);
    }
    AddChildWindow(window);
    return window;
}

TfrmLocateUsers *TfrmMain::mnuLocateUsersClick()
{
    auto *window = new TfrmLocateUsers;
    for (TfrmPXO *lobby : ChildWindowsOf<TfrmPXO>())
        window->AddLobby(lobby);
    AddChildWindow(window);
    return window;
}

void TfrmMain::ApplyChannelTabsPos()
{
    for (TfrmChat *chat : ChildWindowsOf<TfrmChat>())
        chat->ApplyTabPosition();
}

void TfrmMain::ApplyFriendsList()
{
    for (TfrmChat *chat : ChildWindowsOf<TfrmChat>())
        chat->RefreshActiveUserList();
}

void TfrmMain::ShowNotification(const QString &title, const QString &message)
{
    // The user is looking at an Orlo window already: the chat shows it.
    if (QApplication::activeWindow() || m_closing)
        return;
    ++m_notifications;
    if (!m_tray) {
        QIcon icon = QIcon::fromTheme(QStringLiteral("orlo"));
        if (icon.isNull())
            icon = QIcon(Artwork::AboutImage(QSize(64, 64)));
        m_tray = new QSystemTrayIcon(icon, this);
        m_tray->setToolTip(QStringLiteral("Orlo"));
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
            showNormal();
            raise();
            activateWindow();
        });
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] {
            raise();
            activateWindow();
        });
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray->show();
    // Network text: one line, bounded, so a long message cannot fill the desktop.
    QString text = message.simplified();
    if (text.size() > 200)
        text = text.left(200) + QChar(0x2026);
    m_tray->showMessage(title.simplified().left(100), text, QSystemTrayIcon::Information, 8000);
}

bool TfrmMain::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_firstActivation)
        HandleFirstActivation();
    return QMainWindow::event(event);
}

void TfrmMain::HandleFirstActivation()
{
    if (!m_firstActivation)
        return;
    m_firstActivation = false;
    TfrmConfig *config = frmConfig();
    if (config && config->cbxDescentAutoLogin->isChecked() && m_autoLogin)
        m_autoLogin();
    LoadPlacement();
}

QWidget *TfrmMain::OpenLobby(TLobbyKind kind, bool showDialog)
{
    auto login = std::make_unique<TfrmLogin>(this);
    // Stored values that give no nick are asked for again.
    if (!showDialog && !TfrmLogin::AliasUsable(login->edtAlias->text()))
        showDialog = true;
    if (showDialog && login->exec() != QDialog::Accepted)
        return nullptr;
    TfrmPXO *lobby = nullptr;
    if (kind == TLobbyKind::Freespace)
        lobby = new TfrmFreespace;
    else
        lobby = new TfrmDescent;
    AddChatWindow(lobby);
    lobby->Login(login->edtUserName->text(), login->edtPassword->text(), login->edtAlias->text());
    return lobby;
}

void TfrmMain::LoadPlacement()
{
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyMainWindow)));
        QRect r = geometry();
        if (reg.ValueExists(QLatin1String(StoreNames::Top)))
            r.moveTop(reg.ReadInteger(QLatin1String(StoreNames::Top)));
        if (reg.ValueExists(QLatin1String(StoreNames::Left)))
            r.moveLeft(reg.ReadInteger(QLatin1String(StoreNames::Left)));
        if (reg.ValueExists(QLatin1String(StoreNames::Width)))
            r.setWidth(std::max(100, reg.ReadInteger(QLatin1String(StoreNames::Width))));
        if (reg.ValueExists(QLatin1String(StoreNames::Height)))
            r.setHeight(std::max(100, reg.ReadInteger(QLatin1String(StoreNames::Height))));
        setGeometry(r);
    } catch (const EStoreError &) {
        // Reported once at start-up; the window keeps its defaults.
    }
}

void TfrmMain::SavePlacement()
{
    try {
        TRegistry reg;
        reg.OpenKey(OrloKey(QLatin1String(StoreNames::KeyMainWindow)));
        const QRect r = geometry();
        reg.WriteInteger(QLatin1String(StoreNames::Top), r.top());
        reg.WriteInteger(QLatin1String(StoreNames::Left), r.left());
        reg.WriteInteger(QLatin1String(StoreNames::Width), r.width());
        reg.WriteInteger(QLatin1String(StoreNames::Height), r.height());
    } catch (const EStoreError &) {
    }
}

void TfrmMain::CloseChildWindows()
{
    m_closing = true;
    const auto closeAll = [this](bool detachedOnly) {
        const QList<QWidget *> forms = ChildForms();
        for (auto it = forms.crbegin(); it != forms.crend(); ++it) {
            QWidget *form = *it;
            if (detachedOnly && !qobject_cast<TfrmChatWindow *>(form))
                continue;
            try {
                if (QWidget *frame = form->parentWidget())
                    frame->close();
            } catch (...) {
                // A window that fails to close does not keep the others open.
            }
        }
    };
    closeAll(true);
    closeAll(false);
}

void TfrmMain::DestroyChildWindows()
{
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (auto it = windows.crbegin(); it != windows.crend(); ++it)
        delete *it;
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    CloseChildWindows();
    event->accept();
    emit Closed();
}
