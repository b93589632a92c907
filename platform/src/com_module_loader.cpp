// In-process servers: the runtime holds one reference to each server module
// in the platform's list of loaded modules (the one LoadLibraryW uses too,
// so a module loaded both ways is one load), and keeps it until the
// module's DllCanUnloadNow says S_OK to CoFreeUnusedLibraries. Calls into a module (DllGetClassObject,
// DllCanUnloadNow) run without the list's lock, because a module may create
// objects from other modules while it answers; a module is never unloaded
// while such a call is in flight or after it was used since it was asked.
#include "com_internal.h"
#include "module_list.h"
#include "posix_util.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct LoadedModule {
  std::string path;  // the POSIX path it was first loaded from
  HMODULE handle = nullptr;  // the runtime's reference in the module list
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;  // without it the module stays loaded
  ULONG classObjects = 0;                   // class objects handed out so far
  ULONG callsInFlight = 0;
  unsigned long long uses = 0;  // bumped on every use, so a stale "can unload" is seen
};

struct ModuleList {
  std::mutex mutex;
  std::vector<std::unique_ptr<LoadedModule>> modules;
};

// Never destroyed: objects released from other static destructors at exit may
// still reach the runtime.
ModuleList& List() {
  static ModuleList* list = new ModuleList;
  return *list;
}

// The entry for path (or, when path is empty, for the module handle) with
// one call marked in flight, or nullptr.
LoadedModule* PinLoaded(ModuleList& list, const std::string& path, HMODULE handle = nullptr) {
  for (auto& m : list.modules) {
    if (path.empty() ? m->handle == handle : m->path == path) {
      ++m->callsInFlight;
      ++m->uses;
      return m.get();
    }
  }
  return nullptr;
}

void ReportLoadFailure(const WString& path, const char* what, const char* detail) {
  WString text = W("CoGetClassObject: ");
  text += Utf8ToUtf16(what);
  text += W(" '");
  text += path;
  text += W("': ");
  text += Utf8ToUtf16(detail ? detail : "unknown error");
  text += W("\n");
  OutputDebugStringW(text.c_str());
}

}  // namespace

namespace arcwise_com {

HRESULT GetClassObjectFromModule(const WString& path, REFCLSID rclsid, REFIID riid, void** ppv) {
  ModuleList& list = List();
  std::string posixPath = arcwise_platform::PosixPath(path);
  LoadedModule* module = nullptr;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    module = PinLoaded(list, posixPath);
  }
  if (!module) {
    // Loading runs the module's constructors, which may call back into the
    // runtime: done outside the lock.
    arcwise_platform::LoadFailure failure;
    HMODULE handle = arcwise_platform::AcquireModule(posixPath, &failure);
    if (!handle) {
      ReportLoadFailure(path, "cannot load", failure.detail.c_str());
      return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    DWORD error = ERROR_SUCCESS;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        arcwise_platform::FindModuleExport(handle, "DllGetClassObject", &error));
    if (!getClassObject) {
      ReportLoadFailure(path, "no DllGetClassObject in", "the module does not export it");
      arcwise_platform::ReleaseModule(handle);
      return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(
        arcwise_platform::FindModuleExport(handle, "DllCanUnloadNow", &error));
    bool raced = false;
    {
      std::lock_guard<std::mutex> lock(list.mutex);
      // Another thread may have loaded it meanwhile, under this path or
      // another one naming the same file: keep theirs.
      module = PinLoaded(list, posixPath);
      if (!module) module = PinLoaded(list, std::string(), handle);
      if (module) {
        raced = true;
      } else {
        auto entry = std::make_unique<LoadedModule>();
        entry->path = posixPath;
        entry->handle = handle;
        entry->getClassObject = getClassObject;
        entry->canUnloadNow = canUnloadNow;
        entry->callsInFlight = 1;
        entry->uses = 1;
        module = entry.get();
        list.modules.push_back(std::move(entry));
      }
    }
    if (raced) arcwise_platform::ReleaseModule(handle);  // drops only our extra reference
  }

  HRESULT hr = module->getClassObject(rclsid, riid, ppv);
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    --module->callsInFlight;
    if (SUCCEEDED(hr)) ++module->classObjects;
  }
  return hr;
}

void FreeUnusedModules() {
  ModuleList& list = List();
  struct Candidate {
    LoadedModule* module;
    unsigned long long uses;
    bool canUnload;
  };
  std::vector<Candidate> candidates;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    for (auto& m : list.modules) {
      if (m->canUnloadNow && m->callsInFlight == 0) {
        ++m->callsInFlight;
        candidates.push_back({m.get(), m->uses, false});
      }
    }
  }
  for (Candidate& c : candidates) c.canUnload = c.module->canUnloadNow() == S_OK;

  std::vector<HMODULE> handles;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    for (Candidate& c : candidates) {
      LoadedModule* m = c.module;
      --m->callsInFlight;
      if (!c.canUnload || m->callsInFlight != 0 || m->uses != c.uses) continue;
      handles.push_back(m->handle);
      for (auto it = list.modules.begin(); it != list.modules.end(); ++it) {
        if (it->get() == m) {
          list.modules.erase(it);
          break;
        }
      }
    }
  }
  // Unloading runs the module's destructors: outside the lock. A module
  // that LoadLibraryW holds as well stays loaded for that holder.
  for (HMODULE handle : handles) arcwise_platform::ReleaseModule(handle);
}

}  // namespace arcwise_com

void CoFreeUnusedLibraries() { arcwise_com::FreeUnusedModules(); }

void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved) {
  UNREFERENCED_PARAMETER(dwUnloadDelay);
  UNREFERENCED_PARAMETER(dwReserved);
  arcwise_com::FreeUnusedModules();
}
