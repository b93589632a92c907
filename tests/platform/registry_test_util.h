// Helpers shared by the registry tests: a scoped environment override (to
// switch databases mid-process) and a fresh test key under
// HKEY_CURRENT_USER\Software\ArcwiseTests that is removed when it goes out of
// scope. Single-threaded use from the test body.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include <shlwapi.h>
#include <windows.h>

namespace registry_test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = std::string(old);
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old) setenv(m_name.c_str(), m_old->c_str(), 1);
    else unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

inline WString TestKeyPath(const WString& name) { return W("Software\\ArcwiseTests\\") + name; }

class TestKey {
 public:
  explicit TestKey(const WString& name, HKEY root = HKEY_CURRENT_USER)
      : m_root(root), m_path(TestKeyPath(name)) {
    SHDeleteKeyW(m_root, m_path.c_str());
    m_status = RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &m_key, nullptr);
  }
  ~TestKey() {
    if (m_key) RegCloseKey(m_key);
    SHDeleteKeyW(m_root, m_path.c_str());
  }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  HKEY get() const { return m_key; }
  LSTATUS status() const { return m_status; }
  const WString& path() const { return m_path; }

 private:
  HKEY m_root;
  WString m_path;
  HKEY m_key = nullptr;
  LSTATUS m_status = ERROR_SUCCESS;
};

// Writes a string value with its terminator, as Windows callers do.
inline LSTATUS SetString(HKEY key, LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

inline LSTATUS SetDword(HKEY key, LPCWSTR name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value));
}

// Reads a value's type and raw bytes; the status is RegQueryValueExW's.
inline LSTATUS ReadRaw(HKEY key, LPCWSTR name, DWORD* type, std::string* bytes) {
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  bytes->assign(size, '\0');
  status = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes->data()), &size);
  bytes->resize(size);
  return status;
}

inline std::string Bytes(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), size);
}

}  // namespace registry_test
