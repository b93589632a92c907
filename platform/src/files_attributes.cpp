// File attributes: the directory bit from the file system, the DOS bits from
// the extended attribute (see files_common.h).
#include <sys/stat.h>

#include <cerrno>

#include "files_common.h"
#include "posix_util.h"

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string path = arcwise_platform::FilePath(lpFileName);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    arcwise_platform::SetLastErrorForName(path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return arcwise_platform::AttributesFromStat(st, arcwise_platform::ReadDosBits(path));
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string path = arcwise_platform::FilePath(lpFileName);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    arcwise_platform::SetLastErrorForName(path);
    return FALSE;
  }
  // The directory bit and FILE_ATTRIBUTE_NORMAL describe, they are not kept.
  if (!arcwise_platform::WriteDosBits(path, dwFileAttributes & arcwise_platform::kStoredDosBits)) {
    arcwise_platform::SetLastErrorForName(path);
    return FALSE;
  }
  return TRUE;
}
