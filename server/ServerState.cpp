// Definitions of the server state declared in ServerState.h. All of it is
// constant-initialised, so it holds its values before the entry point or any
// other code of the module runs.
#include "server/ServerState.h"

ARCWISE_CONSTINIT HINSTANCE g_hModule = nullptr;
ARCWISE_CONSTINIT LONG g_moduleRefCount = 0;

ARCWISE_CONSTINIT const CLSID CLSID_ArcwiseFilter = {
    0x356CE73D, 0x53A5, 0x4029, {0xB5, 0xD3, 0x9E, 0x49, 0x50, 0xB8, 0xBE, 0xDD}};
ARCWISE_CONSTINIT const CLSID CLSID_ArcwisePersistentHandler = {
    0x08B1766D, 0x8812, 0x4FC9, {0xB9, 0x0A, 0xBF, 0x01, 0x2C, 0x51, 0xE6, 0x6C}};
