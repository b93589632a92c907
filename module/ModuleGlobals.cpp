// Definitions of the module-wide state declared in ModuleGlobals.h. All three
// are constant-initialised, so they hold their values before the entry point
// or any other code of the module runs.
#include "module/ModuleGlobals.h"

ARCWISE_CONSTINIT HINSTANCE g_hModule = nullptr;
ARCWISE_CONSTINIT LONG g_moduleRefCount = 0;
ARCWISE_CONSTINIT CLSID CLSID_ArcwiseFilter = kClsidArcwiseFilter;
