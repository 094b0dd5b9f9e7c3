// Joining a game from a link: asked first, the host looked up, the server asked for its level,
// a missing level offered for download, then the lobby's own join.
#include "base/OrloLink.h"
#include "net/HostResolver.h"
#include "pxo/UfrmPXO.h"
#include "servers/ServerList.h"
#include "settings/ConfigControls.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QTimer>

namespace {
// How long a server that is not listed yet has to tell its level.
constexpr int InfoWaitMs = 5000;
} // namespace

void TfrmPXO::CopyLinkClick()
{
    if (const TServer *server = SelectedServer())
        QGuiApplication::clipboard()->setText(OrloLink::Format({TOrloLink::TKind::Join, server->IP, server->Port}));
}

void TfrmPXO::JoinLink(const QString &host, quint16 port)
{
    if (Closing || RefuseWhileInGame())
        return;
    // A link comes from anywhere: nothing starts before the user said yes to what it names.
    const QString link = OrloLink::Format({TOrloLink::TKind::Join, host, port});
    if (!MessageBox::Ask(this, QStringLiteral("Join the game at %1:%2?\n\n%3").arg(host).arg(port).arg(link)))
        return;
    THostResolver::Shared().Lookup(host, this, [this, host, port](const QHostAddress &found) {
        bool isV4 = false;
        const quint32 v4 = found.toIPv4Address(&isV4);
        if (Closing)
            return;
        if (!isV4) {
            MessageBox::ErrorLater(this, QStringLiteral("Unable to join game, %1 was not found!").arg(host));
            return;
        }
        const QString ip = QHostAddress(v4).toString();
        TServer *server = ServerList->FindServer(ip, port);
        if (server && !server->Name.isEmpty()) {
            JoinLinkedServer(ip, port);
            return;
        }
        if (!server)
            server = ServerList->AddServer(ip, port);
        if (!server) { // the list is full: no level to check
            const TfrmConfig *config = frmConfig();
            LaunchGame(ip, port, config ? MemoLines(config->memDescentDirectIPParams) : QStringList());
            return;
        }
        // The server tells its level in its game-info reply; the join goes on from there.
        auto *wait = new QObject(this);
        connect(ServerList, &TServerList::ServerChanged, wait, [this, wait, server, ip, port](TServer *changed) {
            if (changed != server)
                return;
            wait->deleteLater();
            QTimer::singleShot(0, this, [this, ip, port] { JoinLinkedServer(ip, port); });
        });
        connect(ServerList, &TServerList::ServerRemoved, wait, [wait, server](TServer *removed) {
            if (removed == server)
                wait->deleteLater();
        });
        QTimer::singleShot(InfoWaitMs, wait, [this, wait, ip, port] {
            wait->deleteLater();
            MessageBox::ErrorLater(this, QStringLiteral("Unable to join game, the server at %1:%2 does not answer!")
                                        .arg(ip)
                                        .arg(port));
        });
    });
}

void TfrmPXO::JoinLinkedServer(const QString &ip, quint16 port)
{
    // Looked up again: the server may have left the list since.
    TServer *server = ServerList->FindServer(ip, port);
    if (Closing || !server)
        return;
    CheckLevel(server);
    const TfrmConfig *config = frmConfig();
    const bool levelNeeded = config && config->cbxServerJoinLevelExist->isChecked();
    if (server->LevelPresent || !levelNeeded) {
        JoinServer(server);
        return;
    }
    if (!MessageBox::Ask(this, QStringLiteral("The level %1 is missing. Download it now? The game starts once it "
                                              "has arrived.")
                                   .arg(server->Level)))
        return;
    // The question ran its own loop: the server may have gone meanwhile.
    server = ServerList->FindServer(ip, port);
    if (Closing || !server)
        return;
    m_joinAfterLevel = {ip, port};
    ServerList->RequestLevel(server);
}
