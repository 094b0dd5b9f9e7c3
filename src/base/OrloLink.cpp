#include "base/OrloLink.h"

#include <QList>

#include <algorithm>

namespace OrloLink {
namespace {
constexpr QLatin1StringView Scheme("orlo://");

bool AsciiAlnum(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool ValidIPv4(QStringView host)
{
    const QList<QStringView> parts = host.split(u'.');
    if (parts.size() != 4)
        return false;
    for (QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0'))
            return false;
        for (QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

bool AllDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

std::optional<TOrloLink> Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return std::nullopt;
}
} // namespace

bool IsLink(QStringView text)
{
    return text.trimmed().startsWith(QLatin1StringView("orlo:"), Qt::CaseInsensitive);
}

bool ValidHost(QStringView host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QList<QStringView> labels = host.split(u'.');
    // All digits and dots is an address, and then it must be one.
    if (std::all_of(labels.begin(), labels.end(), AllDigits))
        return ValidIPv4(host);
    for (QStringView label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return false;
        for (QChar c : label) {
            if (!AsciiAlnum(c) && c != u'-')
                return false;
        }
    }
    return true;
}

std::optional<TOrloLink> Parse(QStringView text, QString *error)
{
    text = text.trimmed();
    if (text.size() > MaxLength)
        return Fail(error, QStringLiteral("the link is longer than %1 characters").arg(MaxLength));
    if (!text.startsWith(Scheme, Qt::CaseInsensitive))
        return Fail(error, QStringLiteral("the link does not start with orlo://"));
    QStringView rest = text.mid(Scheme.size());
    if (rest.endsWith(u'/'))
        rest.chop(1);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash <= 0)
        return Fail(error, QStringLiteral("the link names no action"));
    const QStringView action = rest.first(slash);
    const QStringView target = rest.mid(slash + 1);
    TOrloLink link;
    if (action.compare(QLatin1StringView("join"), Qt::CaseInsensitive) == 0)
        link.Kind = TOrloLink::TKind::Join;
    else if (action.compare(QLatin1StringView("talk"), Qt::CaseInsensitive) == 0)
        link.Kind = TOrloLink::TKind::Talk;
    else if (action.compare(QLatin1StringView("files"), Qt::CaseInsensitive) == 0)
        link.Kind = TOrloLink::TKind::Files;
    else
        return Fail(error, QStringLiteral("the link's action is not join, talk or files"));
    const bool wantsPort = link.Kind != TOrloLink::TKind::Talk;
    const qsizetype colon = target.lastIndexOf(u':');
    const QStringView host = wantsPort && colon >= 0 ? target.first(colon) : target;
    if (!ValidHost(host))
        return Fail(error, QStringLiteral("the link's host is not an address or a host name"));
    link.Host = host.toString().toLower();
    if (wantsPort) {
        const QStringView port = colon >= 0 ? target.mid(colon + 1) : QStringView();
        const uint value = AllDigits(port) && port.size() <= 5 ? port.toUInt() : 0;
        if (value == 0 || value > 65535)
            return Fail(error, QStringLiteral("the link's port is not a number from 1 to 65535"));
        link.Port = quint16(value);
    }
    return link;
}

QString Format(const TOrloLink &link)
{
    switch (link.Kind) {
    case TOrloLink::TKind::Talk:
        return Scheme + QStringLiteral("talk/") + link.Host;
    case TOrloLink::TKind::Files:
        return Scheme + QStringLiteral("files/%1:%2").arg(link.Host).arg(link.Port);
    case TOrloLink::TKind::Join:
        break;
    }
    return Scheme + QStringLiteral("join/%1:%2").arg(link.Host).arg(link.Port);
}
} // namespace OrloLink
