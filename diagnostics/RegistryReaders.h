// Reading the product's settings from the registry and choosing the working
// folder. Free functions without state: any thread may call them at any time.
// Every registry read opens its key under HKEY_LOCAL_MACHINE for reading only
// and closes it again before returning; on failure the output argument is
// left untouched. Paths are wide strings joined with backslashes.
#pragma once

#include "compat/Win32Compat.h"

// A REG_DWORD value of exactly four bytes. A null keyPath, a missing key or
// value, or a value of any other type or size gives false.
bool ReadRegistryDword(LPCWSTR keyPath, LPCWSTR valueName, DWORD& value);

// A REG_SZ value (valueName null: the key's default value), up to its first
// NUL and never beyond the stored data. REG_EXPAND_SZ counts as absent and is
// not expanded. An empty string is a success.
bool ReadRegistryString(LPCWSTR keyPath, LPCWSTR valueName, WString& value);

// The value TempPath of keyPath when it has at least two characters, ending
// in a separator (a backslash is appended when it ends in neither '\' nor '/').
bool ReadTempPath(LPCWSTR keyPath, WString& folder);

// The system's temporary folder, ending in a separator.
bool GetSystemTempPath(WString& folder);

// True when folder (ending in a separator) is an existing folder in which a
// new file can be made: a probe "QMK<hex>.TMP" is created and deleted again.
// Each failure logs one line at level 1 and, with failure, stores its Win32
// code (ERROR_PATH_NOT_FOUND for a folder that does not exist,
// ERROR_DIRECTORY for a file, the probe's code when nothing can be made).
bool CheckTempFolder(LPCWSTR folder, DWORD* failure = nullptr);

// The working folder: TempPath of keyPath when it passes CheckTempFolder,
// else the system's temporary folder when that passes, else false, with
// failure (when given) set to why the system's folder cannot be used.
bool FindAppTempDir(LPCWSTR keyPath, WString& folder, DWORD* failure = nullptr);
