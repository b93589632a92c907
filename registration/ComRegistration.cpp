// Every key is closed before the next one is created, so a failure part-way
// leaves no handle behind and whatever was written stays for a later
// unregistration to remove (nothing is rolled back).
#include "registration/ComRegistration.h"

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

LONG RegisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count) {
  LONG status = ERROR_SUCCESS;
  for (ULONG i = 0; i < count; ++i) {
    WString extensionKey = table[i].extension;
    status = WriteKey(extensionKey, nullptr, nullptr);
    if (status == ERROR_SUCCESS)
      status = WriteKey(extensionKey + W("\\PersistentHandler"), nullptr, handlerText);
  }
  return status;
}

LONG UnregisterExtensions(const FilterExtension* table, ULONG count) {
  LONG result = ERROR_SUCCESS;
  for (ULONG i = 0; i < count; ++i) {
    WString key = WString(table[i].extension) + W("\\PersistentHandler");
    LONG status = SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    if (status != ERROR_SUCCESS) result = status;
  }
  return result;
}

LONG DeleteClassKey(LPCWSTR classText) {
  WString key = WString(kClsidPrefix) + classText;
  return SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}
