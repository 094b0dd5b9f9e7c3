#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>

// IRC line protocol as the chat server speaks it:
//   [":" prefix " "] command " " param1 " " param2 " " rest CR
// prefix = nick ["!" user] ["@" host]; a parameter that starts with ":" is the trailing one
// and ends the words. Lines end at CR; LF is no terminator and is dropped at either end of
// a line, so CR LF and a lone CR frame alike however the bytes are split.
namespace Irc {

// The bytes of one line that we may send: at most this many before CR LF.
constexpr qsizetype MaxSendText = 253;
// A received line longer than this is dropped rather than buffered for ever.
constexpr qsizetype MaxLineBytes = 64 * 1024;

// Splits a received byte stream into lines. Lines longer than MaxLineBytes are dropped
// whole (the bytes up to their CR are skipped) and counted in DroppedLines.
class TLineFramer
{
public:
    void Feed(QByteArrayView bytes);
    // The next complete line, without its CR and without leading or trailing LF.
    bool NextLine(QByteArray &line);
    // Lines dropped for length since the last call; resets the count.
    int TakeDroppedLines();
    qsizetype Buffered() const { return m_buffer.size() - m_pos; }
    void Clear();

private:
    void Compact();

    QByteArray m_buffer;
    qsizetype m_pos = 0;  // start of the unread part of m_buffer
    qsizetype m_scan = 0; // no CR in m_buffer before this offset
    bool m_skipping = false;
    int m_dropped = 0;
};

// Chat text arrives in no declared encoding: UTF-8 when it is valid, else Windows-1252.
QString DecodeText(QByteArrayView bytes);

// The bytes sent for a typed or built line: UTF-8, ended at the first CR, LF or NUL, cut
// to MaxSendText bytes without splitting a character, then CR LF. Empty text gives no bytes.
QByteArray EncodeLine(const QString &text);
// The text that EncodeLine actually sends (what the user should see as sent).
QString SentText(const QString &text);

// The word rule: an empty Rest or one starting with ":" gives an empty word and stays;
// otherwise the text up to the first blank (trimmed) is taken off together with that blank.
QString NextWord(QString &rest);
// Rest without its one leading ":".
QString Trailing(const QString &rest);

// A parsed server line that started with ":".
struct TMessage
{
    QString Prefix;
    bool UserPrefix = false; // the prefix has a "!" (nick!user@host)
    QString Nick;            // up to "!", "@" removed, trimmed; the whole prefix otherwise
    QString Host;            // after "@", trimmed; empty without "!"
    QString Command;
    quint16 Numeric = 0; // Command as a decimal number, 0 when it is none
    QString Param1;
    QString Param2;
    QString Rest; // keeps the trailing parameter's ":"
};
TMessage ParseMessage(const QString &line);
// Reads the numeric-reply number of a command word (0 when it is not a number).
quint16 NumericOf(const QString &command);

enum class LineKind { Message, Ping, Notice, Other };
LineKind Classify(const QString &line);
// The answer to a PING line: its second character turned into 'O'.
QString PongFor(const QString &pingLine);

// A nick as a mode argument or names entry carries it: cut at "!", "@" removed, trimmed.
QString NickOfMask(const QString &mask);
QString StripAt(const QString &name);

// One operator change of a channel MODE line.
struct TOpChange
{
    bool Adding = true;
    QString Nick;
};
// Walks Letters ("+o-o", "+ob-o") taking arguments from Args in order; returns the
// operator changes. Letters that carry an argument on channels consume one so the
// following "o" reads the right nick.
QList<TOpChange> ParseOpChanges(const QString &letters, QString args);

// Text of a received PRIVMSG: "\1ACTION text\1" is an action.
bool IsAction(const QString &text);
QString ActionText(const QString &text);

// The 311 reply's fields after the user's nick: "user host * :tracker-id rest of name".
struct TWhois
{
    QString Host;
    QString TrackerId;
    QString WhoisName;
    QString RealName; // the name text after the tracker id, possibly empty
};
TWhois ParseWhois(QString rest);

// The channel name that an operator list (353) reply's list belongs to, taking "=", "*" and
// "@" as the channel type that precedes it.
bool IsChannelType(const QString &word);

// An address the text view may hand to the system: http, https, ftp or mailto ("www."
// taken as http). Empty when the text is anything else.
QString OpenableUrl(const QString &selected);

} // namespace Irc
