#pragma once

// What the lobby tests share: settings on a temporary store, recorded message boxes, the
// simulator, and helpers that send datagrams to a lobby.
#include "chat/UDPQueue.h"
#include "pxo/UfrmPXO.h"
#include "settings/SettingsStore.h"
#include "settings/UfrmConfig.h"
#include "ui/MessageBox.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

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
        MessageBox::SetHook({});
        SetConfig(nullptr);
        SetActiveStore(nullptr);
    }
    void Reset()
    {
        Boxes.clear();
        OnBox = nullptr;
        AnswerYes = true;
        Config->cbxPXOAutoJoin->setChecked(true);
    }
    // A lobby whose trackers and chat server are the test's own.
    static void PointAt(TfrmPXO *form, const QString &userHost, quint16 userPort, const QString &gameHost,
                        quint16 gamePort, const QString &chatHost = QStringLiteral("127.0.0.1"), quint16 chatPort = 1)
    {
        form->UserTrackerHost = userHost;
        form->UserTrackerPort = userPort;
        form->GameTrackerHost = gameHost;
        form->GameTrackerPort = gamePort;
        form->GameListAckPort = gamePort; // the simulator takes them on the port it listens on
        form->ChatHost = chatHost;
        form->ChatPort = chatPort;
    }

    std::unique_ptr<TfrmConfig> Config;
    QStringList Boxes;
    std::function<void(const QString &)> OnBox;
    bool AnswerYes = true;

private:
    QTemporaryDir m_dir;
};

// A datagram from a socket of the test's own to the lobby's datagram port.
inline void SendTo(QUdpSocket &from, TfrmPXO *form, const QByteArray &bytes)
{
    from.writeDatagram(bytes, QHostAddress::LocalHost, form->UDPLocalPort());
}
