#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

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
bool Away();
void SetAway(bool away);
QString AwayText();

QColor AliasColor();
QColor TextColor();
QColor ActionColor();
QColor OwnColor();
QColor FriendColor();

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
QString IrcServer();
QString IrcFullName();
} // namespace ChatSettings
