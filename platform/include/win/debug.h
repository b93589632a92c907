// Debug output: OutputDebugStringW writes to the process's standard error,
// the "system debugger" of a Linux host. Tests install a capture to see the
// lines instead. Thread-safe: each call is written whole.
#pragma once

#include "win/types.h"

extern "C" {
void OutputDebugStringW(LPCWSTR lpOutputString);
void OutputDebugStringA(LPCSTR lpOutputString);
}  // extern "C"

// Platform extra: while a capture is installed, every OutputDebugString call
// is handed to it (as UTF-16) instead of standard error. Pass nullptr to
// remove it. The callback may be called from any thread, one call at a time.
typedef void (*DebugOutputCapture)(LPCWSTR text, void* context);
void ArcwiseSetDebugOutputCapture(DebugOutputCapture capture, void* context);
