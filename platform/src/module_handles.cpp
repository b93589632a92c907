#include <windows.h>

#include <dlfcn.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>
#include <string>

#include "posix_util.h"

namespace {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, size_t(n));
}

// An HMODULE is the load address of its object, and that address lies inside
// the object's first mapping, so the loader can name the object from it.
std::string ModulePath(HMODULE module) {
  if (!module) return ExecutablePath();
  Dl_info info{};
  if (!dladdr(reinterpret_cast<const void*>(module), &info) || info.dli_fbase != module) {
    return std::string();
  }
  char resolved[PATH_MAX];
  if (info.dli_fname && *info.dli_fname && realpath(info.dli_fname, resolved)) return resolved;
  return ExecutablePath();
}

}  // namespace

HMODULE ArcwiseModuleFromAddress(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info)) return nullptr;
  return reinterpret_cast<HMODULE>(info.dli_fbase);
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path = ModulePath(hModule);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  WString wide = Utf8ToUtf16(path);
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (wide.size() + 1 > nSize) {
    wide.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  wide.copy(lpFilename, wide.size());
  lpFilename[wide.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return DWORD(wide.size());
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }
