// The wide printf-style formatter of the platform, in the CRT's Windows names.
// It supports what the module formats: %s (a terminated wide string; "(null)"
// for a null pointer), %d, %i, %u, %x, %X with the flags '-', '0', '+', ' ',
// '#', width and precision (digits or '*'), the length modifiers h, l, ll,
// I64 and z, %c (a wide character), and %%. Any other conversion is copied
// literally. It never writes past the buffer and never reads past the
// arguments' strings. Stateless; any thread may call it.
#pragma once

#include <cstdarg>

#include "win/types.h"

extern "C" {
// Number of characters the formatted text needs, not counting the terminator.
int _vscwprintf(LPCWSTR format, va_list args);
int _scwprintf(LPCWSTR format, ...);

// Formats into buffer of `count` characters. Returns the characters written
// without the terminator; when the text does not fit, writes count characters
// (no terminator, as the CRT does) and returns -1.
int _vsnwprintf(LPWSTR buffer, size_t count, LPCWSTR format, va_list args);
int _snwprintf(LPWSTR buffer, size_t count, LPCWSTR format, ...);
}  // extern "C"

// Formats into a string object of any length; platform convenience.
WString FormatWV(LPCWSTR format, va_list args);
WString FormatW(LPCWSTR format, ...);
