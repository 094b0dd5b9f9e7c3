#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// What a typed slash command becomes, before any window acts on it.
namespace ChatCommands {

// Expands the first alias ("/name=/replacement", upper-cased) whose name, followed by a
// blank, starts Command (the typed text without its "/"). An alias typed with nothing after
// it is left alone.
QString ExpandAlias(const QString &command, const QStringList &aliasLines);

enum class TKind { Msg, Me, Ignore, Away, Back, Raw };
struct TCommand
{
    TKind Kind = TKind::Raw;
    QString Argument; // text after the command word (for Raw: the whole command)
};
// Recognises the client's own command words at the start of Command, ignoring case.
TCommand Parse(const QString &command);

// "h" + "h:MM:SS" of a span given in whole seconds: 3725 gives "1h:02:05".
QString AwayTimeText(quint32 seconds);
constexpr char AwayReplyStart[] = "(Been away ";

// Keeps two clients that are both away from answering each other for ever: no reply to a
// message that is itself an away reply, and one reply per sender per minute at most.
class TAwayReplyGuard
{
public:
    static constexpr quint32 IntervalMs = 60000;
    bool Allow(const QString &nick, const QString &text, quint32 nowMs);
    void Clear() { m_lastReply.clear(); }

private:
    QHash<QString, quint32> m_lastReply;
};

} // namespace ChatCommands
