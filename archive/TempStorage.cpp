#include "archive/TempStorage.h"

#include <vector>

#include "diagnostics/Debugger.h"

namespace {

bool IsDotEntry(LPCWSTR name) {
  return (name[0] == W('.') && name[1] == 0) || (name[0] == W('.') && name[1] == W('.') && name[2] == 0);
}

}  // namespace

bool CreateTempDirectory(LPCWSTR tempPath, LPCWSTR prefix, WString& dir) {
  WCHAR name[MAX_PATH] = {};
  LPCWSTR error = nullptr;
  if (!tempPath || !*tempPath) {
    error = W("tempPath parameter is not defined");
  } else if (GetTempFileNameW(tempPath, prefix ? prefix : W(""), 0, name) == 0) {
    error = W("Error getting temp file name");
  } else if (!DeleteFileW(name)) {
    error = W("Error deleting auto generated temp file");
  } else if (!CreateDirectoryW(name, nullptr)) {
    // Someone took the name between the delete and the create; no retry.
    error = W("Error creating temp directory");
  } else {
    MarkNotContentIndexed(name);
  }

  if (error) {
    g_debugger.Print(1, W("ERROR: CreateTempDirectory() failed for %s. Error descr: = %s \n"),
                     tempPath, error);
    return false;
  }
  dir = name;
  return true;
}

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

bool DeleteDirectoryContent(const WString& dir) {
  std::vector<WString> folders;
  std::vector<WString> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + W("\\*.*")).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      // cFileName is a fixed array: never trust it to be terminated.
      found.cFileName[MAX_PATH - 1] = 0;
      if (IsDotEntry(found.cFileName)) continue;
      WString path = dir + W("\\") + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(std::move(path));
      } else {
        files.push_back(std::move(path));
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }

  bool result = true;
  for (const WString& folder : folders) {
    if (!DeleteDirectoryContent(folder)) result = false;
    if (!RemoveDirectoryW(folder.c_str())) result = false;
  }
  for (const WString& file : files) {
    if (!DeleteFileW(file.c_str())) {
      g_debugger.Print(1, W("ERROR: DeleteDirectoryContent->DeleteFile failed for %s \n"),
                       file.c_str());
      result = false;
    }
  }
  return result;
}

void MarkNotContentIndexed(LPCWSTR path) {
  if (!path) return;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)) {
    return;
  }
  SetFileAttributesW(path, attributes | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}
