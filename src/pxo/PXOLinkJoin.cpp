// Joining a game from a link: asked first, the host looked up, then the lobby's own join.
#include "base/OrloLink.h"
#include "net/HostResolver.h"
#include "pxo/UfrmPXO.h"
#include "settings/ConfigControls.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

void TfrmPXO::JoinLink(const QString &host, quint16 port)
{
    if (Closing || RefuseWhileInGame())
        return;
    // A link comes from anywhere: nothing starts before the user said yes to what it names.
    const QString link = OrloLink::Format({TOrloLink::TKind::Join, host, port});
    if (!MessageBox::Ask(this, QStringLiteral("Join the game at %1:%2?\n\n%3").arg(host).arg(port).arg(link)))
        return;
    THostResolver::Shared().Lookup(host, this, [this, host, port](const QHostAddress &found) {
        if (Closing)
            return;
        bool isV4 = false;
        const quint32 v4 = found.toIPv4Address(&isV4);
        if (!isV4) {
            MessageBox::Error(this, QStringLiteral("Unable to join game, %1 was not found!").arg(host));
            return;
        }
        const QString ip = QHostAddress(v4).toString();
        if (TServer *server = FindServer(ip, port)) {
            JoinServer(server);
            return;
        }
        StopAutoJoin();
        const TfrmConfig *config = frmConfig();
        LaunchGame(ip, port, config ? MemoLines(config->memDescentDirectIPParams) : QStringList());
    });
}
