#include "first_run.h"

#include <filesystem>

#include <objbase.h>
#include <windows.h>

#include "error_text.h"
#include "self_registration.h"
#include "server/ClassIds.h"

namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('|', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

bool FileExists(const std::string& path) {
  WString wide = Utf8ToUtf16(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExecutableFolder() {
  WCHAR path[4096];
  DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  if (length == 0 || length >= 4096) return std::string();
  return std::filesystem::path(Utf16ToUtf8(WString(path, length))).parent_path().string();
}

}  // namespace

std::vector<std::string> FindBundledModules() {
  std::vector<std::string> names = SplitList(ARCWISE_DUMP_MODULE_NAMES);
  std::string folder = ExecutableFolder();
  if (!folder.empty() && !names.empty()) {
    std::filesystem::path installed =
        (std::filesystem::path(folder) / ARCWISE_DUMP_INSTALLED_MODULE_DIR).lexically_normal();
    if (FileExists((installed / names.front()).string())) {
      std::vector<std::string> modules;
      for (const std::string& name : names) {
        std::string path = (installed / name).string();
        if (FileExists(path)) modules.push_back(path);
      }
      return modules;
    }
  }
  std::vector<std::string> modules;
  for (const std::string& path : SplitList(ARCWISE_DUMP_BUILD_MODULES)) {
    if (FileExists(path)) modules.push_back(path);
  }
  return modules;
}

std::string RegistryFileName() {
  WString path = ArcwiseRegistryPath();
  return PosixPathFromWide(path.c_str());
}

namespace {

bool ArchiveFilterRegistered() {
  WCHAR classText[40];
  if (StringFromGUID2(CLSID_ArcwiseFilter, classText, 40) == 0) return false;
  const WString serverKey = WString(W("CLSID\\")) + classText + W("\\InprocServer32");
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

bool RegistryNeedsSetup() {
  WString database = ArcwiseRegistryPath();
  if (GetFileAttributesW(database.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  return !ArchiveFilterRegistered();
}

ModuleHandles::~ModuleHandles() {
  for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) FreeLibrary(*it);
}

namespace {

SetupResult RegisterEach(const std::vector<std::string>& modules, ModuleHandles* keep) {
  SetupResult result;
  for (const std::string& module : modules) {
    // The way arcwise-regsvr registers a module, kept loaded (see ModuleHandles).
    const SelfRegistration call = CallSelfRegistration(module, false, true);
    if (call.module) keep->Add(call.module);
    switch (call.outcome) {
      case SelfRegistration::kLoadFailed:
        result.failures.push_back(module + " did not load: " + call.loadDetail);
        break;
      case SelfRegistration::kEntryMissing:
        result.failures.push_back(module + " has no DllRegisterServer");
        break;
      case SelfRegistration::kCalled:
        if (FAILED(call.result)) {
          result.failures.push_back("DllRegisterServer of " + module + " failed with " + DescribeHResult(call.result));
        } else {
          result.registered.push_back(module);
        }
        break;
    }
  }
  return result;
}

struct FirstRegistration {
  const std::vector<std::string>* modules;
  ModuleHandles* keep;
  SetupResult result;
};

bool RegisterUnlessDone(void* context) {
  auto* run = static_cast<FirstRegistration*>(context);
  // Another process starting at the same moment may have registered while
  // this one waited for the write lock: then there is nothing left to do.
  if (!ArchiveFilterRegistered()) run->result = RegisterEach(*run->modules, run->keep);
  return true;
}

}  // namespace

SetupResult RegisterModules(const std::vector<std::string>& modules, ModuleHandles* keep) {
  // One write transaction from the check to the last module: a process that
  // looks at the registry meanwhile sees all of the registration or none.
  FirstRegistration run{&modules, keep, {}};
  LSTATUS status = ArcwiseRegistryTransaction(&RegisterUnlessDone, &run);
  if (status != ERROR_SUCCESS) {
    run.result.registered.clear();
    const std::string busyOrDamaged = RegistryFailureText(status);
    run.result.failures.push_back(!busyOrDamaged.empty() ? busyOrDamaged
                                  : "the registry " + RegistryFileName() + " could not be written: " +
                                        DescribeHResult(HRESULT_FROM_WIN32(status)));
  }
  return run.result;
}
