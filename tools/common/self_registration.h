// Calling a module's self-registration export the way regsvr32 does: load
// the module with LoadLibraryW, look DllRegisterServer or
// DllUnregisterServer up by name with GetProcAddress, call it, and say which
// step failed. arcwise-regsvr and arcwise-dump's first run share it. The
// caller owns a module kept loaded (SelfRegistration::module) and frees it
// with FreeLibrary. Call on a thread inside a COM apartment, as the exports
// expect; one call at a time per module.
#pragma once

#include <string>

#include <windows.h>

struct SelfRegistration {
  enum Outcome { kCalled, kLoadFailed, kEntryMissing };
  Outcome outcome = kLoadFailed;
  const char* entryName = "";  // "DllRegisterServer" or "DllUnregisterServer"
  HRESULT result = E_FAIL;     // the export's answer (kCalled)
  DWORD loadError = ERROR_SUCCESS;  // LoadLibraryW's code (kLoadFailed)
  std::string loadDetail;      // the loader's own words, or the code's text
  HMODULE module = nullptr;    // still loaded when the caller asked to keep it
};

// Loads `module` (a UTF-8 path or a bare name, found as LoadLibraryW finds
// it) and calls its registration export, or the unregistration one. The
// module is unloaded again afterwards unless keepLoaded is set; then it is
// kept in the result whenever it loaded. The thread's last registry
// failure (ArcwiseRegistryLastError) is cleared before the call, so what it
// holds afterwards happened during the call.
SelfRegistration CallSelfRegistration(const std::string& module, bool unregister, bool keepLoaded);
