#pragma once

#include "net/PeerSocket.h"

#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <functional>

class QAction;
class QSystemTrayIcon;
class QMenu;
class TfrmCachedUserInfo;
class TfrmChat;
class TfrmLocateUsers;

struct TMainOptions
{
    bool showHidden = false;                          // --show-hidden
    QHostAddress peerAddress = QHostAddress::AnyIPv4; // where the peer socket listens
    quint16 peerPort = PeerPackets::Port;
};

// The frame: menus, the child windows, and the peer datagram protocol between copies of
// Orlo. It is the one place that wires the subsystems together: the windows below say what
// they need in signals, and the frame answers them.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(const TMainOptions &options = {}, QWidget *parent = nullptr);
    ~TfrmMain() override;

    void SendClientProbe(const QString &host);
    void SendTalkRequest(const QString &host, quint16 port, const QString &alias);
    // Chat windows show their tabs where the configuration says, and friends anew.
    void ApplyChannelTabsPos();
    void ApplyFriendsList();
    void AddChildWindow(QWidget *window);
    // Adds a chat window and answers what it asks of the frame.
    void AddChatWindow(TfrmChat *form);
    // "Talk" on a chat user: a talk window, then the invitation with its port to Host.
    bool TalkWithUser(const QString &host, const QString &alias);
    // What a later start of Orlo asks for: "show", or an orlo: link to open.
    void HandleRequest(const QString &request);
    // Opens an orlo: link; a malformed one is said in the status bar and ignored (false).
    bool OpenLink(const QString &text);
    // A desktop notification, shown only while Orlo is not the active window.
    void ShowNotification(const QString &title, const QString &message);
    // Notifications passed on to the desktop since the start (whether or not it shows them).
    int NotificationCount() const { return m_notifications; }

    // The child windows' forms in child-window order (the front one first).
    QList<QWidget *> ChildForms() const;
    template <typename T> QList<T *> ChildWindowsOf() const
    {
        QList<T *> result;
        for (QWidget *form : ChildForms()) {
            if (T *typed = qobject_cast<T *>(form))
                result << typed;
        }
        return result;
    }
    // Open a window filled from the open chat windows' users, or the open lobbies' servers.
    TfrmCachedUserInfo *mnuCachedUserInfoClick();
    TfrmLocateUsers *mnuLocateUsersClick();

    // The first activation: auto-login, then the stored placement. Runs once.
    void HandleFirstActivation();
    bool FirstActivation() const { return m_firstActivation; }
    // Closes the detached chat windows, then every other child, last to first.
    void CloseChildWindows();
    // Frees the child windows that still exist, latest first (program end).
    void DestroyChildWindows();
    void LoadPlacement();
    void SavePlacement();
    void ArrangeChildren();

    TPeerSocket &Peer() { return m_peer; }
    QMdiArea *MdiArea() const { return m_mdiArea; }
    QMenu *mnuWindows = nullptr;

    // Opens the window that asks whether to answer a talk request; null when none opened.
    using TalkRequestFactory = std::function<QWidget *(const QString &host, quint16 port, const QString &alias)>;
    void SetTalkRequestFactory(TalkRequestFactory factory) { m_talkRequestFactory = std::move(factory); }
    // What opens the Descent 3 lobby at first activation when "Auto login" is set.
    void SetAutoLoginHandler(std::function<void()> handler) { m_autoLogin = std::move(handler); }
    enum class TLobbyKind { Descent, Freespace };
    // Asks for the login (or, when ShowDialog is false, takes the stored values) and opens
    // the lobby of that game. Gives the lobby, or null when nothing was opened.
    QWidget *OpenLobby(TLobbyKind kind, bool showDialog = true);
    int OpenTalkRequestCount() const;

    static constexpr int MaxTalkRequestWindows = 5;

signals:
    // The frame closed: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void CreateMenus();
    QAction *AddItem(QMenu *menu, const QString &caption, const char *name, const QKeySequence &shortcut = {});
    void UpdateWindowsMenu();
    void ChildAdded(QWidget *form);
    void ChildRemoved(QWidget *form);
    void PeerProbeReply(const QString &host, quint32 build);
    void PeerTalkRequest(const QString &host, quint16 port, const QByteArray &alias);
    void mnuTalkClick();
    void mnuFileServerClick();

    TMainOptions m_options;
    QMdiArea *m_mdiArea;
    TPeerSocket m_peer;
    bool m_firstActivation = true;
    bool m_closing = false;
    QAction *m_arrange = nullptr;
    TalkRequestFactory m_talkRequestFactory;
    std::function<void()> m_autoLogin;
    QSystemTrayIcon *m_tray = nullptr; // made at the first notification
    int m_notifications = 0;
    QList<QPair<QString, QPointer<QWidget>>> m_talkRequests; // sender → its question window
};

TfrmMain *frmMain();
