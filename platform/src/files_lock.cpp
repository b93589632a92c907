// LockFileEx / UnlockFileEx over open-file-description locks, which belong to
// one open (as a Windows lock belongs to one handle) and go with it.
#include <fcntl.h>

#include <cerrno>
#include <cstdint>

#include "files_common.h"
#include "files_handles.h"
#include "posix_util.h"

namespace {

// Checks the arguments, then sets (type F_RDLCK / F_WRLCK) or clears
// (F_UNLCK) the range through fcntl's command.
BOOL ApplyLock(HANDLE hFile, DWORD reserved, DWORD lengthLow, DWORD lengthHigh, const OVERLAPPED* overlapped,
               short type, int command) {
  if (reserved != 0 || !overlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The range must fit fcntl's signed offsets.
  const uint64_t start = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
  const uint64_t length = (static_cast<uint64_t>(lengthHigh) << 32) | lengthLow;
  constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
  if (length == 0 || start > kMax || length > kMax - start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto file = arcwise_platform::LookupFile(hFile);
  if (!file) return FALSE;
  struct flock range = {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(start);
  range.l_len = static_cast<off_t>(length);
  for (;;) {
    if (fcntl(file->fd, command, &range) == 0) return TRUE;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) {
      SetLastError(ERROR_LOCK_VIOLATION);
    } else if (errno == EBADF) {
      SetLastError(ERROR_ACCESS_DENIED);  // the handle's rights do not allow this kind
    } else {
      arcwise_platform::SetLastErrorFromErrno();
    }
    return FALSE;
  }
}

}  // namespace

BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped) {
  return ApplyLock(hFile, dwReserved, nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh, lpOverlapped,
                   (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK,
                   (dwFlags & LOCKFILE_FAIL_IMMEDIATELY) ? F_OFD_SETLK : F_OFD_SETLKW);
}

BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow,
                  DWORD nNumberOfBytesToUnlockHigh, LPOVERLAPPED lpOverlapped) {
  return ApplyLock(hFile, dwReserved, nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh, lpOverlapped,
                   F_UNLCK, F_OFD_SETLK);
}
