// Critical sections, one-time initialisation and interlocked operations.
// A CRITICAL_SECTION is recursive for its owning thread, as on Windows.
#pragma once

#include "win/types.h"

typedef struct _CRITICAL_SECTION {
  // The lock lives in place (made by Initialize, ended by Delete): nothing is
  // allocated, so initialising cannot fail, as on Windows.
  alignas(16) unsigned char storage[64];
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

extern "C" {
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);
LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);

DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
void Sleep(DWORD dwMilliseconds);
}  // extern "C"
