#pragma once

#include <QtGlobal>

#include <chrono>

// The system tick count: milliseconds of a monotonic clock, truncated to 32 bits.
// Differences are taken modulo 2^32, so a wrap between two readings does no harm.
inline quint32 TickCount()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Elapsed milliseconds since Start, modulo 2^32: correct across a wrap of the tick count.
inline quint32 TicksSince(quint32 start)
{
    return TickCount() - start;
}
