#include "working_folder.h"

#include <windows.h>

namespace {

const WCHAR kProductKey[] = W("SOFTWARE\\Quillmark\\Arcwise");

// A REG_SZ TempPath of at least two characters, as the filter accepts it
// (not REG_EXPAND_SZ, which the filter does not take either).
WString ReadTempPath() {
  WCHAR data[1024] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kProductKey, W("TempPath"), RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data,
                   &size) != ERROR_SUCCESS)
    return WString();
  WString path(data);
  return path.size() < 2 ? WString() : path;
}

// The filter's own test: an existing folder in which a file can be made.
bool Usable(const WString& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  WCHAR probe[MAX_PATH] = {};
  if (GetTempFileNameW(folder.c_str(), W("QMK"), 0, probe) == 0) return false;
  DeleteFileW(probe);
  return true;
}

std::string Shown(const WString& folder) {
  std::string path = PosixPathFromWide(folder.c_str());
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

}  // namespace

WorkingFolder FindWorkingFolder() {
  WorkingFolder result;
  const WString configured = ReadTempPath();
  if (!configured.empty()) {
    if (Usable(configured)) {
      result.path = Shown(configured);
      return result;
    }
    result.unusableTempPath = Shown(configured);
  }
  WCHAR system[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, system);
  if (length > 0 && length <= MAX_PATH) result.path = Shown(WString(system, length));
  return result;
}
