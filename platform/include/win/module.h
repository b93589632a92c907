// Module handles, loading modules at run time, and the emulation of a DLL's
// entry point on a shared object. An HMODULE here is the load address of a
// shared object (or null for the executable). LoadLibraryW and the COM
// runtime share one process-wide list of loaded modules with a reference
// count each, so a module both load is loaded once and unloaded when the
// last of them lets go; whoever gets a handle from LoadLibraryW owns one
// reference and gives it back with FreeLibrary. A module calls
// ARCWISE_DEFINE_DLLMAIN_HOOKS() once, and its DllMain then runs with
// DLL_PROCESS_ATTACH when the object is loaded and DLL_PROCESS_DETACH when
// it is unloaded, as the Windows loader would call it.
// All functions are thread-safe.
#pragma once

#include <cstdlib>
#include <cxxabi.h>

#include "win/types.h"

// The C runtime's handle of the shared object being linked (each object has
// its own): exit handlers registered under it run when that object is
// unloaded, or at process exit if it is still loaded then.
extern "C" void* __dso_handle __attribute__((visibility("hidden")));

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

typedef INT_PTR(WINAPI* FARPROC)();

extern "C" {
// Loads the module (or takes one more reference to it when it is loaded
// already) and returns its handle; null with the thread's last error set
// on failure: ERROR_MOD_NOT_FOUND when the file, or a library it needs, is
// not there; ERROR_BAD_EXE_FORMAT when the file is no shared object of this
// machine; ERROR_PROC_NOT_FOUND when a symbol it imports is missing;
// ERROR_ACCESS_DENIED when it may not be read; ERROR_INVALID_PARAMETER for
// a null or empty name. A name with a separator ('/' or '\') is a path; a
// bare name is looked for, as Windows does, in the program's own folder,
// then in the current folder, then along the loader's search path
// (LD_LIBRARY_PATH, the system's library folders).
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// Gives back one reference from LoadLibraryW; the last one unloads the
// module unless the COM runtime still holds it. FALSE with
// ERROR_MOD_NOT_FOUND for a handle LoadLibraryW did not hand out.
BOOL FreeLibrary(HMODULE hLibModule);
// The address of an export of the module itself (not of the libraries it
// links), or null: ERROR_PROC_NOT_FOUND when it has no such export (and
// for ordinals, which shared objects do not have), ERROR_MOD_NOT_FOUND when
// the handle names no loaded module. Null looks in the executable.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// Full path of the module (the executable for null). Returns the length
// without terminator; when the buffer is too small, writes nSize - 1 units
// plus a terminator, returns nSize and sets ERROR_INSUFFICIENT_BUFFER, as
// Windows does. 0 with ERROR_MOD_NOT_FOUND for an unknown handle.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Thread notifications are never sent on this platform; kept for the call.
BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

// ---- Platform extra (no Win32 counterpart) ----------------------------------
// The dynamic loader's own words for the calling thread's last failed
// LoadLibraryW ("libz.so.1: cannot open shared object file: No such file or
// directory"), which name what GetLastError cannot: the library that was
// missing. Empty when there is none; valid until the thread's next load.
LPCWSTR ArcwiseLastLoadErrorText(void);
}  // extern "C"

// The module that contains `address` (a function or object of it).
HMODULE ArcwiseModuleFromAddress(const void* address);

// Runs the module's DllMain at load and unload. Use once per shared object,
// at namespace scope, in the file that defines DllMain.
// The detach call is registered with the C runtime's exit handlers right
// after the attach call, so it runs before the destructors of every static
// object constructed earlier, both at dlclose and at process exit (where
// glibc runs exit handlers before the loader's fini functions). Static
// objects that DllMain uses on detach (the module's logger) must therefore
// be initialised before the attach hook: give them init_priority.
// The handler is registered under the module's own __dso_handle, never with
// atexit: a sanitizer runtime that intercepts atexit registers the handler
// for the process instead, so it would outlive a dlclose and then be called
// in unmapped code at exit.
#define ARCWISE_DEFINE_DLLMAIN_HOOKS()                                                          \
  namespace {                                                                                    \
  void ArcwiseDllMainDetach(void*) {                                                             \
    DllMain((HINSTANCE)ArcwiseModuleFromAddress((const void*)&ArcwiseDllMainDetach),             \
            DLL_PROCESS_DETACH, nullptr);                                                        \
  }                                                                                              \
  __attribute__((constructor)) void ArcwiseDllMainAttach() {                                     \
    DllMain((HINSTANCE)ArcwiseModuleFromAddress((const void*)&ArcwiseDllMainAttach),             \
            DLL_PROCESS_ATTACH, nullptr);                                                        \
    abi::__cxa_atexit(&ArcwiseDllMainDetach, nullptr, &__dso_handle);                            \
  }                                                                                              \
  }
