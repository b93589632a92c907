// UTF-16 string helpers: the Win32 lstr* family, the CRT's wide case-insensitive
// compare, and conversions between UTF-16 and UTF-8 used at the boundary to
// POSIX. All functions are pure and thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

extern "C" {
// Length in code units up to the terminator; 0 for a null pointer.
int lstrlenW(LPCWSTR s);
// Ordinal compare (code unit by code unit); null sorts before everything.
int lstrcmpW(LPCWSTR a, LPCWSTR b);
// Case-insensitive compare with simple case folding.
int lstrcmpiW(LPCWSTR a, LPCWSTR b);
int _wcsicmp(LPCWSTR a, LPCWSTR b);
int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count);
// Copies up to iMaxLength - 1 units and always terminates; returns lpString1,
// or nullptr when an argument is null or iMaxLength is not positive.
LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
}  // extern "C"

// Simple (one unit to one unit) case folding as the registry and the file
// name comparisons need it: upper case, as Windows compares names.
WCHAR FoldCaseW(WCHAR c);
WString FoldCase(std::u16string_view s);

// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
// UTF-8 -> UTF-16; each maximal ill-formed subpart becomes one U+FFFD, as
// MultiByteToWideChar(CP_UTF8) without MB_ERR_INVALID_CHARS does.
WString Utf8ToUtf16(std::string_view s);
// Null-safe views over terminated wide strings.
inline std::u16string_view WView(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }
