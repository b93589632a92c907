// Fresh names for files in a folder, drawn from the platform's
// temporary-name service, which creates each reserving file exclusively and
// owner-only. It lives with the logger because the log file is the first
// user (OutputMode 2 names its file at start-up); archive/TempStorage.h,
// whose users make temporary items too, passes it on. Stateless; any thread
// may call it.
#pragma once

#include "compat/Win32Compat.h"

// Reserves a unique name "qmk<hex>.<extension>" in folder and stores the full
// name in fileName (extension null: the service's ".TMP" is kept). No file of
// that name exists afterwards: the caller creates it. On failure logs one
// level-1 line and returns false.
bool CreateTempFile(const WString& folder, WString& fileName, LPCWSTR extension);
