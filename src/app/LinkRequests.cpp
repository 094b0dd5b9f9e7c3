// What a link or a later start asks of the running Orlo.
#include "app/UfrmMain.h"

#include "base/Log.h"
#include "base/OrloLink.h"
#include "files/UfrmFileTransfer.h"
#include "pxo/UfrmPXO.h"
#include "settings/UfrmConfig.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

void TfrmMain::HandleRequest(const QString &request)
{
    // Never inside the socket's handler: a link may ask a question.
    QTimer::singleShot(0, this, [this, request] {
        if (m_closing)
            return;
        showNormal();
        raise();
        activateWindow();
        if (request != QLatin1String("show"))
            OpenLink(request);
    });
}

bool TfrmMain::OpenLink(const QString &text)
{
    QString error;
    const std::optional<TOrloLink> link = OrloLink::Parse(text, &error);
    if (!link) {
        Log::Dropped(lcNet(), QStringLiteral("link"), error);
        statusBar()->showMessage(QStringLiteral("Link ignored: ") + error, 15000);
        return false;
    }
    switch (link->Kind) {
    case TOrloLink::TKind::Talk: {
        const TfrmConfig *config = frmConfig();
        return TalkWithUser(link->Host, config ? config->edtTalkAlias->text() : QString());
    }
    case TOrloLink::TKind::Files: {
        auto *window = new TfrmFileTransfer(link->Port, link->Host);
        AddChildWindow(window);
        window->btnConnect->click();
        return true;
    }
    case TOrloLink::TKind::Join:
        break;
    }
    TfrmPXO *lobby = nullptr;
    for (TfrmPXO *open : ChildWindowsOf<TfrmPXO>()) {
        if (qobject_cast<TfrmDescent *>(open)) {
            lobby = open;
            break;
        }
    }
    if (!lobby)
        lobby = qobject_cast<TfrmPXO *>(OpenLobby(TLobbyKind::Descent, false));
    if (!lobby)
        return false;
    lobby->JoinLink(link->Host, link->Port);
    return true;
}
