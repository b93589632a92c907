// CopyCurFile: the answer to IPersistFile::GetCurFile, shared by the module's
// filter object and the stock filters. The caller owns the copy and frees it
// with CoTaskMemFree, as the interface prescribes; a filter that has no file
// (nothing loaded, or loaded from a stream) answers E_FAIL with a null name.
// Pure apart from the allocation; any thread.
#pragma once

#include <cstring>

#include "compat/Win32Compat.h"

// path: the loaded file, or null when there is none.
inline HRESULT CopyCurFile(LPCWSTR path, LPOLESTR* ppszFileName) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  if (!path) return E_FAIL;
  const size_t bytes = (static_cast<size_t>(lstrlenW(path)) + 1) * sizeof(OLECHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, path, bytes);
  *ppszFileName = copy;
  return S_OK;
}
