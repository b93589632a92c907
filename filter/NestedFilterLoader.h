// Obtaining the filter that the machine has registered for one extracted
// file, already loaded with that file: first by path through LoadIFilter;
// when that loader answers E_NOINTERFACE (the filter cannot load by path),
// the filter named by the extension's persistent handler is created by class
// id and loaded from a read-only stream over the file.
//
// Ownership: the references handed out belong to the caller. A filter loaded
// from a stream may read it at any time, so the caller keeps the stream as
// long as the filter. Nothing is kept here and every failure leaves the file
// closed. Runs on the caller's thread in the caller's COM apartment; takes no
// lock. Exceptions (out of memory) are not caught: what is held is released
// on the way out and the caller decides.
#pragma once

#include "compat/ComPtr.h"
#include "compat/Win32Compat.h"

// The outcome of LoadNestedFilter: an object loaded with the file (and the
// stream it was loaded from, on the stream route), or nothing.
struct NestedFilter {
  ComPtr<IUnknown> object;
  ComPtr<IStream> stream;  // null on the path route

  explicit operator bool() const { return static_cast<bool>(object); }
};

// The filter for the extracted file at path (a full path), or an empty
// result. Failures are not reported; the stream route logs its own.
NestedFilter LoadNestedFilter(LPCWSTR path);

// The persistent handler's filter for the file behind pStream, created by
// class id and loaded from pStream. out is emptied first; true when out
// holds the filter's IUnknown.
bool CreateDefaultFilter(IStream* pStream, ComPtr<IUnknown>& out);

// The filter class id registered (machine-wide) for fileName's extension, as
// text. out is untouched when false.
bool FindPersistentHandlerFilter(LPCWSTR fileName, WString& out);
