#pragma once

// Marks the time the program spends inside a socket event handler. Code that would open
// a modal window there (and with it a nested event loop in which the connection could
// vanish under its own handler) asks InSocketEvent() first and fails instead.
class TSocketEventScope
{
public:
    TSocketEventScope() { ++s_depth; }
    ~TSocketEventScope() { --s_depth; }
    TSocketEventScope(const TSocketEventScope &) = delete;
    TSocketEventScope &operator=(const TSocketEventScope &) = delete;

    static bool InSocketEvent() { return s_depth > 0; }

private:
    // Per thread: only the user-interface thread runs socket handlers and opens windows.
    static thread_local int s_depth;
};
