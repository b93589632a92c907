// LockFileEx / UnlockFileEx over open-file-description locks, which belong to
// one open (as a Windows lock belongs to one handle) and go with it.
#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "files_common.h"
#include "files_handles.h"
#include "posix_util.h"

namespace {

using arcwise_platform::FileObject;
using arcwise_platform::HandleObject;

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto object = arcwise_platform::LookupHandle(handle, HandleObject::Kind::File);
  return std::static_pointer_cast<FileObject>(object);
}

// The range as fcntl takes it; false when it does not fit a signed offset.
bool Range(DWORD lengthLow, DWORD lengthHigh, const OVERLAPPED* overlapped, struct flock* range) {
  const uint64_t start = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
  const uint64_t length = (static_cast<uint64_t>(lengthHigh) << 32) | lengthLow;
  constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
  if (length == 0 || start > kMax || length > kMax - start) return false;
  *range = {};
  range->l_whence = SEEK_SET;
  range->l_start = static_cast<off_t>(start);
  range->l_len = static_cast<off_t>(length);
  return true;
}

BOOL Apply(HANDLE hFile, struct flock* range, int command) {
  auto file = LookupFile(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (;;) {
    if (fcntl(file->fd, command, range) == 0) return TRUE;
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
  struct flock range;
  if (dwReserved != 0 || !lpOverlapped ||
      !Range(nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh, lpOverlapped, &range)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  range.l_type = (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK;
  return Apply(hFile, &range, (dwFlags & LOCKFILE_FAIL_IMMEDIATELY) ? F_OFD_SETLK : F_OFD_SETLKW);
}

BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow,
                  DWORD nNumberOfBytesToUnlockHigh, LPOVERLAPPED lpOverlapped) {
  struct flock range;
  if (dwReserved != 0 || !lpOverlapped ||
      !Range(nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh, lpOverlapped, &range)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  range.l_type = F_UNLCK;
  return Apply(hFile, &range, F_OFD_SETLK);
}
