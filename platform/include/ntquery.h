// Windows Search's filter loader (query.dll on Windows): LoadIFilter finds
// the filter registered for a file's type through the persistent-handler
// layout of HKEY_CLASSES_ROOT, creates it and loads it with the file by path.
// Umbrella for filter.h as on Windows. Thread-safe; the calling thread needs
// a COM apartment (or the process's multithreaded one), as for
// CoCreateInstance.
#pragma once

#include "filter.h"
#include "objbase.h"

extern "C" {
// Looks up HKCR\<extension>\PersistentHandler (default value: the handler's
// class id), then the default value of
// HKCR\CLSID\<handler>\PersistentAddinsRegistered\{IID_IFilter} (the
// filter's class id; IID_IFilter is {89BCB740-6119-101A-BCB7-00DD010655AF}),
// creates the filter in process, and calls its IPersistFile::Load(path,
// STGM_READ | STGM_SHARE_DENY_NONE). On success *ppIUnk holds the filter's
// IUnknown (the caller owns that one reference). On failure *ppIUnk is null
// and nothing stays alive:
//   E_INVALIDARG          null path or null ppIUnk;
//   REGDB_E_CLASSNOTREG   the name has no extension, or the extension no
//                         persistent handler, or the handler no filter;
//   CO_E_CLASSSTRING      the registered filter text is no class id;
//   CoCreateInstance's code (REGDB_E_CLASSNOTREG when the filter class has no
//                         InprocServer32, CLASS_E_NOAGGREGATION, ...);
//   E_FAIL                the created object is no IFilter;
//   E_NOINTERFACE         the filter has no IPersistFile: it can only be
//                         loaded from a stream, which is the caller's route;
//   Load's own failure code, unchanged.
// With pUnkOuter the filter is created aggregated and *ppIUnk is its inner
// IUnknown.
HRESULT LoadIFilter(LPCWSTR pwcsPath, IUnknown* pUnkOuter, void** ppIUnk);
}  // extern "C"
