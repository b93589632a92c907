#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::storage) &&
                  alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION),
              "a critical section holds its lock in place");

std::recursive_mutex* LockOf(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(cs->storage));
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->storage) std::recursive_mutex(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) { LockOf(cs)->~recursive_mutex(); }

void EnterCriticalSection(LPCRITICAL_SECTION cs) { LockOf(cs)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { LockOf(cs)->unlock(); }

// The Win32 functions take plain LONG storage; atomic_ref gives it
// sequentially consistent read-modify-write like the Interlocked family.
LONG InterlockedIncrement(LONG volatile* addend) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(addend)).fetch_add(1) + 1;
}
LONG InterlockedDecrement(LONG volatile* addend) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(addend)).fetch_sub(1) - 1;
}
LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).exchange(value);
}
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
  std::atomic_ref<LONG>(*const_cast<LONG*>(destination)).compare_exchange_strong(comparand, exchange);
  return comparand;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
