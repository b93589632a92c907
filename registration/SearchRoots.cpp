#include "registration/SearchRoots.h"

#include "compat/Win32Compat.h"

#include "diagnostics/Debugger.h"
#include "registration/ComRegistration.h"
#include "registration/RegistryWrites.h"

namespace {

// "RegRoot" is read into this many bytes; a longer value gives no root.
constexpr DWORD kRegRootBytes = 1024;

LONG WriteClassKey(const WString& path, LPCWSTR modulePath, LPCWSTR threadingModel) {
  HKEY key = nullptr;
  LONG status = CreateRegistrationKey(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  if (status != ERROR_SUCCESS) return status;
  status = SetStringValue(key, nullptr, modulePath);
  if (status == ERROR_SUCCESS) status = SetStringValue(key, W("ThreadingModel"), threadingModel);
  if (status == ERROR_SUCCESS) {
    DWORD flags = 1;
    status = RegSetValueExW(key, W("Flags"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags),
                            sizeof(flags));
  }
  RegCloseKey(key);
  return status;
}

}  // namespace

LONG RegisterUnderRoot(const WString& root, LPCWSTR filterText, LPCWSTR modulePath,
                       LPCWSTR threadingModel, const FilterExtension* table, ULONG count) {
  // Only an instance that exists gets keys: the root is never created here.
  HKEY rootKey = nullptr;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &rootKey);
  if (status != ERROR_SUCCESS) return status;
  RegCloseKey(rootKey);

  status = WriteClassKey(root + W("CLSID\\") + filterText, modulePath, threadingModel);
  if (status != ERROR_SUCCESS) return status;

  for (ULONG i = 0; i < count; ++i) {
    HKEY key = nullptr;
    WString path = root + W("Filters\\") + table[i].extension;
    status = CreateRegistrationKey(HKEY_LOCAL_MACHINE, path.c_str(), &key);
    if (status != ERROR_SUCCESS) continue;
    status = SetStringValue(key, nullptr, filterText);
    RegCloseKey(key);
  }
  return status;
}

LONG UnregisterUnderRoot(const WString& root, LPCWSTR filterText, const FilterExtension* table,
                         ULONG count) {
  LONG result = ERROR_SUCCESS;
  WString classKey = root + W("CLSID\\") + filterText;
  LONG status = SHDeleteKeyW(HKEY_LOCAL_MACHINE, classKey.c_str());
  if (status != ERROR_SUCCESS) result = status;
  for (ULONG i = 0; i < count; ++i) {
    // Another filter may have taken the extension over since: its key stays.
    WString filterKey = root + W("Filters\\") + table[i].extension;
    status = DeleteKeyIfDefaultIs(HKEY_LOCAL_MACHINE, filterKey, filterText);
    if (status != ERROR_SUCCESS) result = status;
  }
  return result;
}

ULONG CollectInstMapRoots(LPCWSTR base, SearchRootList* roots) {
  HKEY baseKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, base, 0, KEY_READ, &baseKey) != ERROR_SUCCESS)
    return static_cast<ULONG>(roots->size());
  DWORD subKeys = 0, longestName = 0;
  if (RegQueryInfoKeyW(baseKey, nullptr, nullptr, nullptr, &subKeys, &longestName, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    subKeys = 0;
  }
  WString name(longestName + 1, W('\0'));
  for (DWORD index = 0; index < subKeys; ++index) {
    DWORD cchName = longestName + 1;
    name.assign(longestName + 1, W('\0'));
    LONG status = RegEnumKeyExW(baseKey, index, name.data(), &cchName, nullptr, nullptr,
                                nullptr, nullptr);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;

    WString subKeyPath = WString(base) + W("\\") + name.c_str();
    HKEY instanceKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKeyPath.c_str(), 0, KEY_READ, &instanceKey) !=
        ERROR_SUCCESS)
      continue;
    // One spare character so data stored without a terminator still ends.
    WCHAR regRoot[kRegRootBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = 0, cb = kRegRootBytes;
    status = RegQueryValueExW(instanceKey, W("RegRoot"), nullptr, &type,
                              reinterpret_cast<BYTE*>(regRoot), &cb);
    RegCloseKey(instanceKey);
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    regRoot[cb / sizeof(WCHAR)] = 0;
    WString root = regRoot;
    if (root.empty()) continue;  // no instance path to write under
    if (root.back() != W('\\')) root += W('\\');
    roots->push_back(std::move(root));
  }
  RegCloseKey(baseKey);
  return static_cast<ULONG>(roots->size());
}

namespace {

// Runs one root's step (a Win32 code) below every root of the product.
template <class Step>
HRESULT RunOnProductRoots(const SearchProduct& product, LPCWSTR successLine, Step step) {
  const SearchRootList roots = product.collectRoots();
  if (roots.empty()) return E_FAIL;
  HRESULT result = S_OK;
  for (const WString& root : roots) {
    if (step(root) != ERROR_SUCCESS) result = SELFREG_E_CLASS;
  }
  if (result == S_OK && successLine) g_debugger.Print(3, successLine);
  return result;
}

}  // namespace

HRESULT RegisterWithSearchProduct(const SearchProduct& product, LPCWSTR filterText,
                                  LPCWSTR modulePath, LPCWSTR threadingModel,
                                  const FilterExtension* table, ULONG count) {
  return RunOnProductRoots(product, product.registeredLine, [&](const WString& root) {
    return RegisterUnderRoot(root, filterText, modulePath, threadingModel, table, count);
  });
}

HRESULT UnregisterFromSearchProduct(const SearchProduct& product, LPCWSTR filterText,
                                    const FilterExtension* table, ULONG count) {
  return RunOnProductRoots(product, product.unregisteredLine, [&](const WString& root) {
    return UnregisterUnderRoot(root, filterText, table, count);
  });
}
