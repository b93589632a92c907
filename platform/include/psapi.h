// Process status of the platform: the memory figures a program reads about
// itself, as psapi.h declares them. Only the calling process can be asked
// (GetCurrentProcess()); any thread may call.
#pragma once

#include "win/types.h"

struct PROCESS_MEMORY_COUNTERS {
  DWORD cb;
  DWORD PageFaultCount;
  SIZE_T PeakWorkingSetSize;
  SIZE_T WorkingSetSize;
  SIZE_T QuotaPeakPagedPoolUsage;
  SIZE_T QuotaPagedPoolUsage;
  SIZE_T QuotaPeakNonPagedPoolUsage;
  SIZE_T QuotaNonPagedPoolUsage;
  SIZE_T PagefileUsage;
  SIZE_T PeakPagefileUsage;
};
typedef PROCESS_MEMORY_COUNTERS* PPROCESS_MEMORY_COUNTERS;

extern "C" {
// The pseudo-handle that stands for the calling process.
HANDLE GetCurrentProcess();
// The working set (resident memory) now and at its peak, in bytes, and the
// page faults (major and minor) so far; the pool and page-file figures are
// 0. ERROR_INVALID_HANDLE for any process but the caller's,
// ERROR_INSUFFICIENT_BUFFER when cb is smaller than the record.
BOOL GetProcessMemoryInfo(HANDLE Process, PPROCESS_MEMORY_COUNTERS ppsmemCounters, DWORD cb);
}  // extern "C"
