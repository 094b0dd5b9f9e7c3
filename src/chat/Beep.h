#pragma once

#include <functional>

// The system's default beep, replaceable so tests can count beeps.
namespace Sound {
void Beep();
// An empty hook restores the real beep.
void SetBeepHook(std::function<void()> hook);
} // namespace Sound
