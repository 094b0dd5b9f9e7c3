#include "settings/UfrmConfig.h"

#include "settings/ColorTable.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include <limits>

namespace {
TfrmConfig *g_config = nullptr;

template <typename T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPlainTextEdit *NewMemo(const char *name, const QStringList &lines = {})
{
    auto *memo = Named(new QPlainTextEdit, name);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setTabChangesFocus(true);
    SetMemoLines(memo, lines);
    return memo;
}

QCheckBox *NewCheck(const char *name, const QString &caption, bool checked)
{
    auto *box = Named(new QCheckBox(caption), name);
    box->setChecked(checked);
    return box;
}

QLineEdit *NewEdit(const char *name, const QString &text = QString())
{
    return Named(new QLineEdit(text), name);
}

QListWidget *NewSortedList(const char *name)
{
    auto *list = Named(new QListWidget, name);
    list->setSortingEnabled(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

QComboBox *NewFilterCombo(const char *name, const QStringList &items)
{
    auto *combo = Named(new QComboBox, name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    return combo;
}

// Number fields keep the width of their longest number instead of filling the row.
template <typename T> T *Narrow(T *field)
{
    field->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return field;
}

// Lists of a few short lines (ports) get a box of about ten lines, not the whole page.
QPlainTextEdit *Short(QPlainTextEdit *memo)
{
    memo->setMaximumHeight(memo->fontMetrics().lineSpacing() * 10);
    memo->setMaximumWidth(memo->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 30);
    return memo;
}

QLabel *Caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}
} // namespace

TfrmConfig *frmConfig()
{
    return g_config;
}

void SetConfig(TfrmConfig *config)
{
    g_config = config;
}

TfrmConfig::TfrmConfig(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configuration"));
    CreatePages();
    SetFormDefaults();
    WireRules();
    resize(660, 560);
}

TfrmConfig::~TfrmConfig()
{
    if (g_config == this)
        g_config = nullptr;
}

void TfrmConfig::CreatePages()
{
    pgcConfig = Named(new QTabWidget, "pgcConfig");
    pgcChat = Named(new QTabWidget, "pgcChat");
    pgcChat->addTab(CreateChatGeneralPage(), QStringLiteral("&General"));
    pgcChat->addTab(CreateChatColorsPage(), QStringLiteral("&Colors"));
    pgcChat->addTab(CreateChatExtrasPage(), QStringLiteral("&Extras"));
    auto *chatPage = new QWidget;
    auto *chatLayout = new QVBoxLayout(chatPage);
    chatLayout->addWidget(pgcChat);
    pgcConfig->addTab(chatPage, QStringLiteral("&Chat"));
    pgcConfig->addTab(CreatePXOPage(), QStringLiteral("&PXO"));
    pgcConfig->addTab(CreateTalkPage(), QStringLiteral("&Talk"));
    pgcConfig->addTab(CreateSecurityPage(), QStringLiteral("S&ecurity"));
    pgcConfig->addTab(CreateDescentPage(), QStringLiteral("&Descent"));
    pgcConfig->addTab(CreateServersPage(), QStringLiteral("&Servers"));
    pgcConfig->addTab(CreateFileTransfersPage(), QStringLiteral("&File transfers"));
    pgcConfig->addTab(CreateIrcPage(), QStringLiteral("&Irc"));
    pgcConfig->addTab(CreateLoginPage(), QStringLiteral("&Login"));

    btnCancel = Named(new QPushButton(QStringLiteral("&Cancel")), "btnCancel");
    btnOk = Named(new QPushButton(QStringLiteral("&Ok")), "btnOk");
    btnOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOk);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pgcConfig);
    layout->addLayout(buttons);
    pgcConfig->setCurrentIndex(0);
}

QWidget *TfrmConfig::Page(const QString &caption) const
{
    for (int i = 0; i < pgcConfig->count(); ++i) {
        if (pgcConfig->tabText(i) == caption)
            return pgcConfig->widget(i);
    }
    for (int i = 0; i < pgcChat->count(); ++i) {
        if (pgcChat->tabText(i) == caption)
            return pgcChat->widget(i);
    }
    return nullptr;
}

