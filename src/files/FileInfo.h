#pragma once

#include <QString>
#include <QtGlobal>

// One shared file (server) or one listed file (client).
struct TFileInfo
{
    QString Path;     // directory part of the full name, separator included (server only)
    QString Name;     // the plain file name: all that the list reveals
    qint32 Size = 0;  // bytes when the file was added (server) or as listed (client)
    qint32 Index = 0; // position in the server's list (client only)

    QString FullName() const { return Path + Name; }
};
