#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Links that open Orlo, from a web page, a chat line or the command line:
//   orlo://join/HOST:PORT    join the game server at HOST:PORT
//   orlo://talk/HOST         invite HOST to talk
//   orlo://files/HOST:PORT   list the files of the file server at HOST:PORT
// HOST is a dotted IPv4 address or a host name; PORT is 1 to 65535. A link is untrusted
// text: anything else in it (a user, a query, escapes, blanks, another action) refuses it.
struct TOrloLink
{
    enum class TKind { Join, Talk, Files };
    TKind Kind = TKind::Join;
    QString Host;
    quint16 Port = 0;
};

namespace OrloLink {
constexpr qsizetype MaxLength = 300;

// True when Text is meant as a link ("orlo:" in any case), valid or not.
bool IsLink(QStringView text);
// The link, or nothing with Error set to why.
std::optional<TOrloLink> Parse(QStringView text, QString *error = nullptr);
QString Format(const TOrloLink &link);
// A dotted IPv4 address, or a host name of letters, digits and inner hyphens.
bool ValidHost(QStringView host);
} // namespace OrloLink