QWidget *TfrmConfig::CreateChatGeneralPage()
{
    memChatAlias = NewMemo("memChatAlias", {QStringLiteral("/stfu=/ignore"), QStringLiteral("/pm=/msg"),
                                            QStringLiteral("/i=/me"), QStringLiteral("/afk=/away")});
    cbxChatTimeStamp = NewCheck("cbxChatTimeStamp", QStringLiteral("Display timestamp"), true);
    cbxChatMessageSound = NewCheck("cbxChatMessageSound", QStringLiteral("Sound on message"), false);
    cbxChatMessageFriendSound =
        NewCheck("cbxChatMessageFriendSound", QStringLiteral("Sound on message from friend"), false);
    cbxChatJoinFriendSound =
        NewCheck("cbxChatJoinFriendSound", QStringLiteral("Sound when friend joins channel"), false);
    cbxChatNotifyMessage =
        NewCheck("cbxChatNotifyMessage", QStringLiteral("Desktop notification on private message"), true);
    cbxChatNotifyFriendJoin =
        NewCheck("cbxChatNotifyFriendJoin", QStringLiteral("Desktop notification when friend joins channel"), true);
    cbxChatAway = NewCheck("cbxChatAway", QStringLiteral("Away"), false);
    lblChatAway = Named(new TElidedLabel(QStringLiteral("I'm away...")), "lblChatAway");
    lblChatAway->setTextFormat(Qt::PlainText);
    speChatAway = Named(new TSpinEdit(0, 0, 0), "speChatAway");
    memChatAway = NewMemo("memChatAway");
    memChatFriends = NewMemo("memChatFriends");
    cmbChatChannelTabsPos =
        Named(new TChoiceBox({QStringLiteral("Top"), QStringLiteral("Left"), QStringLiteral("Bottom")}, -1,
                             QStringLiteral("Top")),
              "cmbChatChannelTabsPos");

    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    auto *left = new QVBoxLayout;
    left->addWidget(Caption(QStringLiteral("Alias:"), memChatAlias));
    left->addWidget(memChatAlias, 1);
    left->addWidget(cbxChatTimeStamp);
    left->addWidget(cbxChatMessageSound);
    left->addWidget(cbxChatMessageFriendSound);
    left->addWidget(cbxChatJoinFriendSound);
    left->addWidget(cbxChatNotifyMessage);
    left->addWidget(cbxChatNotifyFriendJoin);
    auto *tabs = new QHBoxLayout;
    tabs->addWidget(Caption(QStringLiteral("Channel tabs position"), cmbChatChannelTabsPos));
    tabs->addWidget(cmbChatChannelTabsPos);
    tabs->addStretch();
    left->addLayout(tabs);

    auto *away = new QGroupBox;
    auto *awayLayout = new QGridLayout(away);
    awayLayout->addWidget(cbxChatAway, 0, 0, 1, 2);
    awayLayout->addWidget(new QLabel(QStringLiteral("Current message:")), 1, 0);
    lblChatAway->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    awayLayout->addWidget(lblChatAway, 1, 1);
    awayLayout->addWidget(Narrow(speChatAway), 2, 0, 1, 2, Qt::AlignLeft);
    awayLayout->addWidget(memChatAway, 3, 0, 1, 2);
    awayLayout->setColumnStretch(1, 1);

    auto *right = new QVBoxLayout;
    right->addWidget(away, 1);
    right->addWidget(Caption(QStringLiteral("Friends list:"), memChatFriends));
    right->addWidget(memChatFriends, 1);

    grid->addLayout(left, 0, 0);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget *TfrmConfig::CreateChatColorsPage()
{
    const auto colorBox = [](const char *name, int index) {
        return Named(new TChoiceBox(ColorTable::Names(), index), name);
    };
    cmbChatAliasColor = colorBox("cmbChatAliasColor", 11);
    cmbChatTextColor = colorBox("cmbChatTextColor", 3);
    cmbChatActionColor = colorBox("cmbChatActionColor", 14);
    cmbChatOwnColor = colorBox("cmbChatOwnColor", 16);
    cmbChatFriendColor = colorBox("cmbChatFriendColor", 7);

    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("Alias:"), cmbChatAliasColor);
    form->addRow(QStringLiteral("Text:"), cmbChatTextColor);
    form->addRow(QStringLiteral("Action:"), cmbChatActionColor);
    form->addRow(QStringLiteral("Own:"), cmbChatOwnColor);
    form->addRow(QStringLiteral("Friend:"), cmbChatFriendColor);
    return page;
}

