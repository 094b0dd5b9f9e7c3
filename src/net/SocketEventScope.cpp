#include "net/SocketEventScope.h"

thread_local int TSocketEventScope::s_depth = 0;
