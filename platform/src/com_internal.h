// Internal pieces of the COM runtime shared between its source files: the
// calling thread's apartment, the registered-class table's cleanup hook, the
// module loader and a registry reader for HKEY_CLASSES_ROOT. Not public API;
// every function is thread-safe.
#pragma once

#include <objbase.h>

namespace arcwise_com {

// Identity of the apartment the calling thread may use: its own STA, the
// process's MTA (explicitly or implicitly joined), or 0 for none.
unsigned long long CurrentApartmentId();

// Releases every class object registered from the given apartment (called
// when that apartment ends, never with the runtime's locks held).
void RevokeApartmentClasses(unsigned long long apartmentId);

// Asks each loaded module's DllCanUnloadNow and unloads those that say S_OK.
void FreeUnusedModules();

// The class object for rclsid from the shared object at path: loads it once
// per path, then calls its DllGetClassObject.
HRESULT GetClassObjectFromModule(const WString& path, REFCLSID rclsid, REFIID riid, void** ppv);

// The default value (REG_SZ or REG_EXPAND_SZ, environment references
// expanded) of HKEY_CLASSES_ROOT\subkey. ERROR_FILE_NOT_FOUND when the key or
// value is missing or not text.
LSTATUS ReadClassesRootDefault(const WString& subkey, WString* value);

}  // namespace arcwise_com
