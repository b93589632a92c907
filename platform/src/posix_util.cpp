#include "posix_util.h"

#include <cerrno>
#include <cstdlib>

namespace arcwise_platform {

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBUSY: return ERROR_BUSY;
    case EXDEV: return 17 /* ERROR_NOT_SAME_DEVICE */;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EIO: return ERROR_GEN_FAILURE;
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;
  }
}

DWORD SetLastErrorFromErrno() {
  DWORD error = Win32ErrorFromErrno(errno);
  SetLastError(error);
  return error;
}

std::string PosixPath(std::u16string_view path) {
  std::string utf8 = Utf16ToUtf8(path);
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return utf8;
}

std::string PosixPath(LPCWSTR path) { return PosixPath(WView(path)); }

WString WidePath(const std::string& posixPath) {
  WString wide = Utf8ToUtf16(posixPath);
  for (auto& c : wide) {
    if (c == u'/') c = u'\\';
  }
  return wide;
}

std::string EnvValue(const char* name) {
  const char* value = getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace arcwise_platform
