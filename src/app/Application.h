#pragma once

#include <QString>

#include <functional>

class TfrmMain;

// Start-up and shutdown of the whole program: options, the windows in their order,
// the message loop, and the windows freed in the reverse order. Started, when given, runs
// once the main window is shown, just before the message loop (a load harness uses it).
int RunOrlo(int argc, char *argv[], const std::function<void(TfrmMain &)> &started = {});

// The message shown when the settings store cannot be read or written.
QString StoreErrorText(const QString &error, const QString &location);
