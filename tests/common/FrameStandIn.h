#pragma once

// What the main window does for the windows under test, counted and recorded instead: the
// settings holder's and the chat windows' signals to the frame.
#include <QList>
#include <QObject>
#include <QStringList>

class TUser;

class TFrameStandIn : public QObject
{
public:
    template <typename TConfig> void WatchConfig(TConfig *config)
    {
        connect(config, &TConfig::TabsPositionChanged, this, [this] { ++TabsApplied; });
        connect(config, &TConfig::FriendsChanged, this, [this] { ++FriendsApplied; });
    }
    template <typename TForm> void WatchChat(TForm *form)
    {
        connect(form, &TForm::NotificationWanted, this, [this](const QString &title, const QString &message) {
            Notes << title + QStringLiteral(" | ") + message;
        });
        connect(form, &TForm::UserRemoved, this, [this](TUser *user) { Removed << user; });
    }

    QList<TUser *> Removed;
    int TabsApplied = 0;
    int FriendsApplied = 0;
    QStringList Notes;
};
