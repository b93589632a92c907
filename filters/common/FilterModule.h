// Module-wide state shared by the code of one stock filter module: its
// handle, its count of live objects and server locks, and the description
// each module gives of itself (classes, names, extensions). Every stock filter
// module links its own copy of this library, so each .so counts only its own
// objects. Counters are interlocked; any thread may call these functions.
#pragma once

#include "compat/Win32Compat.h"

// What a filter module serves and registers.
struct FilterModuleInfo {
  const CLSID* filterClsid;
  LPCWSTR filterDescription;
  const CLSID* handlerClsid;
  LPCWSTR handlerDescription;
  const LPCWSTR* extensions;  // with the leading dot
  size_t extensionCount;
  // Creates a new filter object and asks it for riid.
  HRESULT (*createFilter)(REFIID riid, void** ppv);
};

// Recorded by the module's DllMain at process attach.
void FilterModuleSetHandle(HMODULE hModule);
HMODULE FilterModuleHandle();

// Every live object (filters, class factories) holds one count; LockServer
// holds one per lock.
void FilterModuleAddRef();
void FilterModuleRelease();
LONG FilterModuleCount();

// The bodies of the four exports.
HRESULT FilterModuleGetClassObject(const FilterModuleInfo& info, REFCLSID rclsid, REFIID riid,
                                   void** ppv);
HRESULT FilterModuleCanUnloadNow();
