#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { cs->impl = new std::recursive_mutex(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  delete static_cast<std::recursive_mutex*>(cs->impl);
  cs->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->impl)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->impl)->unlock(); }

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