QWidget *TfrmConfig::CreatePXOPage()
{
    edtPXOGameServer = NewEdit("edtPXOGameServer", QLatin1String(PxoDefaults::GameTracker));
    edtPXOChatServer = NewEdit("edtPXOChatServer", QLatin1String(PxoDefaults::ChatServer));
    edtPXOUserServer = NewEdit("edtPXOUserServer", QLatin1String(PxoDefaults::UserTracker));
    speChatPingTime = Named(new TSpinEdit(6000, 1000000, 6000), "speChatPingTime");
    speChatServerlistTime = Named(new TSpinEdit(7000, 1000000, 10000), "speChatServerlistTime");
    speChatChannellistTime = Named(new TSpinEdit(8000, 1000000, 11000), "speChatChannellistTime");
    cbxChatPingTime = NewCheck("cbxChatPingTime", QString(), true);
    cbxChatServerlistTime = NewCheck("cbxChatServerlistTime", QString(), true);
    cbxChatChannellistTime = NewCheck("cbxChatChannellistTime", QString(), true);
    cbxPXOAutoJoin = NewCheck("cbxPXOAutoJoin", QStringLiteral("Auto join channel after login"), true);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *hosts = new QFormLayout;
    hosts->addRow(QStringLiteral("Game server:"), edtPXOGameServer);
    hosts->addRow(QStringLiteral("Chat server:"), edtPXOChatServer);
    hosts->addRow(QStringLiteral("User server:"), edtPXOUserServer);
    layout->addLayout(hosts);

    auto *intervals = new QGroupBox(QStringLiteral("Request interval (ms)"));
    auto *grid = new QGridLayout(intervals);
    grid->addWidget(new QLabel(QStringLiteral("Enable")), 0, 2, Qt::AlignHCenter);
    const auto row = [grid](int r, const QString &caption, TSpinEdit *spin, QCheckBox *box) {
        grid->addWidget(Caption(caption, spin), r, 0);
        grid->addWidget(Narrow(spin), r, 1);
        grid->addWidget(box, r, 2, Qt::AlignHCenter);
    };
    row(1, QStringLiteral("Ping:"), speChatPingTime, cbxChatPingTime);
    row(2, QStringLiteral("Server list:"), speChatServerlistTime, cbxChatServerlistTime);
    row(3, QStringLiteral("Channel list:"), speChatChannellistTime, cbxChatChannellistTime);
    grid->setColumnStretch(3, 1);
    layout->addWidget(intervals);
    layout->addWidget(cbxPXOAutoJoin);
    layout->addStretch();
    return page;
}

QWidget *TfrmConfig::CreateTalkPage()
{
    edtTalkAlias = NewEdit("edtTalkAlias", QStringLiteral("unknown"));
    cbxTalkAlias = NewCheck("cbxTalkAlias", QStringLiteral("Always use this alias in talk"), false);
    memTalkServerPorts = NewMemo("memTalkServerPorts", {QStringLiteral("28046"), QStringLiteral("28047"),
                                                        QStringLiteral("28048"), QStringLiteral("28049")});
    cbxTalkGlobalRequests = NewCheck("cbxTalkGlobalRequests", QStringLiteral("Receive global talk requests"), true);
    cbxTalkFriendRequests =
        NewCheck("cbxTalkFriendRequests", QStringLiteral("Receive talk requests from friends"), true);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *alias = new QFormLayout;
    alias->addRow(QStringLiteral("Talk alias"), edtTalkAlias);
    layout->addLayout(alias);
    layout->addWidget(cbxTalkAlias);
    layout->addWidget(Caption(QStringLiteral("Server ports"), memTalkServerPorts));
    layout->addWidget(Short(memTalkServerPorts));
    layout->addWidget(cbxTalkGlobalRequests);
    layout->addWidget(cbxTalkFriendRequests);
    layout->addStretch();
    return page;
}

