// Registry helpers of every test folder: writing and reading typed values on
// an open key (the status is the registry call's, for tests of the registry
// itself), the same by path for a test's set-up (a failure fails the test),
// and TestKey, a key of one test that is created empty and removed when it
// goes out of scope. Test threads only; each test process has its own
// database (support/test_env.h), so keys never meet another process's.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <shlwapi.h>
#include <windows.h>

namespace arcwise_test {

// ---- On an open key: the registry's own status --------------------------------

inline LSTATUS SetRaw(HKEY key, LPCWSTR name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// A string stored with its terminator, as Windows callers store them.
inline LSTATUS SetString(HKEY key, LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
  return SetRaw(key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

inline LSTATUS SetDword(HKEY key, LPCWSTR name, DWORD value) {
  return SetRaw(key, name, REG_DWORD, &value, sizeof(value));
}

// A value's type and raw bytes; the status is RegQueryValueExW's.
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

// ---- By path: what a test finds stored ------------------------------------------

struct StoredValue {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string data;

  DWORD size() const { return static_cast<DWORD>(data.size()); }
  // The text without its terminators.
  WString Text() const {
    WString text(reinterpret_cast<const WCHAR*>(data.data()), data.size() / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return text;
  }
  DWORD Dword() const {
    DWORD value = 0;
    if (data.size() >= sizeof(value)) memcpy(&value, data.data(), sizeof(value));
    return value;
  }
};

inline StoredValue ReadValue(HKEY root, const WString& path, LPCWSTR name) {
  StoredValue result;
  HKEY key = nullptr;
  result.status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
  if (result.status != ERROR_SUCCESS) return result;
  result.status = ReadRaw(key, name, &result.type, &result.data);
  RegCloseKey(key);
  return result;
}

// A REG_SZ value of root\path (the default one for a null name), or
// "<missing>" when the key, the value or that type is not there, so that one
// comparison with the expected text covers all three.
inline WString StringOrMissing(HKEY root, const WString& path, LPCWSTR name = nullptr) {
  const StoredValue value = ReadValue(root, path, name);
  if (value.status != ERROR_SUCCESS || value.type != REG_SZ) return W("<missing>");
  return value.Text();
}

inline bool KeyExists(HKEY root, const WString& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline DWORD SubKeyCount(HKEY root, const WString& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD subKeys = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return subKeys;
}

// ---- By path: a test's set-up, where any failure fails the test ------------------

inline void CreateKey(HKEY root, const WString& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << Utf16ToUtf8(path);
  RegCloseKey(key);
}

inline void SetValue(HKEY root, const WString& path, LPCWSTR name, DWORD type, const void* data, DWORD cb) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << Utf16ToUtf8(path);
  EXPECT_EQ(SetRaw(key, name, type, data, cb), ERROR_SUCCESS) << Utf16ToUtf8(path);
  RegCloseKey(key);
}

inline void SetString(HKEY root, const WString& path, LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
  SetValue(root, path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

inline void SetDword(HKEY root, const WString& path, LPCWSTR name, DWORD value) {
  SetValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

// ---- One test's key ---------------------------------------------------------------

// root\path created empty (whatever an earlier test left there is deleted
// first) and deleted again with everything below it when the key goes out
// of scope. The Set* members fail the test when the write fails.
class TestKey {
 public:
  explicit TestKey(WString path, HKEY root = HKEY_CURRENT_USER) : m_root(root), m_path(std::move(path)) {
    SHDeleteKeyW(m_root, m_path.c_str());
    m_status = RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    EXPECT_EQ(m_status, ERROR_SUCCESS) << Utf16ToUtf8(m_path);
  }
  ~TestKey() {
    if (m_key) RegCloseKey(m_key);
    SHDeleteKeyW(m_root, m_path.c_str());
  }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  // HKLM\SOFTWARE\Quillmark\ArcwiseTest\<suite>\<test><suffix>: a key named
  // after the running test, where configuration readers look.
  static WString PathOfCurrentTest(const std::string& suffix = "") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return W("SOFTWARE\\Quillmark\\ArcwiseTest\\") + Utf8ToUtf16(info->test_suite_name()) + W("\\") +
           Utf8ToUtf16(info->name()) + Utf8ToUtf16(suffix);
  }

  HKEY get() const { return m_key; }
  LSTATUS status() const { return m_status; }
  const WString& path() const { return m_path; }
  LPCWSTR Path() const { return m_path.c_str(); }

  void SetRaw(LPCWSTR name, DWORD type, const void* data, DWORD size) {
    EXPECT_EQ(arcwise_test::SetRaw(m_key, name, type, data, size), ERROR_SUCCESS);
  }
  void SetDword(LPCWSTR name, DWORD value) { EXPECT_EQ(arcwise_test::SetDword(m_key, name, value), ERROR_SUCCESS); }
  void SetString(LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
    EXPECT_EQ(arcwise_test::SetString(m_key, name, text, type), ERROR_SUCCESS);
  }

 private:
  HKEY m_root;
  WString m_path;
  HKEY m_key = nullptr;
  LSTATUS m_status = ERROR_SUCCESS;
};

}  // namespace arcwise_test
