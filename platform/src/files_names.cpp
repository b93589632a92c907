// Names in the file system: deleting files, making and removing folders, the
// CRT's access check, and the public path translation.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <io.h>

#include "files_common.h"
#include "files_handles.h"
#include "posix_util.h"

std::string PosixPathFromWide(LPCWSTR path) { return arcwise_platform::PosixPath(path); }

BOOL DeleteFileW(LPCWSTR lpFileName) {
  std::string path;
  struct stat st;
  if (!arcwise_platform::StatNamedFile(lpFileName, false, &path, &st)) return FALSE;
  // Windows deletes neither folders nor read-only files through this call.
  if (S_ISDIR(st.st_mode) ||
      (!S_ISLNK(st.st_mode) && (arcwise_platform::ReadDosBits(path) & FILE_ATTRIBUTE_READONLY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // The name goes at once (POSIX has no delete-pending state); opens that
  // share delete keep working on the unnamed file.
  if (!arcwise_platform::DeleteUnderShareRules({st.st_dev, st.st_ino}, &unlink, path.c_str())) {
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  UNREFERENCED_PARAMETER(lpSecurityAttributes);
  std::string path;
  if (!arcwise_platform::NamedFilePath(lpPathName, &path)) return FALSE;
  // Owner-only, for the reason CreateFileW's new files are (files_io.cpp).
  if (mkdir(path.c_str(), 0700) != 0) {
    // mkdir's ENOENT always means a missing parent.
    if (errno == ENOENT || errno == ENOTDIR) {
      SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
      arcwise_platform::SetLastErrorFromErrno();
    }
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if (!lpExistingFileName || !*lpExistingFileName || !lpNewFileName || !*lpNewFileName ||
      (dwFlags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string from = arcwise_platform::FilePath(lpExistingFileName);
  const std::string to = arcwise_platform::FilePath(lpNewFileName);
  struct stat source;
  if (lstat(from.c_str(), &source) != 0) {
    arcwise_platform::SetLastErrorForName(from);
    return FALSE;
  }
  const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  struct stat target;
  const bool targetExists = lstat(to.c_str(), &target) == 0;
  if (targetExists && !replace) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (targetExists && S_ISDIR(target.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const arcwise_platform::FileKey sourceKey{source.st_dev, source.st_ino};
  const arcwise_platform::FileKey targetKey =
      targetExists ? arcwise_platform::FileKey{target.st_dev, target.st_ino} : sourceKey;
  return arcwise_platform::RunUnderShareRules({sourceKey, targetKey}, [&] {
    // Without replacing, a target made since the check above must still win.
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
  }) ? TRUE : FALSE;
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  std::string path;
  struct stat st;
  if (!arcwise_platform::StatNamedFile(lpPathName, false, &path, &st)) return FALSE;
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (arcwise_platform::ReadDosBits(path) & FILE_ATTRIBUTE_READONLY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (rmdir(path.c_str()) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
    } else {
      arcwise_platform::SetLastErrorForName(path);
    }
    return FALSE;
  }
  return TRUE;
}

int _waccess(LPCWSTR path, int mode) {
  if (!path || (mode & ~(W_OK_W | R_OK_W))) {
    errno = EINVAL;
    return -1;
  }
  std::string posixPath = arcwise_platform::FilePath(WView(path));
  int posixMode = F_OK;
  if (mode & W_OK_W) posixMode |= W_OK;
  if (mode & R_OK_W) posixMode |= R_OK;
  if (access(posixPath.c_str(), posixMode) != 0) return -1;
  if (mode & W_OK_W) {
    // The DOS read-only bit denies writing as it does on Windows, where the
    // CRT looks only at that bit; folders are always writable there.
    struct stat st;
    if (stat(posixPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
        (arcwise_platform::ReadDosBits(posixPath) & FILE_ATTRIBUTE_READONLY)) {
      errno = EACCES;
      return -1;
    }
  }
  return 0;
}
