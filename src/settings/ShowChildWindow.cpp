#include "settings/MainServices.h"

#include <QWidget>

void ShowChildWindow(QWidget *window)
{
    if (!window)
        return;
    if (TMainServices *services = MainServices())
        services->AddChildWindow(window);
    else
        window->show();
}
