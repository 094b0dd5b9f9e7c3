#include "irc/ConversationLog.h"

#include "base/SafeName.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileDevice>

namespace {
// Characters a plain name may not hold become "_"; the rest stays readable.
QString Readable(const QString &conversation)
{
    QString head = conversation.left(TConversationLog::MaxNameChars);
    if (!head.isEmpty() && head.back().isHighSurrogate())
        head.chop(1);
    QString out;
    for (const QChar c : head) {
        const QString one(c);
        // Dots stay inside a name (the date always follows), but a leading one would hide the file.
        const bool dot = c == u'.' && !out.isEmpty();
        out += dot || (c != u'.' && SafeName::IsPlain(one)) ? c : QChar(u'_');
    }
    return out;
}
} // namespace

TConversationLog::TConversationLog(const QString &folder, const QString &conversation)
    : m_folder(folder), m_conversation(conversation)
{
}

QString TConversationLog::FileName(const QString &conversation, QDate day)
{
    const QString date = day.toString(QStringLiteral("yyyy-MM-dd"));
    QString base = Readable(conversation);
    // A changed name gets a tag of the original, so "#a/b" and "#a_b" keep separate logs.
    if (base != conversation) {
        const QByteArray hash = QCryptographicHash::hash(conversation.toUtf8(), QCryptographicHash::Sha1);
        base += QLatin1Char('~') + QString::fromLatin1(hash.toHex().left(8));
    }
    const QString file = base + QLatin1Char('_') + date + QStringLiteral(".log");
    // "nul.x_..." would name a device on Windows; a leading "_" keeps it a file.
    for (const QString &candidate : {file, QLatin1Char('_') + file}) {
        if (const QString name = SafeName::PlainName(candidate); !name.isEmpty())
            return name;
    }
    return QStringLiteral("conversation_") + date + QStringLiteral(".log");
}

QString TConversationLog::Stamp(const QDateTime &when)
{
    return QLatin1Char('[') + when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("] ");
}

QString TConversationLog::OneLine(const QString &line)
{
    QString text = line;
    // One entry is one line of the file.
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QString TConversationLog::Entry(const QDateTime &when, const QString &line)
{
    return Stamp(when) + OneLine(line);
}

bool TConversationLog::Open(QDate day)
{
    m_file.close();
    m_day = day;
    m_failed = false;
    m_reported = false;
    if (!QDir().mkpath(m_folder)) {
        m_error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        m_failed = true;
        return false;
    }
    m_file.setFileName(QDir(m_folder).filePath(FileName(m_conversation, day)));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
        m_failed = true;
        return false;
    }
    m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool TConversationLog::Append(const QString &line)
{
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_stampSecond) {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(second);
        m_stampSecond = second;
        m_stampDay = now.date();
        m_stamp = Stamp(now);
    }
    return Write(m_stampDay, m_stamp, line);
}

bool TConversationLog::Append(const QString &line, const QDateTime &when)
{
    return Write(when.date(), Stamp(when), line);
}

bool TConversationLog::Write(QDate day, const QString &stamp, const QString &line)
{
    if (day != m_day && !Open(day))
        return false;
    if (m_failed)
        return false;
    const QByteArray bytes = (stamp + OneLine(line) + QLatin1Char('\n')).toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
        m_failed = true;
        m_file.close();
        return false;
    }
    return true;
}

bool TConversationLog::TakeFailure()
{
    if (!m_failed || m_reported)
        return false;
    m_reported = true;
    return true;
}
