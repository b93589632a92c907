// The process-wide list of loaded modules behind LoadLibraryW, FreeLibrary
// and the COM runtime's in-process servers: one loader handle per module and
// a reference count over all holders, so a module loaded both ways is
// loaded once. Internal to the platform library; every function is
// thread-safe, and none calls into a module while the list's lock is held
// (loading and unloading run the module's constructors and destructors).
#pragma once

#include <string>

#include <windows.h>

namespace arcwise_platform {

struct LoadFailure {
  DWORD error = ERROR_SUCCESS;  // the Win32 code LoadLibraryW reports
  std::string detail;           // the loader's own message
};

// One more reference to the module at `path` (a POSIX path, or a bare name
// looked for as LoadLibraryW describes); loads it on the first. Null with
// *failure filled in when it cannot be loaded.
HMODULE AcquireModule(const std::string& path, LoadFailure* failure);

// Gives one reference back; the last one unloads the module. False for a
// handle that is not in the list.
bool ReleaseModule(HMODULE module);

// The module's own export `name`, or null (*error: ERROR_PROC_NOT_FOUND, or
// ERROR_MOD_NOT_FOUND for a handle that names no loaded object).
void* FindModuleExport(HMODULE module, const char* name, DWORD* error);

}  // namespace arcwise_platform
