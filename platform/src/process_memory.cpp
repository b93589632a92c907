// GetCurrentProcess and GetProcessMemoryInfo on getrusage and
// /proc/self/statm: the peak comes from the kernel's high-water mark, the
// current working set from the resident page count.
#include <psapi.h>
#include <windows.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The pseudo-handle Windows uses for the calling process.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

SIZE_T ResidentBytes() {
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  unsigned long long totalPages = 0, residentPages = 0;
  const int read = std::fscanf(statm, "%llu %llu", &totalPages, &residentPages);
  std::fclose(statm);
  if (read != 2) return 0;
  return static_cast<SIZE_T>(residentPages) * static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
}

}  // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL GetProcessMemoryInfo(HANDLE Process, PPROCESS_MEMORY_COUNTERS ppsmemCounters, DWORD cb) {
  if (Process != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!ppsmemCounters || cb < sizeof(PROCESS_MEMORY_COUNTERS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  struct rusage usage;
  std::memset(&usage, 0, sizeof usage);
  if (getrusage(RUSAGE_SELF, &usage) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::memset(ppsmemCounters, 0, sizeof(PROCESS_MEMORY_COUNTERS));
  ppsmemCounters->cb = sizeof(PROCESS_MEMORY_COUNTERS);
  ppsmemCounters->PageFaultCount = static_cast<DWORD>(usage.ru_minflt + usage.ru_majflt);
  ppsmemCounters->WorkingSetSize = ResidentBytes();
  // ru_maxrss counts KiB; the current figure can be a page ahead of the last
  // accounting of the peak.
  const SIZE_T peak = static_cast<SIZE_T>(usage.ru_maxrss) * 1024;
  const SIZE_T now = ppsmemCounters->WorkingSetSize;
  ppsmemCounters->PeakWorkingSetSize = peak > now ? peak : now;
  return TRUE;
}
