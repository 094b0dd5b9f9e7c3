#pragma once

#include <QStringList>

#include <functional>

// The port lists of the configuration: one port a line, decimal or "$" hexadecimal.
namespace PortPool {
// The line trimmed and read as a 32-bit integer (0 when it is no number), cut to 16 bits.
quint16 ParsePort(const QString &line);
// The first port of Lines, in list order, that is not 0 and not InUse; 0 when none.
quint16 FindFree(const QStringList &lines, const std::function<bool(quint16)> &inUse);
} // namespace PortPool