QWidget *TfrmConfig::CreateSecurityPage()
{
    btnNewRandomSeed = Named(new QPushButton(QStringLiteral("New &Random seed")), "btnNewRandomSeed");
    speRC4KeyLength = Named(new TSpinEdit(0, 0, 2048), "speRC4KeyLength");
    speRSAKeyLength = Named(new TSpinEdit(0, 0, 1024), "speRSAKeyLength");
    speRC4KeyLength->setEnabled(false);
    speRSAKeyLength->setEnabled(false);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("RSA is not yet implemented")));
    auto *seed = new QHBoxLayout;
    seed->addWidget(btnNewRandomSeed);
    seed->addStretch();
    layout->addLayout(seed);
    auto *lengths = new QGroupBox(QStringLiteral("Key lengths (bits)"));
    auto *form = new QFormLayout(lengths);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("RC4"), Narrow(speRC4KeyLength));
    form->addRow(QStringLiteral("RSA"), Narrow(speRSAKeyLength));
    auto *lengthsRow = new QHBoxLayout;
    lengthsRow->addWidget(lengths);
    lengthsRow->addStretch();
    layout->addLayout(lengthsRow);
    layout->addStretch();
    return page;
}

QWidget *TfrmConfig::CreateDescentPage()
{
    edtDescentPath = NewEdit("edtDescentPath", QStringLiteral("c:\\games\\descent3"));
    edtDescentExe = NewEdit("edtDescentExe", QStringLiteral("main.exe"));
    memDescentParams = NewMemo("memDescentParams", {QStringLiteral("-launched"), QStringLiteral("+name $chatname"),
                                                    QStringLiteral("-pxo $ip"), QStringLiteral("-hostport $port"),
                                                    QStringLiteral("-nointro")});
    memDescentDirectIPParams =
        NewMemo("memDescentDirectIPParams",
                {QStringLiteral("-launched"), QStringLiteral("+name $chatname"), QStringLiteral("-directip $ip"),
                 QStringLiteral("-hostport $port"), QStringLiteral("-nointro")});
    cbxDescentAutoLogin =
        NewCheck("cbxDescentAutoLogin", QStringLiteral("Auto login to chat when program is launched"), false);
    cbxDescentDLMissionsDir =
        NewCheck("cbxDescentDLMissionsDir", QStringLiteral("Download levels to missions directory"), true);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Exe path:"), edtDescentPath);
    form->addRow(QStringLiteral("Exe name:"), edtDescentExe);
    layout->addLayout(form);
    auto *params = new QGridLayout;
    params->addWidget(Caption(QStringLiteral("PXO parameters:"), memDescentParams), 0, 0);
    params->addWidget(Caption(QStringLiteral("Direct IP parameters:"), memDescentDirectIPParams), 0, 1);
    params->addWidget(memDescentParams, 1, 0);
    params->addWidget(memDescentDirectIPParams, 1, 1);
    layout->addLayout(params);
    layout->addWidget(cbxDescentAutoLogin);
    layout->addWidget(cbxDescentDLMissionsDir);
    return page;
}

