#pragma once

#include <QFileDevice>
#include <QString>

// File names that come from the network (a level address, a peer's file, a chat partner's
// nick) choose where we write. They are reduced to one plain name inside the folder meant
// for them, or refused.
namespace SafeName {
// Longest accepted name in UTF-8 bytes: what common file systems allow for one name.
constexpr qsizetype MaxBytes = 255;

// The part after the last "/", "\" or ":" (a drive letter or a Windows stream), or an empty
// text when that part is empty, "." or "..", too long, or holds a control character, a
// character Windows forbids in names, or a direction override that disguises the extension;
// also names Windows would change or take for a device (a trailing dot or blank, "NUL.mn3").
QString PlainName(const QString &text);

// True when Name is already a plain name as PlainName would return it.
bool IsPlain(const QString &name);
} // namespace SafeName

namespace FileModes {
// What we write from the network is data: rw-r--r--, never executable.
constexpr QFileDevice::Permissions Data =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
} // namespace FileModes
