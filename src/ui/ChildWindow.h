#pragma once

#include <functional>

class QWidget;

// Working windows are children of the main window's frame. The frame hands its way of adding a
// child here when it is made; windows never reach up to the frame themselves.
namespace ChildWindow {
using Host = std::function<void(QWidget *window)>;
// Shows Window as a child of the frame, or on its own when there is no frame (a window tested
// alone).
void Show(QWidget *window);
// The frame's way of adding a child; an empty host ends it.
void SetHost(Host host);
} // namespace ChildWindow