QWidget *TfrmConfig::CreateServersPage()
{
    cmbServersDblClick = Named(
        new TChoiceBox({QStringLiteral("Join game"), QStringLiteral("Ping server"), QStringLiteral("Server info")}, -1,
                       QStringLiteral("Join game")),
        "cmbServersDblClick");
    memServersPrefered = NewMemo("memServersPrefered");
    speServerFilterPing = Named(new TSpinEdit(0, 0, 2000), "speServerFilterPing");
    cmbServersFilterGameTypes =
        NewFilterCombo("cmbServersFilterGameTypes",
                       {QStringLiteral("Anarchy"), QStringLiteral("Co-op"), QStringLiteral("CTF"),
                        QStringLiteral("Entropy"), QStringLiteral("Hoard"), QStringLiteral("Hyper-anarchy"),
                        QStringLiteral("Monsterball"), QStringLiteral("Team anarchy"), QStringLiteral("Team hoard")});
    lbxServersFilterGameType = NewSortedList("lbxServersFilterGameType");
    cmbServersFilterMode = NewFilterCombo("cmbServersFilterMode", {QStringLiteral("c/s"), QStringLiteral("c/s ml"),
                                                                   QStringLiteral("c/s pm"), QStringLiteral("p2p")});
    lbxServersFilterMode = NewSortedList("lbxServersFilterMode");
    cmbServersFilterLevel =
        NewFilterCombo("cmbServersFilterLevel",
                       {QStringLiteral("abandoned.mn3"), QStringLiteral("antipathy.mn3"), QStringLiteral("bedlam.mn3"),
                        QStringLiteral("dementia.mn3"), QStringLiteral("frenzy.mn3"), QStringLiteral("fury.mn3"),
                        QStringLiteral("indika3.mn3"), QStringLiteral("kata12.mn3"), QStringLiteral("koors1.mn3"),
                        QStringLiteral("slw.mn3"), QStringLiteral("stadium.mn3"), QStringLiteral("stonecutter.mn3")});
    lbxServersFilterLevel = NewSortedList("lbxServersFilterLevel");
    cbxServersFilterMaxPlayers =
        NewCheck("cbxServersFilterMaxPlayers", QStringLiteral("Hide servers with maximum players"), false);
    cmbServersVersion = Named(new TChoiceBox({QStringLiteral("1.4"), QStringLiteral("1.3")}, -1, QStringLiteral("1.3")),
                              "cmbServersVersion");
    cbxServersAutoJoin = NewCheck("cbxServersAutoJoin", QStringLiteral("Show dialog before auto-join server"), true);
    speServersPing1 = Named(new TSpinEdit(0, 0, 70), "speServersPing1");
    speServersPing2 = Named(new TSpinEdit(0, 0, 150), "speServersPing2");
    speServersPing3 = Named(new TSpinEdit(0, 0, 200), "speServersPing3");
    speServersPing4 = Named(new TSpinEdit(0, 0, 300), "speServersPing4");
    cbxServerJoinLevelExist = NewCheck("cbxServerJoinLevelExist", QStringLiteral("Only join if level exists"), true);
    cbxServersContinousSort = NewCheck("cbxServersContinousSort", QStringLiteral("Continous sort"), false);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);

    auto *left = new QVBoxLayout;
    auto *choices = new QFormLayout;
    choices->addRow(QStringLiteral("Double click action"), cmbServersDblClick);
    choices->addRow(QStringLiteral("Server version:"), cmbServersVersion);
    left->addLayout(choices);
    left->addWidget(cbxServersAutoJoin);
    left->addWidget(cbxServerJoinLevelExist);
    left->addWidget(cbxServersContinousSort);
    auto *pings = new QGroupBox(QStringLiteral("Ping color intervals"));
    auto *pingGrid = new QGridLayout(pings);
    TSpinEdit *const pingFields[] = {speServersPing1, speServersPing2, speServersPing3, speServersPing4};
    for (int i = 0; i < 4; ++i)
        pingGrid->addWidget(Narrow(pingFields[i]), i / 2, i % 2);
    left->addWidget(pings);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(Caption(QStringLiteral("Prefered servers:"), memServersPrefered));
    right->addWidget(memServersPrefered);
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right, 1);
    layout->addLayout(top);

    auto *filter = new QGroupBox(QStringLiteral("Filter servers (hide servers)"));
    auto *filterLayout = new QVBoxLayout(filter);
    auto *ping = new QHBoxLayout;
    ping->addWidget(Caption(QStringLiteral("Ping is greater than (ms):"), speServerFilterPing));
    ping->addWidget(Narrow(speServerFilterPing));
    ping->addStretch();
    ping->addWidget(cbxServersFilterMaxPlayers);
    filterLayout->addLayout(ping);
    auto *lists = new QHBoxLayout;
    const auto group = [lists](const QString &caption, QComboBox *combo, QListWidget *list) {
        auto *box = new QGroupBox(caption);
        auto *v = new QVBoxLayout(box);
        v->addWidget(combo);
        v->addWidget(list);
        lists->addWidget(box, 1);
    };
    group(QStringLiteral("Game type"), cmbServersFilterGameTypes, lbxServersFilterGameType);
    group(QStringLiteral("Mode"), cmbServersFilterMode, lbxServersFilterMode);
    group(QStringLiteral("Level"), cmbServersFilterLevel, lbxServersFilterLevel);
    filterLayout->addLayout(lists);
    layout->addWidget(filter, 1);
    return page;
}

