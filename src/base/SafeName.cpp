#include "base/SafeName.h"

namespace SafeName {

namespace {
bool IsSeparator(QChar c)
{
    return c == u'/' || c == u'\\' || c == u':';
}

bool IsForbidden(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
        return true;
    // Reserved on Windows, and they would make a name the level check never finds.
    if (u == u'<' || u == u'>' || u == u'"' || u == u'|' || u == u'?' || u == u'*')
        return true;
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F;
}

// CON, NUL, COM1 ... with or without an extension open a device on Windows, not a file.
bool IsDeviceName(const QString &name)
{
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL")
        return true;
    return stem.size() == 4 && (stem.startsWith(u"COM") || stem.startsWith(u"LPT")) && stem.at(3) >= u'1' &&
           stem.at(3) <= u'9';
}
} // namespace

bool IsPlain(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    // Windows drops a trailing dot or blank, so the file would get another name than ours.
    if (name.endsWith(u'.') || name.endsWith(u' ') || IsDeviceName(name) || name.toUtf8().size() > MaxBytes)
        return false;
    for (const QChar c : name) {
        if (IsSeparator(c) || IsForbidden(c))
            return false;
    }
    return true;
}

QString PlainName(const QString &text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsSeparator(text.at(i)))
            start = i + 1;
    }
    const QString name = text.mid(start);
    return IsPlain(name) ? name : QString();
}

} // namespace SafeName
