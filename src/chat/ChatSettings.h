#pragma once

#include "irc/Conversation.h"

#include <QColor>
#include <QString>
#include <QStringList>

class QSplitter;
class QWidget;

// The chat settings as the chat windows read them, at the moment they need them. Each
// falls back to its default when no settings holder exists (a window tested on its own).
namespace ChatSettings {
bool TimeStamp();
bool MessageSound();
bool MessageFriendSound();
bool JoinFriendSound();
// Desktop notifications (on unless switched off).
bool NotifyMessage();
bool NotifyFriendJoin();
bool IsFriend(const QString &name);
// Adds Nick to the friends list, or takes out its first line when Nick is a friend.
void ToggleFriend(const QString &nick);
bool Away();
// The away command's one place: the flag, then "0" or a decimal number chooses a configured
// away text, any other text becomes the away text.
void SetAway(bool away, const QString &text = QString());
QString AwayText();
// When the away flag last changed (tick count).
quint32 AwaySince();

QColor AliasColor();
QColor TextColor();
QColor ActionColor();
QColor OwnColor();
QColor FriendColor();
// The colour of a session's line: the text and action colours, or the fixed colour of its role.
QColor LineColor(TChatLine::TKind kind);

QString TabsPosition();
bool ChannelListRefresh();
// The channel-list interval in ms, never under the setting's minimum (8000).
int ChannelListInterval();
constexpr int MinChannelListInterval = 8000;

QStringList Aliases();
QStringList HighlightWords();
// Conversation logs on disk; off when no settings holder exists.
bool LogConversations();
// The send pace: lines at once (0: no pace) and the interval after them.
int SendBurst();
int SendIntervalMs();
// The lines a conversation view keeps at least (0: all); the log on disk keeps everything.
int LinesKept();
bool Reconnect();
// The alias a talk starts with: the configured talk alias when so set, else Nick.
QString TalkAlias(const QString &nick);
QString IrcServer();
QString IrcFullName();
// The chat window's size and its channel panel's width (the splitter's first pane), read or
// written under "\PXO Chat Window".
void LoadSaveWindow(bool save, QWidget *form, QSplitter *channels);
} // namespace ChatSettings
