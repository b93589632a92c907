// Shell light-weight helpers of the platform: recursive key deletion now,
// streams and path helpers where the COM layer provides them.
#pragma once

#include "win/registry.h"

extern "C" {
// Deletes a key with all its subkeys and values.
LSTATUS SHDeleteKeyW(HKEY hkey, LPCWSTR pszSubKey);
}  // extern "C"

// ---- Streams and paths (provided by the platform's COM layer) ---------------
#include "objbase.h"  // IStream, and CoTaskMemFree for the names Stat hands out

extern "C" {
// A stream on a file, opened through CreateFileW so its share mode meets the
// other handles of the process: STGM_SHARE_DENY_WRITE shares reading,
// STGM_SHARE_DENY_READ shares writing, STGM_SHARE_DENY_NONE/COMPAT share
// everything, STGM_SHARE_EXCLUSIVE nothing. STGM_CREATE replaces the file;
// otherwise fCreate creates a new one and fails if it exists. Failures are
// HRESULT_FROM_WIN32(GetLastError()) (0x80070020 for a sharing violation).
// Stat names the full path. dwAttributes are used when creating;
// pstmTemplate must be NULL.
HRESULT SHCreateStreamOnFileEx(LPCWSTR pszFile, DWORD grfMode, DWORD dwAttributes, BOOL fCreate,
                               IStream* pstmTemplate, IStream** ppstm);
// A read-write stream over a private copy of cbInit bytes (pInit may be NULL
// with cbInit 0); grows as it is written. NULL when out of memory. Stat has no
// name. Clones share the bytes and keep their own seek pointer.
IStream* SHCreateMemStream(const BYTE* pInit, UINT cbInit);

// The extension of the last path component: a pointer to its last '.', or to
// the terminator when it has none. '\' and '/' end a component, and a space
// after the dot cancels it, as on Windows.
LPWSTR PathFindExtensionW(LPCWSTR pszPath);
// FALSE for a path from a root: one that starts with '\' or '/' (so also
// UNC paths) or with a drive letter and ':'; TRUE otherwise, and for null.
BOOL PathIsRelativeW(LPCWSTR pszPath);
}  // extern "C"
