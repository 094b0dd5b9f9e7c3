#pragma once

#include "settings/ConfigControls.h"
#include "settings/StoreTransfer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>

#include <memory>

#include "net/URC4.h"

class TRC4;

// The settings holder and the configuration dialog in one: every setting is a control of
// this window, read by the rest of the program at the moment it is needed.
class TfrmConfig : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmConfig(QWidget *parent = nullptr);
    ~TfrmConfig() override;

    // Start-up: LoadAll, then SaveAll at once. Store errors propagate to the caller.
    void Startup();
    void LoadAll();
    void SaveAll();
    // SaveAll at program end: a store error is caught and returned, never thrown.
    QString SaveAllQuietly();

    void StoreFileTransfers(TStoreMode mode);
    void StoreServers(TStoreMode mode);
    void StorePXO(TStoreMode mode);
    void StoreTalk(TStoreMode mode);
    void StoreChat(TStoreMode mode);
    void StoreIRC(TStoreMode mode);
    void StoreRandomSeed(TStoreMode mode);
    void StoreDescent(TStoreMode mode);
    void StoreLogin(TStoreMode mode);

    bool IsFriend(const QString &name) const;
    bool IsPreferedServer(const QString &name) const;

    // Random numbers for connection keys; throws std::runtime_error when no seed can be had.
    quint8 GetRandomByte();
    void NewRandomSeed();

    // Run-time fields that are no controls
    qint32 ServerSortColumn = 0;
    quint32 AwaySince = 0;
    std::unique_ptr<TRC4> RandomGenerator;
    bool RandomSeeded = false;

    // The outer page control and its pages
    QTabWidget *pgcConfig;
    QTabWidget *pgcChat;

    // Chat, General
    QPlainTextEdit *memChatAlias;
    QCheckBox *cbxChatTimeStamp;
    QCheckBox *cbxChatMessageSound;
    QCheckBox *cbxChatMessageFriendSound;
    QCheckBox *cbxChatJoinFriendSound;
    QCheckBox *cbxChatNotifyMessage; // desktop notification while Orlo is not active
    QCheckBox *cbxChatNotifyFriendJoin;
    QCheckBox *cbxChatAway;
    QLabel *lblChatAway;
    TSpinEdit *speChatAway;
    QPlainTextEdit *memChatAway;
    QPlainTextEdit *memChatFriends;
    TChoiceBox *cmbChatChannelTabsPos;
    // Chat, Colors
    TChoiceBox *cmbChatAliasColor;
    TChoiceBox *cmbChatTextColor;
    TChoiceBox *cmbChatActionColor;
    TChoiceBox *cmbChatOwnColor;
    TChoiceBox *cmbChatFriendColor;
    // Chat, Extras
    QPlainTextEdit *memChatHighlight;
    QCheckBox *cbxChatLog;
    QPushButton *btnChatLogFolder;
    TSpinEdit *speChatSendBurst;
    TSpinEdit *speChatSendInterval;
    QCheckBox *cbxChatReconnect;
    TSpinEdit *speChatLinesKept; // per conversation view; 0 keeps all
    // PXO
    QLineEdit *edtPXOGameServer;
    QLineEdit *edtPXOChatServer;
    QLineEdit *edtPXOUserServer;
    TSpinEdit *speChatPingTime;
    TSpinEdit *speChatServerlistTime;
    TSpinEdit *speChatChannellistTime;
    QCheckBox *cbxChatPingTime;
    QCheckBox *cbxChatServerlistTime;
    QCheckBox *cbxChatChannellistTime;
    QCheckBox *cbxPXOAutoJoin;
    // Talk
    QLineEdit *edtTalkAlias;
    QCheckBox *cbxTalkAlias;
    QPlainTextEdit *memTalkServerPorts;
    QCheckBox *cbxTalkGlobalRequests;
    QCheckBox *cbxTalkFriendRequests;
    // Security
    QPushButton *btnNewRandomSeed;
    TSpinEdit *speRC4KeyLength;
    TSpinEdit *speRSAKeyLength;
    // Descent
    QLineEdit *edtDescentPath;
    QLineEdit *edtDescentExe;
    QPlainTextEdit *memDescentParams;
    QPlainTextEdit *memDescentDirectIPParams;
    QCheckBox *cbxDescentAutoLogin;
    QCheckBox *cbxDescentDLMissionsDir;
    // Servers
    TChoiceBox *cmbServersDblClick;
    QPlainTextEdit *memServersPrefered;
    TSpinEdit *speServerFilterPing;
    QComboBox *cmbServersFilterGameTypes;
    QListWidget *lbxServersFilterGameType;
    QComboBox *cmbServersFilterMode;
    QListWidget *lbxServersFilterMode;
    QComboBox *cmbServersFilterLevel;
    QListWidget *lbxServersFilterLevel;
    QCheckBox *cbxServersFilterMaxPlayers;
    TChoiceBox *cmbServersVersion;
    QCheckBox *cbxServersAutoJoin;
    TSpinEdit *speServersPing1;
    TSpinEdit *speServersPing2;
    TSpinEdit *speServersPing3;
    TSpinEdit *speServersPing4;
    QCheckBox *cbxServerJoinLevelExist;
    QCheckBox *cbxServersContinousSort;
    // File transfers
    QLineEdit *edtFileDownload;
    QPlainTextEdit *memFileServerPorts;
    // Irc
    QLineEdit *edtIRCServer;
    QLineEdit *edtIRCNick;
    QLineEdit *edtIRCFullName;
    QLineEdit *edtIRCEMail;
    // Login
    QTableWidget *sgrLogin;
    QPushButton *btnLoginAdd;
    QPushButton *btnLoginRemove;

    QPushButton *btnOk;
    QPushButton *btnCancel;

    // The stored logins (rows 1 … last of the grid).
    int LoginCount() const { return sgrLogin->rowCount() - 1; }

    // The page captions in order, for tests and screenshots.
    QWidget *Page(const QString &caption) const;

    // The editing rules. The chat engine's away command runs speChatAwayChange after it
    // sets speChatAway: line speChatAway of memChatAway becomes the current away message.
    void speChatAwayChange();
    void btnLoginAddClick();
    void btnLoginRemoveClick();
    // Moves login row From (1 … last) to row To, as dragging its row header does.
    void MoveLoginRow(int from, int to);

    // The friends list changed: chat windows show friends anew. The chat's "Toggle friend" calls
    // this after editing the list.
    void ApplyFriendsList();

