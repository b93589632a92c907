#include "diagnostics/RegistryReaders.h"

#include <vector>

#include "diagnostics/Debugger.h"

namespace {

constexpr DWORD kSystemTempPathBuffer = 4096;

// Closes the key on every way out of a reader.
class RegistryKey {
 public:
  explicit RegistryKey(LPCWSTR keyPath) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &m_key) != ERROR_SUCCESS) {
      m_key = nullptr;
    }
  }
  ~RegistryKey() {
    if (m_key) RegCloseKey(m_key);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

bool EndsInSeparator(const WString& path) {
  return !path.empty() && (path.back() == W('\\') || path.back() == W('/'));
}

}  // namespace

bool ReadRegistryDword(LPCWSTR keyPath, LPCWSTR valueName, DWORD& value) {
  if (!keyPath) return false;
  RegistryKey key(keyPath);
  if (!key.Get()) return false;
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<LPBYTE>(&data),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  // A shorter REG_DWORD would leave part of the number unset.
  if (type != REG_DWORD || size != sizeof(data)) return false;
  value = data;
  return true;
}

bool ReadRegistryString(LPCWSTR keyPath, LPCWSTR valueName, WString& value) {
  if (!keyPath) return false;
  RegistryKey key(keyPath);
  if (!key.Get()) return false;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  // One unit more than the data, so an odd byte count or a missing
  // terminator never reads past what was stored.
  std::vector<WCHAR> buffer(size / sizeof(WCHAR) + 1, 0);
  DWORD readSize = size;
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type,
                       reinterpret_cast<LPBYTE>(buffer.data()), &readSize) != ERROR_SUCCESS ||
      type != REG_SZ || readSize > size) {
    return false;
  }
  const size_t stored = readSize / sizeof(WCHAR);
  size_t length = 0;
  while (length < stored && buffer[length] != 0) ++length;
  value.assign(buffer.data(), length);
  return true;
}

bool ReadTempPath(LPCWSTR keyPath, WString& folder) {
  WString path;
  if (!ReadRegistryString(keyPath, W("TempPath"), path) || path.size() < 2) return false;
  if (!EndsInSeparator(path)) path += W('\\');
  folder = path;
  return true;
}

bool GetSystemTempPath(WString& folder) {
  std::vector<WCHAR> buffer(kSystemTempPathBuffer, 0);
  const DWORD length = GetTempPathW(kSystemTempPathBuffer, buffer.data());
  if (length == 0 || length >= kSystemTempPathBuffer) return false;
  WString path(buffer.data(), length);
  if (!EndsInSeparator(path)) path += W('\\');
  folder = path;
  return true;
}

bool CheckTempFolder(LPCWSTR folder, DWORD* failure) {
  DWORD unused = 0;
  DWORD& error = failure ? *failure : unused;
  if (!folder) {
    error = ERROR_INVALID_PARAMETER;
    g_debugger.Print(1, W("ERROR: Path is not valid: %s. Error code = %d \n"), folder,
                     static_cast<INT>(ERROR_INVALID_PARAMETER));
    return false;
  }
  const DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = GetLastError();
    // A folder that is missing is missing, whether or not its parent is.
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
    g_debugger.Print(1, W("ERROR: Path is not valid: %s. Error code = %d \n"), folder,
                     static_cast<INT>(error));
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = ERROR_DIRECTORY;
    g_debugger.Print(1, W("ERROR: Path is not a directory: %s \n"), folder);
    return false;
  }
  // The probe makes a file the way extraction will (a unique temporary
  // name), so processes probing at once never meet, and removes it again.
  WCHAR probe[MAX_PATH] = {};
  if (GetTempFileNameW(folder, W("QMK"), 0, probe) == 0) {
    error = GetLastError();
    g_debugger.Print(1, W("INFO: Access denied for: %s. Error code = %d \n"), folder,
                     static_cast<INT>(error));
    return false;
  }
  DeleteFileW(probe);
  return true;
}

bool FindAppTempDir(LPCWSTR keyPath, WString& folder, DWORD* failure) {
  WString candidate;
  if (ReadTempPath(keyPath, candidate) && CheckTempFolder(candidate.c_str())) {
    folder = candidate;
    return true;
  }
  // The system's folder is the last choice, so its failure is the one to
  // report.
  if (!GetSystemTempPath(candidate)) {
    if (failure) *failure = GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (CheckTempFolder(candidate.c_str(), failure)) {
    folder = candidate;
    return true;
  }
  return false;
}
