#pragma once

#include "net/TickCount.h"

// Elapsed milliseconds since Start, modulo 2^32: correct across a wrap of the tick count.
inline quint32 TicksSince(quint32 start)
{
    return TickCount() - start;
}
