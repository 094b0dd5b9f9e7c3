#include "irc/ReconnectPolicy.h"

#include <algorithm>

int TReconnectPolicy::NextDelayMs()
{
    // Past 2 s << 8 the cap holds; stop shifting long before the value could overflow.
    const int shift = std::min(m_attempts, 16);
    ++m_attempts;
    return int(std::min<qint64>(qint64(FirstDelayMs) << shift, MaxDelayMs));
}
