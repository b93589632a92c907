// What every part of the in-process server shares: the module's own handle,
// its count of live objects and server locks, and the class ids it serves
// (the filter and the ".zip" persistent handler). Defined in
// server/ServerState.cpp.
//
// A folder of its own below filter/ and registration/: the filter object
// counts itself and reports its class, the registration code writes both
// class ids and the module's path, and neither may reach up into module/,
// which only sets the handle and answers DllCanUnloadNow from the count.
// Anything that links the filter without the module (the filter tests) gets
// the same count and ids from here.
//
// Threads: g_hModule is written by the entry point only, before any other
// code of the module runs; g_moduleRefCount changes only through
// interlocked operations; the class ids are constants.
#pragma once

#include "compat/Win32Compat.h"

extern HINSTANCE g_hModule;
extern LONG g_moduleRefCount;

// {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}
extern const CLSID CLSID_ArcwiseFilter;
// {08B1766D-8812-4FC9-B90A-BF012C51E66C}
extern const CLSID CLSID_ArcwisePersistentHandler;
