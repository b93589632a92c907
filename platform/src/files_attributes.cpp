// File attributes: the directory bit from the file system, the DOS bits from
// the extended attribute (see files_common.h).
#include <sys/stat.h>

#include <cerrno>

#include "files_common.h"
#include "posix_util.h"

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  std::string path;
  struct stat st;
  if (!arcwise_platform::StatNamedFile(lpFileName, true, &path, &st)) return INVALID_FILE_ATTRIBUTES;
  return arcwise_platform::AttributesFromStat(st, arcwise_platform::ReadDosBits(path));
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  std::string path;
  struct stat st;
  if (!arcwise_platform::StatNamedFile(lpFileName, true, &path, &st)) return FALSE;
  // The directory bit and FILE_ATTRIBUTE_NORMAL describe, they are not kept.
  if (!arcwise_platform::WriteDosBits(path, dwFileAttributes & arcwise_platform::kStoredDosBits)) {
    arcwise_platform::SetLastErrorForName(path);
    return FALSE;
  }
  return TRUE;
}
