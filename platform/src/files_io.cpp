// CreateFileW and the operations on an open file handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "files_common.h"
#include "files_handles.h"
#include "posix_util.h"

using arcwise_platform::FileObject;
using arcwise_platform::LookupFile;
using arcwise_platform::HandleObject;

namespace {

// Owner-only. Windows gives a new file the access list of its folder, which
// for a user's own folders admits that user alone; POSIX has no inheritance,
// so the platform makes every file it creates private to its owner.
constexpr mode_t kNewFileMode = 0600;

bool Writes(DWORD access) {
  return access & (arcwise_platform::kAccessWrite | arcwise_platform::kAccessAppend);
}

// The open file a ReadFile or WriteFile call names, once the arguments and
// the handle's access allow the transfer; null with the last error set
// otherwise (overlapped I/O is never offered here).
std::shared_ptr<arcwise_platform::FileObject> FileForTransfer(HANDLE hFile, LPCVOID buffer, DWORD bytes,
                                                              LPVOID overlapped, bool writing) {
  auto file = LookupFile(hFile);
  if (!file) return nullptr;
  if (overlapped || (!buffer && bytes)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (writing ? !Writes(file->access) : !(file->access & arcwise_platform::kAccessRead)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return file;
}

// Opens (or creates) the file for the disposition without truncating it;
// truncation waits until the share check has passed. Returns the descriptor
// or -1 with the last error set; *created tells whether the name is new.
int OpenForDisposition(const std::string& path, int accessFlags, DWORD disposition, bool* created) {
  *created = false;
  int base = accessFlags | O_CLOEXEC | O_NOCTTY;
  for (int attempt = 0; attempt < 16; ++attempt) {
    bool mayCreate = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    if (mayCreate) {
      int fd = open(path.c_str(), base | O_CREAT | O_EXCL, kNewFileMode);
      if (fd >= 0) {
        *created = true;
        return fd;
      }
      if (errno != EEXIST) {
        arcwise_platform::SetLastErrorForName(path);
        return -1;
      }
      if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return -1;
      }
    }
    int fd = open(path.c_str(), base);
    if (fd >= 0) return fd;
    if (errno == ENOENT && mayCreate) continue;  // deleted in between: create it after all
    arcwise_platform::SetLastErrorForName(path);
    return -1;
  }
  SetLastError(ERROR_GEN_FAILURE);
  return -1;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  UNREFERENCED_PARAMETER(lpSecurityAttributes);
  UNREFERENCED_PARAMETER(hTemplateFile);
  if (!lpFileName || !*lpFileName || dwCreationDisposition < CREATE_NEW ||
      dwCreationDisposition > TRUNCATE_EXISTING) {
    SetLastError(lpFileName && *lpFileName ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DWORD access = arcwise_platform::NormalizeAccess(dwDesiredAccess);
  const bool deleteOnClose = (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  if (deleteOnClose) access |= arcwise_platform::kAccessDelete;
  const bool truncates = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
  if (dwCreationDisposition == TRUNCATE_EXISTING && !(access & arcwise_platform::kAccessWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }

  std::string path = arcwise_platform::FilePath(lpFileName);
  const bool reads = access & arcwise_platform::kAccessRead;
  const bool writes = Writes(access) || truncates;
  int accessFlags = writes ? (reads || truncates ? O_RDWR : O_WRONLY) : O_RDONLY;
  if ((access & arcwise_platform::kAccessAppend) && !(access & arcwise_platform::kAccessWrite)) {
    accessFlags |= O_APPEND;  // append-only rights: every write lands at the end
  }

  bool created = false;
  int fd = OpenForDisposition(path, accessFlags, dwCreationDisposition, &created);
  if (fd < 0) return INVALID_HANDLE_VALUE;

  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->access = access;
  file->path = path;

  struct stat st;
  if (fstat(fd, &st) != 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  file->regular = S_ISREG(st.st_mode);
  if (!created && (writes || deleteOnClose) &&
      (arcwise_platform::ReadDosBitsFd(fd) & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Overwriting an existing file writes it, whatever rights the caller asked
  // for, so it must get past the others' share modes as a writer.
  DWORD shareAccess = truncates && !created ? access | arcwise_platform::kAccessWrite : access;
  if (!arcwise_platform::AcquireShare({st.st_dev, st.st_ino}, shareAccess, dwShareMode, &file->lease)) {
    // Sharing violation: a file this call created itself must not stay behind
    // (it cannot conflict, so this only guards against a replaced name).
    if (created) unlink(path.c_str());
    return INVALID_HANDLE_VALUE;
  }
  if (truncates && !created && ftruncate(fd, 0) != 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  if (created || dwCreationDisposition == CREATE_ALWAYS) {
    DWORD bits = dwFlagsAndAttributes & arcwise_platform::kStoredDosBits;
    if ((bits || !created) && !arcwise_platform::WriteDosBitsFd(fd, bits)) {
      arcwise_platform::SetLastErrorFromErrno();
      if (created) unlink(path.c_str());
      return INVALID_HANDLE_VALUE;
    }
  }
  if (deleteOnClose) file->lease.MarkDeleteOnClose(path);

  HANDLE handle = arcwise_platform::RegisterHandle(std::move(file));
  // As Windows: CREATE_ALWAYS and OPEN_ALWAYS report whether the name existed.
  bool existed = !created && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPVOID lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto file = FileForTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpOverlapped, false);
  if (!file) return FALSE;
  auto* out = static_cast<char*>(lpBuffer);
  DWORD total = 0;
  while (total < nNumberOfBytesToRead) {
    ssize_t got = read(file->fd, out + total, nNumberOfBytesToRead - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesRead) *lpNumberOfBytesRead = total;
      arcwise_platform::SetLastErrorFromErrno();
      return FALSE;
    }
    if (got == 0) break;  // end of file: success with what was read
    total += static_cast<DWORD>(got);
    // A pipe or device may deliver the rest later; a regular file that gave
    // less than asked has nothing more now, so asking again costs a call.
    if (file->regular) break;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = total;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPVOID lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto file = FileForTransfer(hFile, lpBuffer, nNumberOfBytesToWrite, lpOverlapped, true);
  if (!file) return FALSE;
  const auto* in = static_cast<const char*>(lpBuffer);
  DWORD total = 0;
  while (total < nNumberOfBytesToWrite) {
    ssize_t put = write(file->fd, in + total, nNumberOfBytesToWrite - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
      arcwise_platform::SetLastErrorFromErrno();
      return FALSE;
    }
    total += static_cast<DWORD>(put);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                      DWORD dwMoveMethod) {
  auto file = LookupFile(hFile);
  if (!file) return FALSE;
  off_t base = 0;
  if (dwMoveMethod == FILE_CURRENT) {
    base = lseek(file->fd, 0, SEEK_CUR);
  } else if (dwMoveMethod == FILE_END) {
    struct stat st;
    base = fstat(file->fd, &st) == 0 ? st.st_size : -1;
  } else if (dwMoveMethod != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (base < 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return FALSE;
  }
  long long target;
  if (__builtin_add_overflow(static_cast<long long>(base), liDistanceToMove.QuadPart, &target)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  off_t now = lseek(file->fd, static_cast<off_t>(target), SEEK_SET);
  if (now < 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return FALSE;
  }
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = now;
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!lpFileSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (fstat(file->fd, &st) != 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return FALSE;
  }
  lpFileSize->QuadPart = st.st_size;
  return TRUE;
}

BOOL SetEndOfFile(HANDLE hFile) {
  auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!(file->access & arcwise_platform::kAccessWrite)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t here = lseek(file->fd, 0, SEEK_CUR);
  if (here < 0 || ftruncate(file->fd, here) != 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!Writes(file->access)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(file->fd) != 0) {
    arcwise_platform::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath, DWORD dwFlags) {
  UNREFERENCED_PARAMETER(dwFlags);
  auto file = LookupFile(hFile);
  if (!file) return 0;
  return arcwise_platform::CopyOutString(Utf8ToUtf16(file->path), lpszFilePath, cchFilePath);
}
