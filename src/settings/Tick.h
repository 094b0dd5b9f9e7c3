#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The system's millisecond tick count: a monotonic clock cut to 32 bits. It wraps after
// about 49.7 days, so elapsed times are differences taken modulo 2^32 (TicksSince), never
// comparisons of two ticks.
inline quint32 TickCount()
{
    QElapsedTimer timer;
    timer.start();
    return static_cast<quint32>(timer.msecsSinceReference());
}

inline quint32 TicksSince(quint32 start)
{
    return TickCount() - start;
}
