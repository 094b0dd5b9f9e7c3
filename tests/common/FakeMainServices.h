#pragma once

// The main window's services for tests of single windows: nothing happens, and what the
// windows ask for is counted or recorded. Subclasses override what a test needs to see.
#include "settings/MainServices.h"

#include <QList>
#include <QStringList>

class TFakeMainServices : public TMainServices
{
public:
    quint16 FindFreeTalkPort() override { return 0; }
    quint16 FindFreeFileServerPort() override { return 0; }
    void SendClientProbe(const QString &) override {}
    void SendTalkRequest(const QString &, quint16, const QString &) override {}
    void NotifyServerRemoved(TServer *) override {}
    void NotifyUserRemoved(TUser *user) override { Removed << user; }
    void ApplyChannelTabsPos() override { ++TabsApplied; }
    void ApplyFriendsList() override { ++FriendsApplied; }
    QWidget *FindServerInfoWindow(TServer *) override { return nullptr; }
    void AddChildWindow(QWidget *) override {}
    void ShowNotification(const QString &title, const QString &message) override
    {
        Notes << title + QStringLiteral(" | ") + message;
    }

    QList<TUser *> Removed;
    int TabsApplied = 0;
    int FriendsApplied = 0;
    QStringList Notes;
};
