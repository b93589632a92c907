// Writing and removing the persistent-handler layout of a stock filter.
#include "FilterRegistration.h"

#include "compat/Win32Compat.h"

#include <vector>

namespace {

LSTATUS SetDefaultString(const WString& subkey, LPCWSTR valueName, const WString& data) {
  HKEY hKey = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(hKey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          DWORD((data.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(hKey);
  return status;
}

// The default value of HKCR\subkey, or false.
bool ReadDefaultString(const WString& subkey, WString* value) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) return false;
  DWORD type = REG_NONE;
  DWORD cb = 0;
  bool ok = false;
  if (RegQueryValueExW(hKey, nullptr, nullptr, &type, nullptr, &cb) == ERROR_SUCCESS && type == REG_SZ) {
    std::vector<WCHAR> buffer(cb / sizeof(WCHAR) + 1, 0);
    DWORD got = cb;
    if (RegQueryValueExW(hKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) ==
        ERROR_SUCCESS) {
      *value = WString(buffer.data());
      ok = true;
    }
  }
  RegCloseKey(hKey);
  return ok;
}

// Whether HKCR\subkey exists with no value and no subkey.
bool IsEmptyKey(const WString& subkey) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  DWORD cSubKeys = 0;
  DWORD cValues = 0;
  LSTATUS status = RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr, &cValues,
                                    nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(hKey);
  return status == ERROR_SUCCESS && cSubKeys == 0 && cValues == 0;
}

}  // namespace

HRESULT RegisterFilterModule(const FilterModuleInfo& info) {
  WCHAR modulePath[MAX_PATH] = {};
  DWORD cch = GetModuleFileNameW(FilterModuleHandle(), modulePath, MAX_PATH);
  if (cch == 0 || cch >= MAX_PATH) return SELFREG_E_CLASS;

  const WString filterText = GuidToString(*info.filterClsid);
  const WString handlerText = GuidToString(*info.handlerClsid);
  const WString filterKey = W("CLSID\\") + filterText;
  const WString handlerKey = W("CLSID\\") + handlerText;

  if (SetDefaultString(filterKey, nullptr, info.filterDescription) != ERROR_SUCCESS ||
      SetDefaultString(filterKey + W("\\InprocServer32"), nullptr, modulePath) != ERROR_SUCCESS ||
      SetDefaultString(filterKey + W("\\InprocServer32"), W("ThreadingModel"), W("Both")) != ERROR_SUCCESS ||
      SetDefaultString(handlerKey, nullptr, info.handlerDescription) != ERROR_SUCCESS ||
      SetDefaultString(handlerKey + W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter), nullptr,
                       filterText) != ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  for (size_t i = 0; i < info.extensionCount; ++i) {
    if (SetDefaultString(WString(info.extensions[i]) + W("\\PersistentHandler"), nullptr, handlerText) !=
        ERROR_SUCCESS) {
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT UnregisterFilterModule(const FilterModuleInfo& info) {
  const WString handlerText = GuidToString(*info.handlerClsid);
  bool complete = true;
  for (size_t i = 0; i < info.extensionCount; ++i) {
    const WString extensionKey = info.extensions[i];
    const WString bindingKey = extensionKey + W("\\PersistentHandler");
    WString bound;
    // Another product's handler on the same extension is not ours to remove.
    if (!ReadDefaultString(bindingKey, &bound) || _wcsicmp(bound.c_str(), handlerText.c_str()) != 0) continue;
    if (SHDeleteKeyW(HKEY_CLASSES_ROOT, bindingKey.c_str()) != ERROR_SUCCESS) complete = false;
    if (IsEmptyKey(extensionKey) && RegDeleteKeyW(HKEY_CLASSES_ROOT, extensionKey.c_str()) != ERROR_SUCCESS) {
      complete = false;
    }
  }
  if (SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + handlerText).c_str()) != ERROR_SUCCESS) complete = false;
  if (SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(*info.filterClsid)).c_str()) != ERROR_SUCCESS) {
    complete = false;
  }
  return complete ? S_OK : S_FALSE;
}
