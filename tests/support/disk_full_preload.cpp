// A disk that fills up, for tests of programs that write files through the
// platform. Preloaded (LD_PRELOAD) into the program under test, this
// WriteFile stands in for the platform's: while ARCWISE_TEST_DISK_FULL_AFTER
// is set to a number of bytes, writes go through until the process has
// written that many, the write that crosses the mark stores what still fits,
// and it and every later one fail with ERROR_DISK_FULL, as ENOSPC does.
// Without the variable every call goes straight to the platform. Any thread.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

#include <windows.h>

namespace {

std::atomic<unsigned long long> g_written{0};
std::atomic<unsigned> g_refused{0};

using WriteFileFunction = BOOL (*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPVOID);

WriteFileFunction Platform() {
  static const auto function = reinterpret_cast<WriteFileFunction>(dlsym(RTLD_NEXT, "WriteFile"));
  if (!function) std::abort();
  return function;
}

}  // namespace

extern "C" {

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPVOID lpOverlapped) {
  const char* limitText = getenv("ARCWISE_TEST_DISK_FULL_AFTER");
  if (!limitText) return Platform()(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
  const unsigned long long limit = std::strtoull(limitText, nullptr, 10);
  const unsigned long long before = g_written.load();
  const unsigned long long room = before < limit ? limit - before : 0;
  if (nNumberOfBytesToWrite <= room) {
    const BOOL ok = Platform()(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
    if (ok) g_written += nNumberOfBytesToWrite;
    return ok;
  }
  DWORD stored = 0;
  if (room > 0 && Platform()(hFile, lpBuffer, static_cast<DWORD>(room), &stored, lpOverlapped)) g_written += stored;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = stored;
  ++g_refused;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// For a test that runs in the process (found with dlsym): how many writes
// were refused since the last reset (extraction that stops at a full disk is
// refused once), and a reset that also empties the disk again.
unsigned ArcwiseTestRefusedWrites() { return g_refused.load(); }
void ArcwiseTestResetDiskFull() {
  g_written = 0;
  g_refused = 0;
}

}  // extern "C"
