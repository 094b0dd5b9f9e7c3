#include "ui/WindowRegistry.h"

namespace Windows {

QList<QPointer<QWidget>> &Registered()
{
    static QList<QPointer<QWidget>> windows;
    return windows;
}

void Register(QWidget *window)
{
    QList<QPointer<QWidget>> &windows = Registered();
    windows.removeAll(nullptr);
    if (window && !windows.contains(window))
        windows.append(window);
}
void Unregister(QWidget *window)
{
    Registered().removeAll(window);
    Registered().removeAll(nullptr);
}
} // namespace Windows
