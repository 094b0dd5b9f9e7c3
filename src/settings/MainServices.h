#pragma once

#include <QString>
#include <QtGlobal>

class TServer;
class TUser;
class QWidget;

// What the main window offers the other windows. Windows reach it through MainServices(),
// which is null when no main window exists (unit tests of a single window).
class TMainServices
{
public:
    virtual ~TMainServices() = default;

    virtual quint16 FindFreeTalkPort() = 0;
    virtual quint16 FindFreeFileServerPort() = 0;
    virtual void SendClientProbe(const QString &host) = 0;
    virtual void SendTalkRequest(const QString &host, quint16 port, const QString &alias) = 0;
    virtual void NotifyServerRemoved(TServer *server) = 0;
    virtual void NotifyUserRemoved(TUser *user) = 0;
    virtual void ApplyChannelTabsPos() = 0;
    virtual void ApplyFriendsList() = 0;
    virtual QWidget *FindServerInfoWindow(TServer *server) = 0;
    // Shows a child window inside the frame.
    virtual void AddChildWindow(QWidget *window) = 0;
    // A desktop notification, shown only while Orlo is not the active window.
    virtual void ShowNotification(const QString &title, const QString &message)
    {
        Q_UNUSED(title);
        Q_UNUSED(message);
    }
};

TMainServices *MainServices();
void SetMainServices(TMainServices *services);
// Shows Window inside the main window's frame, or on its own when there is none.
void ShowChildWindow(QWidget *window);
