#include "diagnostics/TempFileName.h"

#include "diagnostics/Debugger.h"

bool CreateTempFile(const WString& folder, WString& fileName, LPCWSTR extension) {
  WCHAR name[MAX_PATH] = {};
  LPCWSTR error = nullptr;
  if (GetTempFileNameW(folder.c_str(), W("qmk"), 0, name) == 0) {
    error = W("Error getting temp file name");
  } else if (!DeleteFileW(name)) {
    error = W("Error deleting auto generated temp file");
  }
  if (error) {
    g_debugger.Print(1, W("ERROR: CreateTempFile() failed for %s. Error descr: = %s \n"),
                     folder.c_str(), error);
    return false;
  }

  WString result = name;
  if (extension) {
    const size_t dot = result.rfind(W('.'));
    if (dot != WString::npos) {
      result.erase(dot + 1);
    } else {
      result += W('.');
    }
    result += extension;
  }
  fileName = result;
  return true;
}
