#pragma once

// The visible top-level windows of one kind.
#include <QApplication>
#include <QList>
#include <QWidget>

template <typename TWindow> QList<TWindow *> VisibleWindows()
{
    QList<TWindow *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TWindow *>(widget); window && window->isVisible())
            windows << window;
    }
    return windows;
}
