// First-run set-up: when the registry has no database yet, or none of its
// registrations names the archive filter, arcwise-dump registers the
// bundled modules (libarcwise.so and the stock filters) by calling their
// DllRegisterServer, as arcwise-regsvr would, so that one command works on a
// fresh machine. Registering is idempotent; an already set-up registry is
// left alone. Main thread, inside the COM apartment.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

// The bundled modules next to this program: in the installed layout (the
// module folder below the library folder, found from the executable's own
// path), else the build tree's outputs. Empty when neither exists.
std::vector<std::string> FindBundledModules();

// True when the database file does not exist yet or holds no registration
// of the archive filter's class. Call before anything touches the registry.
bool RegistryNeedsSetup();

// The modules loaded for registering, kept loaded until the dump is over:
// the COM runtime then finds them in the same list of loaded modules, and
// unloading them in between only to load them again would hand the archive
// module's thread-local state a second slot (the leak checker of sanitizer
// builds trips over the stale one). Destroy after CoUninitialize.
class ModuleHandles {
 public:
  ModuleHandles() = default;
  ~ModuleHandles();
  ModuleHandles(const ModuleHandles&) = delete;
  ModuleHandles& operator=(const ModuleHandles&) = delete;
  void Add(HMODULE module) { m_modules.push_back(module); }

 private:
  std::vector<HMODULE> m_modules;
};

struct SetupResult {
  std::vector<std::string> registered;  // module paths
  std::vector<std::string> failures;    // one sentence each
};
// Registers the modules in one registry transaction, unless the archive
// filter is registered by the time the transaction starts (another process
// set up first): then nothing is registered and nothing fails.
SetupResult RegisterModules(const std::vector<std::string>& modules, ModuleHandles* keep);

// The registry database file, UTF-8.
std::string RegistryFileName();
