#include "registration/RegistryWrites.h"

LSTATUS CreateRegistrationKey(HKEY root, LPCWSTR subKey, HKEY* key) {
  return RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, key, nullptr);
}

LSTATUS SetStringValue(HKEY key, LPCWSTR name, LPCWSTR text) {
  DWORD cb = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), cb);
}
