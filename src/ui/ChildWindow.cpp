#include "ui/ChildWindow.h"

#include <QWidget>

namespace ChildWindow {
namespace {
Host &CurrentHost()
{
    static Host host;
    return host;
}
} // namespace

void Show(QWidget *window)
{
    if (!window)
        return;
    if (const Host &host = CurrentHost())
        host(window);
    else
        window->show();
}

void SetHost(Host host)
{
    CurrentHost() = std::move(host);
}
} // namespace ChildWindow
