// Module handles, the run-time loader (LoadLibraryW, GetProcAddress,
// FreeLibrary) and the one list of loaded modules the COM runtime shares.
#include <windows.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "module_list.h"
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

// The load address of a loader handle: that of the object holding its
// dynamic section, which every shared object and executable has.
HMODULE BaseOf(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
  Dl_info info{};
  if (!dladdr(map->l_ld, &info)) return nullptr;
  return reinterpret_cast<HMODULE>(info.dli_fbase);
}

struct LoadedModule {
  void* handle;  // one reference of the dynamic loader, for all holders
  HMODULE base;
  unsigned long references;
};

struct ModuleList {
  std::mutex mutex;
  std::vector<LoadedModule> modules;
};

// Never destroyed: modules released from static destructors at exit still
// reach it.
ModuleList& List() {
  static ModuleList* list = new ModuleList;
  return *list;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char folder[PATH_MAX];
  return getcwd(folder, sizeof folder) ? std::string(folder) + "/" + path : path;
}

// Where a bare name is found: the program's folder, then the current
// folder (the order Windows used before it put the system folders ahead of
// the current one); elsewhere the loader searches its own path. A relative
// path is made absolute first: the loader keeps the name it was given, and
// GetModuleFileNameW must still find the file after the current folder
// changes.
std::string Locate(const std::string& name) {
  if (name.find('/') != std::string::npos) return Absolute(name);
  const std::string programFolder = FolderOf(ExecutablePath());
  if (!programFolder.empty() && IsRegularFile(programFolder + name)) return programFolder + name;
  if (IsRegularFile(name)) return Absolute(name);
  return name;
}

// Why dlopen refused `path`, in the code Windows gives for the same case.
DWORD ClassifyFailure(const std::string& path, const std::string& detail) {
  if (path.find('/') == std::string::npos) return ERROR_MOD_NOT_FOUND;  // found nowhere
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    return errno == EACCES ? DWORD(ERROR_ACCESS_DENIED) : DWORD(ERROR_MOD_NOT_FOUND);
  }
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == EACCES ? DWORD(ERROR_ACCESS_DENIED) : DWORD(ERROR_MOD_NOT_FOUND);
  unsigned char magic[4] = {};
  ssize_t got = read(fd, magic, sizeof magic);
  close(fd);
  if (got != 4 || std::memcmp(magic, ELFMAG, SELFMAG) != 0) return ERROR_BAD_EXE_FORMAT;
  // The file is an ELF object: either something it needs is missing, or it
  // is not one this process can load (another machine, an executable).
  if (detail.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (detail.find("cannot open shared object file") != std::string::npos) return ERROR_MOD_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

thread_local WString t_lastLoadError;

// The loader lock, as Windows has one: held while the dynamic loader maps or
// unmaps an object (and so while module constructors, destructors and
// DllMain run) and while its records are read. The dynamic loader takes a
// lock of its own, but one that thread checkers cannot see, so reading a
// link map that another thread's dlopen has just written would look like a
// race to them. Recursive, because module constructors load modules too.
// Never destroyed: modules are released from static destructors at exit.
std::recursive_mutex& LoaderLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;
  return *lock;
}

}  // namespace

namespace arcwise_platform {

HMODULE AcquireModule(const std::string& path, LoadFailure* failure) {
  const std::string located = Locate(path);
  // Loading runs the module's constructors, which may call back into the
  // platform (and load further modules): done outside the list's lock.
  std::lock_guard<std::recursive_mutex> loaderLock(LoaderLock());
  dlerror();
  void* handle = dlopen(located.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    failure->detail = reason ? reason : "unknown error";
    failure->error = ClassifyFailure(located, failure->detail);
    return nullptr;
  }
  HMODULE base = BaseOf(handle);
  if (!base) {
    dlclose(handle);
    failure->detail = "no load address for " + located;
    failure->error = ERROR_BAD_EXE_FORMAT;
    return nullptr;
  }
  ModuleList& list = List();
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    for (LoadedModule& m : list.modules) {
      if (m.handle == handle) {
        ++m.references;
        known = true;
        break;
      }
    }
    if (!known) list.modules.push_back({handle, base, 1});
  }
  // The loader counted this dlopen too; the list keeps one loader reference
  // per module, so the extra one goes back (it never unmaps anything).
  if (known) dlclose(handle);
  return base;
}

bool ReleaseModule(HMODULE module) {
  ModuleList& list = List();
  void* unload = nullptr;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    auto it = list.modules.begin();
    while (it != list.modules.end() && it->base != module) ++it;
    if (it == list.modules.end()) return false;
    if (--it->references == 0) {
      unload = it->handle;
      list.modules.erase(it);
    }
  }
  // Unloading runs the module's destructors and DllMain: outside the list's lock.
  if (unload) {
    std::lock_guard<std::recursive_mutex> loaderLock(LoaderLock());
    dlclose(unload);
  }
  return true;
}

void* FindModuleExport(HMODULE module, const char* name, DWORD* error) {
  // A module the list does not hold (the executable, a library linked at
  // start-up, one found by address) is reached through its own name.
  void* handle = nullptr;
  bool borrowed = false;
  std::lock_guard<std::recursive_mutex> loaderLock(LoaderLock());
  {
    ModuleList& list = List();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (const LoadedModule& m : list.modules) {
      if (m.base == module) {
        handle = m.handle;
        break;
      }
    }
  }
  if (!handle) {
    std::string path = module ? ModulePath(module) : std::string();
    if (module && path.empty()) {
      *error = ERROR_MOD_NOT_FOUND;
      return nullptr;
    }
    handle = dlopen(module ? path.c_str() : nullptr, RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) {
      *error = ERROR_MOD_NOT_FOUND;
      return nullptr;
    }
    borrowed = true;
  }
  HMODULE base = BaseOf(handle);
  dlerror();
  void* symbol = dlsym(handle, name);
  // dlsym also searches the libraries the module links; Windows looks only
  // at the module's own export table.
  Dl_info info{};
  if (symbol && (!dladdr(symbol, &info) || info.dli_fbase != base)) symbol = nullptr;
  if (borrowed) dlclose(handle);
  if (!symbol) *error = ERROR_PROC_NOT_FOUND;
  return symbol;
}

}  // namespace arcwise_platform

using namespace arcwise_platform;

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  t_lastLoadError.clear();
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LoadFailure failure;
  HMODULE module = AcquireModule(PosixPath(lpLibFileName), &failure);
  if (!module) {
    t_lastLoadError = Utf8ToUtf16(failure.detail);
    SetLastError(failure.error);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return module;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (!ReleaseModule(hLibModule)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Windows takes an ordinal in the low word of the name pointer; shared
  // objects export by name only.
  if (reinterpret_cast<uintptr_t>(lpProcName) <= 0xFFFF) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  void* symbol = FindModuleExport(hModule, lpProcName, &error);
  if (!symbol) {
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

LPCWSTR ArcwiseLastLoadErrorText(void) { return t_lastLoadError.c_str(); }

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
