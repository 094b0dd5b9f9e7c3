#pragma once

#include "talk/TalkProtocol.h"

#include <QSet>
#include <QString>

class QWidget;
class TfrmDirectChat;

// Opening talk windows from the menus, from a chat user and from an answered invitation.

// Opens a talk window on Port, shown in the frame. When that port cannot be listened on,
// the next free port of the configured pool is tried and the user told which one is used.
// Null when no window could be opened (the user has been told why).
TfrmDirectChat *OpenTalkWindow(const QString &alias, quint16 port, QWidget *parent = nullptr);

// The first port of the configured talk ports that no talk window listens on and that is not
// in Tried; 0 when there is none.
quint16 FreeTalkPort(const QSet<quint16> &tried = {});

// "Talk" on a chat user: a talk window on a free port (the caller then sends the invitation
// with its port). Null when nothing was opened (the user has been told why).
TfrmDirectChat *OpenTalkWithUser(const QString &alias);

// The window that asks whether to answer an invitation (for the frame's peer socket).
QWidget *OpenTalkRequestWindow(const QString &host, quint16 port, const QString &alias);

// A random seed exists, or the user was asked for one now and told when there still is none.
bool EnsureRandomSeed(QWidget *parent);
// Random bytes of the settings holder's generator.
TRandomByteSource TalkRandomSource();
