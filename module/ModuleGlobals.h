// Module-wide state of libarcwise.so: its own handle, the count of live
// objects and server locks, and the filter's class identifier. Defined in
// module/ModuleGlobals.cpp. g_hModule is written by the entry point only;
// g_moduleRefCount changes only through interlocked operations.
#pragma once

#include "compat/Win32Compat.h"

extern HINSTANCE g_hModule;
extern LONG g_moduleRefCount;
extern CLSID CLSID_ArcwiseFilter;

// {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}
inline constexpr CLSID kClsidArcwiseFilter = {
    0x356CE73D, 0x53A5, 0x4029, {0xB5, 0xD3, 0x9E, 0x49, 0x50, 0xB8, 0xBE, 0xDD}};
// {08B1766D-8812-4FC9-B90A-BF012C51E66C}
inline constexpr CLSID CLSID_ArcwisePersistentHandler = {
    0x08B1766D, 0x8812, 0x4FC9, {0xB9, 0x0A, 0xBF, 0x01, 0x2C, 0x51, 0xE6, 0x6C}};
