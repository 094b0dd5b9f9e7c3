#pragma once

// The enciphered TCP stream: server and client components over a shared connection class.
#include "net/NxEncryptedClient.h"
#include "net/NxEncryptedServer.h"
