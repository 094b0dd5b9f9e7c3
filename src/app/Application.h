#pragma once

#include <QString>

// Start-up and shutdown of the whole program: options, the windows in their order,
// the message loop, and the windows freed in the reverse order.
int RunOrlo(int argc, char *argv[]);

// The message shown when the settings store cannot be read or written.
QString StoreErrorText(const QString &error, const QString &location);
