#pragma once

// What the lobby tests share: settings on a temporary store, recorded message boxes, lobbies
// whose trackers and chat server are the test's own, and game-server replies made by the
// simulator's encoders, fed to the lobby as if they had arrived.
#include "TrackerSent.h"

#include "common/ScriptedServer.h"
#include "common/Windows.h"
#include "pxo/PxoTrackerClient.h"
#include "pxo/UfrmPXO.h"
#include "servers/DatagramEndpoint.h"
#include "servers/ServerList.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "sim/ServerDatagrams.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class TPXOTestKit
{
public:
    TPXOTestKit()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        SetActiveStore(std::make_unique<TJsonSettingsStore>(m_dir.filePath(QStringLiteral("settings.json"))));
        Config = std::make_unique<TfrmConfig>();
        SetConfig(Config.get());
        MessageBox::SetHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons buttons) {
            Boxes << text;
            if (OnBox)
                OnBox(text);
            if (buttons & QMessageBox::Yes)
                return AnswerYes ? QMessageBox::Yes : QMessageBox::No;
            return QMessageBox::Ok;
        });
    }
    ~TPXOTestKit()
    {
        delete Lobby.data();
        MessageBox::SetHook({});
        SetConfig(nullptr);
        SetActiveStore(nullptr);
    }
    void Reset()
    {
        delete Lobby.data();
        Boxes.clear();
        OnBox = nullptr;
        AnswerYes = true;
        Config->cbxPXOAutoJoin->setChecked(true);
    }
    // A Descent lobby on screen (offscreen) with its timers off, its trackers and chat server
    // the given ones (the simulator takes game-list acknowledgements on its tracker's port).
    TfrmPXO *NewLobby(const QString &userHost = QStringLiteral("127.0.0.1"), quint16 userPort = 9,
                      const QString &gameHost = QStringLiteral("127.0.0.1"), quint16 gamePort = 9, quint16 chatPort = 1)
    {
        delete Lobby.data();
        Lobby = new TfrmDescent;
        Lobby->setAttribute(Qt::WA_DontShowOnScreen);
        Lobby->show();
        Lobby->TimerServers->stop();
        Lobby->TimerPing->stop();
        Lobby->Tracker->UserTrackerHost = userHost;
        Lobby->Tracker->UserTrackerPort = userPort;
        Lobby->Tracker->GameTrackerHost = gameHost;
        Lobby->Tracker->GameTrackerPort = gamePort;
        Lobby->Tracker->GameListAckPort = gamePort;
        Lobby->ChatHost = QStringLiteral("127.0.0.1");
        Lobby->ChatPort = chatPort;
        return Lobby;
    }
    // A lobby registered on Chat with a known tracker id, or null when the registration
    // differs.
    TfrmPXO *ChattingLobby(TScriptedServer &chat, const QString &alias = QStringLiteral("pilot"))
    {
        TfrmPXO *form = NewLobby(QStringLiteral("127.0.0.1"), 9, QStringLiteral("127.0.0.1"), 9, chat.Port());
        form->Tracker->SetTrackerId(QStringLiteral("0123456789"));
        form->Login(QStringLiteral("pilot"), QStringLiteral("pw"), alias);
        return chat.WaitForClient() &&
                       chat.WaitForLineStarting(QStringLiteral("USER ")) == u"USER user user user :0123456789 pilot" &&
                       !chat.WaitForLineStarting(QStringLiteral("NICK ")).isEmpty()
                   ? form
                   : nullptr;
    }

    std::unique_ptr<TfrmConfig> Config;
    QPointer<TfrmPXO> Lobby;
    QStringList Boxes;
    std::function<void(const QString &)> OnBox;
    bool AnswerYes = true;

private:
    QTemporaryDir m_dir;
};

// A datagram from the lobby's user tracker, as if it had just arrived.
inline void FromUserTracker(TfrmPXO *form, const QByteArray &datagram)
{
    form->Datagrams->Feed(datagram, form->Tracker->UserTrackerHost, form->Tracker->UserTrackerPort);
}

// What a game server tells about itself.
struct TValues
{
    QByteArray name;
    quint16 players = 1;
    quint16 maxPlayers = 8;
    QByteArray level = "city.mn3";
    quint16 levelNumber = 1;
    bool dedicated = false;
    QByteArray description = "mission";
};

// The game-info reply of Server with Values, as if it had just arrived.
inline void Answer(TfrmPXO *form, TServer *server, const TValues &v)
{
    ServerDatagrams::TGameInfo info;
    std::tie(info.name, info.level, info.description, info.gameType, info.players, info.maxPlayers, info.levelNumber,
             info.dedicated, info.mode) =
        std::tuple(v.name, v.level, v.description, "Anarchy", v.players, v.maxPlayers, v.levelNumber, v.dedicated, 2);
    form->Datagrams->Feed(ServerDatagrams::EncodeGameInfoReply(info, server->RequestSeq), server->IP, server->Port);
}

// A server at 127.201.0.N:2092 that has answered with Values.
inline TServer *Listed(TfrmPXO *form, int n, const TValues &values)
{
    TServer *server = form->ServerList->AddServer(QStringLiteral("127.201.%1.%2").arg(n / 250).arg(n % 250 + 1), 2092);
    if (server)
        Answer(form, server, values);
    return server;
}
