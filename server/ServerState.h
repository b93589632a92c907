// What every part of the in-process server shares: the module's own handle,
// its count of live objects and server locks (defined in
// server/ServerState.cpp), and the class ids it serves (server/ClassIds.h).
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
#include "server/ClassIds.h"

extern HINSTANCE g_hModule;
extern LONG g_moduleRefCount;
