#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class TUser;

// A line to show in a conversation, and the role that decides its look.
struct TChatLine
{
    enum class TKind {
        Message, // someone's text; NickPart is "nick: "
        Action,  // "/me": the text starts with the nick
        Raw,     // a server line that is no message: shown where the user is
        Join,    // green
        Event,   // blue: part, kick, a new nick
        Alert,   // red: quit, refusals, a lost connection
        Server,  // black: the message of the day
        Status,  // gray: reconnecting
    };
    TKind Kind = TKind::Raw;
    QString Nick; // who said it (messages and actions)
    QString NickPart;
    QString Text;
    bool Mention = false; // names us or a highlight word
};

// One open conversation of the session: a channel ("#" or "+" ahead of its name) or a
// private conversation named after the other user, and who is in it. Only the session
// changes it, and it says so in its signals.
class TConversation
{
public:
    explicit TConversation(const QString &name) : Name(name) {}

    QString Name;
    QList<TUser *> Users; // not owned, in the order they came
    QStringList Ops;      // sorted, no duplicates

    bool IsChannel() const;
    // Name without its leading "#" or "+".
    QString Caption() const;
    // Nick with or without a leading "@".
    TUser *FindUser(const QString &nick) const;
    bool IsOp(const QString &nick) const;

    // False when a user of that nick is present already.
    bool AddUser(TUser *user);
    // Takes the user and the op mark away; the user, or null when absent.
    TUser *RemoveUser(const QString &nick);
    void AddOp(const QString &nick);
    void RemoveOp(const QString &nick);
    // The user of OldNick is now called NewNick (the user's own Nick has changed already).
    void Rename(const QString &oldNick, const QString &newNick);
    void Clear();

private:
    QHash<QString, TUser *> m_index; // by nick
};
