#include "base/PortPool.h"

namespace PortPool {

quint16 ParsePort(const QString &line)
{
    const QString text = line.trimmed();
    bool ok = false;
    qint64 value = 0;
    if (text.startsWith(QLatin1Char('$'))) {
        const QStringView digits = QStringView(text).mid(1);
        // A hexadecimal constant is a 32-bit pattern: "$FFFFFFFF" is -1.
        if (!digits.isEmpty() && digits.size() <= 8)
            value = static_cast<qint32>(digits.toUInt(&ok, 16));
    } else {
        value = text.toInt(&ok, 10);
    }
    if (!ok)
        return 0;
    return static_cast<quint16>(value & 0xFFFF);
}

quint16 FindFree(const QStringList &lines, const std::function<bool(quint16)> &inUse)
{
    for (const QString &line : lines) {
        const quint16 port = ParsePort(line);
        if (port == 0 || inUse(port))
            continue;
        return port;
    }
    return 0;
}

} // namespace PortPool
