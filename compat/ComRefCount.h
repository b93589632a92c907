// CComRefCount: the interlocked reference count behind IUnknown::AddRef and
// Release of every COM object the product serves (filter objects and class
// objects, the module's and the stock filters' alike). It starts at 1, the
// creator's reference. The object owns its counter as a member; Release
// deletes the object when the last reference goes, so the counter is never
// touched after that. Any thread may call either method.
#pragma once

#include "compat/Win32Compat.h"

class CComRefCount {
 public:
  ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_count)); }

  // pObject is the object that owns this counter; it is deleted through its
  // own (virtual or final) destructor when the count reaches zero.
  template <class T>
  ULONG Release(T* pObject) {
    const LONG count = InterlockedDecrement(&m_count);
    if (count == 0) delete pObject;
    return static_cast<ULONG>(count);
  }

 private:
  LONG m_count = 1;
};
