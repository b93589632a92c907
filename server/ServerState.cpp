// Definitions of the server state declared in ServerState.h. Both are
// constant-initialised, so they hold their values before the entry point or
// any other code of the module runs.
#include "server/ServerState.h"

ARCWISE_CONSTINIT HINSTANCE g_hModule = nullptr;
ARCWISE_CONSTINIT LONG g_moduleRefCount = 0;
