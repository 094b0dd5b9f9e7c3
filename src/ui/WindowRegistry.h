#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

// The open windows of the kinds that other windows need to reach (the information windows
// that follow a server or a user, the talk and file server windows that hold ports). A window
// registers itself when it is made and is gone from the list once it is destroyed.
namespace Windows {
void Register(QWidget *window);
// Leaves the list early, for a window whose destructor must no longer be found.
void Unregister(QWidget *window);
QList<QPointer<QWidget>> &Registered();

// The open windows of kind T, oldest first.
template <typename T> QList<T *> All()
{
    QList<T *> windows;
    for (const QPointer<QWidget> &window : Registered()) {
        if (T *typed = qobject_cast<T *>(window.data()))
            windows << typed;
    }
    return windows;
}
} // namespace Windows