public slots:
    void btnOkClick();
    void btnCancelClick();

signals:
    // The text of the channel-tab position changed.
    void TabsPositionChanged();
    void FriendsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreatePages();
    QWidget *CreateChatGeneralPage();
    QWidget *CreateChatColorsPage();
    QWidget *CreateChatExtrasPage();
    QWidget *CreatePXOPage();
    QWidget *CreateTalkPage();
    QWidget *CreateSecurityPage();
    QWidget *CreateDescentPage();
    QWidget *CreateServersPage();
    QWidget *CreateFileTransfersPage();
    QWidget *CreateIrcPage();
    QWidget *CreateLoginPage();
    void SetFormDefaults();
    void WireRules();
    void FieldLeft(QObject *field);
    void memChatAliasExit();
    void edtDescentPathExit();
    void ShowStoreError(const QString &message, const QString &location, const QString &consequence);
    void SetupLoginGrid();
    void RefreshLoginHeaders();
    void LoginRowDragged(int oldVisual, int newVisual);
    int SelectedLoginRow() const;

    bool m_aliasCheckPending = false;
    bool m_draggingLoginRow = false;
};

// The one settings holder of the program (null before it is created).
TfrmConfig *frmConfig();
void SetConfig(TfrmConfig *config);

// The folder of the conversation logs (created when first needed).
QString ChatLogFolder();
// Shows the logs folder in the desktop's file manager, creating it first.
void OpenChatLogFolder(QWidget *parent);

// Default host names of the PXO service; all three are settings.
namespace PxoDefaults {
constexpr char GameTracker[] = "gametracker.pxo.net";
constexpr char ChatServer[] = "chat.pxo.net";
constexpr char UserTracker[] = "usertracker.pxo.net";
} // namespace PxoDefaults
