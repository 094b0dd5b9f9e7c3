#pragma once

#include <QHostAddress>
#include <QRandomGenerator>

// A loopback address of the test's own (127.x.y.z), so fixed ports such as 28045 or 20142
// can be bound by tests running side by side.
inline QHostAddress RandomLoopback()
{
    auto *rng = QRandomGenerator::global();
    return QHostAddress(
        QStringLiteral("127.%1.%2.%3").arg(rng->bounded(1, 255)).arg(rng->bounded(0, 256)).arg(rng->bounded(1, 255)));
}
