#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>

// One conversation's log on disk: one plain UTF-8 text file per day in the logs folder, each
// line with its time stamp. The conversation name comes from the network, so the file name is
// reduced to a plain name that stays inside the folder.
class TConversationLog
{
public:
    // Longest part of a name taken from the conversation (characters).
    static constexpr int MaxNameChars = 60;

    TConversationLog(const QString &folder, const QString &conversation);

    // The file name (no folder) for Conversation on Day; always a plain name.
    static QString FileName(const QString &conversation, QDate day);
    // "[2026-12-06 17:49:50] " then the line.
    static QString Entry(const QDateTime &when, const QString &line);

    // Appends one line, stamped now or When; false when it could not be written (Error() says
    // why). A failure is reported once: later lines of the same day are dropped quietly.
    bool Append(const QString &line);
    bool Append(const QString &line, const QDateTime &when);
    QString Error() const { return m_error; }
    // True once after a write failed, for the one report.
    bool TakeFailure();
    QString CurrentPath() const { return m_file.fileName(); }

private:
    bool Open(QDate day);
    bool Write(QDate day, const QString &stamp, const QString &line);
    static QString Stamp(const QDateTime &when);
    static QString OneLine(const QString &line);

    QString m_folder;
    QString m_conversation;
    QFile m_file;
    QDate m_day;
    bool m_failed = false;   // this day's file cannot be written
    bool m_reported = false; // and that was told
    QString m_error;
    // The local time is read once a second: a flood would spend its time in the time zone.
    qint64 m_stampSecond = -1;
    QDate m_stampDay;
    QString m_stamp;
};
