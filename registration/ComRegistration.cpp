// Every key is closed before the next one is created, so a failure part-way
// leaves no handle behind and whatever was written stays for a later
// unregistration to remove (nothing is rolled back).
#include "registration/ComRegistration.h"

#include <vector>

#include "compat/Win32Compat.h"

#include "registration/RegistryWrites.h"

namespace {

const WCHAR kClsidPrefix[] = W("CLSID\\");

// Creates the key and sets up to two string values on it, in order; stops at
// the first failure. A null value name with null text means "key only".
LONG WriteKey(const WString& path, LPCWSTR name1, LPCWSTR text1, LPCWSTR name2 = nullptr,
              LPCWSTR text2 = nullptr) {
  HKEY key = nullptr;
  LONG status = CreateRegistrationKey(HKEY_CLASSES_ROOT, path.c_str(), &key);
  if (status != ERROR_SUCCESS) return status;
  if (text1) status = SetStringValue(key, name1, text1);
  if (status == ERROR_SUCCESS && text2) status = SetStringValue(key, name2, text2);
  RegCloseKey(key);
  return status;
}

// The default string of root\path; a missing key or value, or one that is not
// a string, is ERROR_FILE_NOT_FOUND.
LONG ReadDefaultString(HKEY root, const WString& path, WString* text) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = REG_NONE, cb = 0;
  status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &cb);
  if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) status = ERROR_FILE_NOT_FOUND;
  if (status == ERROR_SUCCESS) {
    std::vector<WCHAR> data(cb / sizeof(WCHAR) + 1, 0);
    status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &cb);
    if (status == ERROR_SUCCESS) *text = data.data();
  }
  RegCloseKey(key);
  return status;
}

// Whether HKCR\path exists with no value and no subkey.
bool IsEmptyKey(const WString& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD subKeys = 0, values = 0;
  LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

bool IsAbsence(LONG status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

}  // namespace

LONG RegisterFilterClass(LPCWSTR filterText, LPCWSTR description, LPCWSTR modulePath,
                         LPCWSTR threadingModel) {
  WString classKey = WString(kClsidPrefix) + filterText;
  LONG status = WriteKey(classKey, nullptr, description);
  if (status != ERROR_SUCCESS) return status;
  return WriteKey(classKey + W("\\InprocServer32"), nullptr, modulePath, W("ThreadingModel"),
                  threadingModel);
}

LONG RegisterPersistentHandler(LPCWSTR handlerText, LPCWSTR description, LPCWSTR filterText) {
  WString handlerKey = WString(kClsidPrefix) + handlerText;
  LONG status = WriteKey(handlerKey, nullptr, description);
  if (status != ERROR_SUCCESS) return status;
  WString addinsKey = handlerKey + W("\\PersistentAddinsRegistered");
  status = WriteKey(addinsKey, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return WriteKey(addinsKey + W("\\") + kIFilterKeyName, nullptr, filterText);
}

LONG BindExtension(LPCWSTR extension, LPCWSTR handlerText) {
  WString extensionKey = extension;
  LONG status = WriteKey(extensionKey, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return WriteKey(extensionKey + W("\\PersistentHandler"), nullptr, handlerText);
}

LONG RegisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count) {
  LONG status = ERROR_SUCCESS;
  for (ULONG i = 0; i < count; ++i) status = BindExtension(table[i].extension, handlerText);
  return status;
}

LONG UnbindExtension(LPCWSTR extension, LPCWSTR handlerText, bool dropEmptyExtensionKey) {
  const WString extensionKey = extension;
  LONG status = DeleteKeyIfDefaultIs(HKEY_CLASSES_ROOT, extensionKey + W("\\PersistentHandler"), handlerText);
  if (status == ERROR_SUCCESS && dropEmptyExtensionKey && IsEmptyKey(extensionKey))
    status = RegDeleteKeyW(HKEY_CLASSES_ROOT, extensionKey.c_str());
  return status;
}

LONG UnregisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count) {
  LONG result = ERROR_SUCCESS;
  for (ULONG i = 0; i < count; ++i) {
    LONG status = UnbindExtension(table[i].extension, handlerText, false);
    if (status != ERROR_SUCCESS && (result == ERROR_SUCCESS || (RemovalRefused(status) && !RemovalRefused(result))))
      result = status;
  }
  return result;
}

LONG DeleteClassKey(LPCWSTR classText) {
  WString key = WString(kClsidPrefix) + classText;
  return SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

LONG DeleteKeyIfDefaultIs(HKEY root, const WString& path, LPCWSTR owner) {
  WString named;
  LONG status = ReadDefaultString(root, path, &named);
  if (status != ERROR_SUCCESS) return status;
  if (_wcsicmp(named.c_str(), owner) != 0) return ERROR_FILE_NOT_FOUND;
  return SHDeleteKeyW(root, path.c_str());
}

bool RemovalRefused(LONG status) { return status != ERROR_SUCCESS && !IsAbsence(status); }

void RemovalOutcome::Add(LONG status) {
  if (RemovalRefused(status)) m_refused = true;
  if (IsAbsence(status)) m_absent = true;
}

HRESULT RemovalOutcome::Result() const {
  if (m_refused) return SELFREG_E_CLASS;
  return m_absent ? S_FALSE : S_OK;
}
