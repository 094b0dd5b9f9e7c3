#include "chat/Beep.h"

#include <QApplication>

namespace {
std::function<void()> &CurrentHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void Sound::Beep()
{
    if (CurrentHook())
        CurrentHook()();
    else
        QApplication::beep();
}

void Sound::SetBeepHook(std::function<void()> hook)
{
    CurrentHook() = std::move(hook);
}
