#include "settings/MainServices.h"

namespace {
TMainServices *g_services = nullptr;
}

TMainServices *MainServices()
{
    return g_services;
}

void SetMainServices(TMainServices *services)
{
    g_services = services;
}
