#pragma once

#include <QtGlobal>

// The waits between attempts to get a dropped chat connection back: 2 s, doubling, at most
// 5 minutes; a connection that registered starts the count again.
class TReconnectPolicy
{
public:
    static constexpr int FirstDelayMs = 2000;
    static constexpr int MaxDelayMs = 5 * 60 * 1000;

    // The wait before the next attempt; each call counts one attempt.
    int NextDelayMs();
    void Reset() { m_attempts = 0; }
    int Attempts() const { return m_attempts; }

private:
    int m_attempts = 0;
};