QWidget *TfrmConfig::CreateFileTransfersPage()
{
    edtFileDownload = NewEdit("edtFileDownload", QStringLiteral("c:\\temp"));
    memFileServerPorts = NewMemo("memFileServerPorts", {QStringLiteral("28050"), QStringLiteral("28051"),
                                                        QStringLiteral("28052"), QStringLiteral("28053")});
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Default download directory:"), edtFileDownload);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("File transfers are not yet implemented")));
    layout->addWidget(Caption(QStringLiteral("Server ports"), memFileServerPorts));
    layout->addWidget(Short(memFileServerPorts));
    layout->addStretch();
    return page;
}

QWidget *TfrmConfig::CreateIrcPage()
{
    edtIRCServer = NewEdit("edtIRCServer");
    edtIRCNick = NewEdit("edtIRCNick");
    edtIRCFullName = NewEdit("edtIRCFullName");
    edtIRCEMail = NewEdit("edtIRCEMail");
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), edtIRCServer);
    form->addRow(QStringLiteral("Nick:"), edtIRCNick);
    form->addRow(QStringLiteral("Full name:"), edtIRCFullName);
    form->addRow(QStringLiteral("E-Mail:"), edtIRCEMail);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget *TfrmConfig::CreateLoginPage()
{
    sgrLogin = Named(new QTableWidget(2, 5), "sgrLogin");
    SetupLoginGrid();
    sgrLogin->setColumnWidth(0, 12);
    for (int c = 1; c < 5; ++c)
        sgrLogin->setColumnWidth(c, 130);
    btnLoginAdd = Named(new QPushButton(QStringLiteral("&Add")), "btnLoginAdd");
    btnLoginRemove = Named(new QPushButton(QStringLiteral("&Remove")), "btnLoginRemove");

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(sgrLogin);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnLoginAdd);
    buttons->addWidget(btnLoginRemove);
    buttons->addStretch();
    layout->addLayout(buttons);
    return page;
}

void TfrmConfig::SetFormDefaults()
{
    // The colour choices, the sort column and the login grid's header.
    cmbChatAliasColor->setCurrentIndex(11);
    cmbChatTextColor->setCurrentIndex(3);
    cmbChatActionColor->setCurrentIndex(14);
    cmbChatOwnColor->setCurrentIndex(16);
    cmbChatFriendColor->setCurrentIndex(7);
    ServerSortColumn = 0;
    const QStringList header{QStringLiteral("Login name"), QStringLiteral("Password"), QStringLiteral("Alias"),
                             QStringLiteral("Comment")};
    for (int c = 1; c <= 4; ++c)
        SetCellText(sgrLogin, 0, c, header[c - 1]);
    for (int c = 0; c < 5; ++c) {
        if (QTableWidgetItem *cell = sgrLogin->item(0, c)) {
            cell->setFlags(Qt::ItemIsEnabled);
            QFont bold = cell->font();
            bold.setBold(true);
            cell->setFont(bold);
        }
    }
    RefreshLoginHeaders();
    RandomGenerator = std::make_unique<TRC4>();
    RandomSeeded = false;
}

namespace {
// True when a line of Memo, trimmed and upper-cased, equals Name trimmed and upper-cased.
bool MemoHasName(const QPlainTextEdit *memo, const QString &name)
{
    const QString wanted = name.trimmed().toUpper();
    const QStringList lines = MemoLines(memo);
    return std::any_of(lines.cbegin(), lines.cend(),
                       [&wanted](const QString &line) { return line.trimmed().toUpper() == wanted; });
}
} // namespace

bool TfrmConfig::IsFriend(const QString &name) const
{
    return MemoHasName(memChatFriends, name);
}

bool TfrmConfig::IsPreferedServer(const QString &name) const
{
    return MemoHasName(memServersPrefered, name);
}
