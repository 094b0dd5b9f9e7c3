// The lobby's ways into information: levels and their download, the player windows, and
// private channels.
#include "chat/Chat.h"
#include "pxo/UfrmJoinPrivateChannel.h"
#include "pxo/UfrmPXO.h"
#include "pxo/UfrmPXOPlayerInfo.h"
#include "servers/ServerList.h"
#include "settings/UfrmConfig.h"

#include <QAction>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <utility>

void TfrmPXO::CheckLevel(TServer *server)
{
    const TfrmConfig *config = frmConfig();
    if (!server || !config)
        return;
    // The level must be a file inside the missions folder, never a path of its own.
    const QString level = server->Level;
    if (level.isEmpty() || level.contains(QLatin1Char('/')) || level.contains(QLatin1Char('\\')) ||
        level == QLatin1String("..")) {
        server->LevelPresent = false;
        return;
    }
    QString folder = config->edtDescentPath->text();
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    server->LevelPresent = QFileInfo::exists(folder + QStringLiteral("/missions/") + level);
}

void TfrmPXO::UserInfoChanged(TUser *user)
{
    TfrmPXOPlayerInfo::UpdatePlayerInfo(user, true);
}

void TfrmPXO::sgrUsersDblClick(TChat *chat)
{
    TfrmChat::sgrUsersDblClick(chat);
    if (!chat || !chat->SelectedUser())
        return;
    // "Who is?" on the double-clicked user: the player window opens, the stats follow.
    SetPopupChat(chat);
    mnuWhoIsClick();
}

void TfrmPXO::DownloadLevelClick()
{
    ServerList->RequestLevel(SelectedServer());
}

void TfrmPXO::LevelArrived()
{
    if (Closing)
        return;
    for (TServer *server : Servers())
        CheckLevel(server);
    RefreshServerList();
    // A link's join waited for this level.
    if (const TJoinAfterLevel wanted = std::exchange(m_joinAfterLevel, {}); !wanted.Ip.isEmpty()) {
        QTimer::singleShot(0, this, [this, wanted] {
            TServer *server = ServerList->FindServer(wanted.Ip, wanted.Port);
            if (!Closing && server && server->LevelPresent)
                JoinServer(server);
        });
    }
}

void TfrmPXO::CreatePrivateChannelControls()
{
    btnJoinPrivateChannel = new QPushButton(QStringLiteral("Join &Private channel"));
    btnJoinPrivateChannel->setObjectName(QStringLiteral("btnJoinPrivateChannel"));
    if (QLayout *panel = pnlChannels->layout())
        panel->addWidget(btnJoinPrivateChannel);
    JoinPrivatechannel1 = pumChannels->addAction(QStringLiteral("Join &Private channel"));
    JoinPrivatechannel1->setObjectName(QStringLiteral("JoinPrivatechannel1"));
    // Queued: the dialog never runs inside the click or the menu's own handling.
    connect(btnJoinPrivateChannel, &QPushButton::clicked, this, &TfrmPXO::JoinPrivateChannel, Qt::QueuedConnection);
    connect(JoinPrivatechannel1, &QAction::triggered, this, &TfrmPXO::JoinPrivateChannel, Qt::QueuedConnection);
}

void TfrmPXO::JoinPrivateChannel()
{
    if (Closing || InGame)
        return;
    QPointer<TfrmJoinPrivateChannel> dialog = new TfrmJoinPrivateChannel(this);
    const int result = dialog->exec();
    const QString name = dialog ? dialog->Channel() : QString();
    delete dialog.data();
    if (result != QDialog::Accepted || name.isEmpty() || Closing)
        return;
    JoinPrivateChannelNamed(name);
}

void TfrmPXO::JoinPrivateChannelNamed(const QString &channel)
{
    if (TChat *chat = FindChat(channel))
        ActivateChat(chat);
    else
        SendLine(QStringLiteral("JOIN ") + channel);
}
