// The class object of a stock filter: creates filter objects through the
// module's creation function. Reference counted with interlocked operations;
// any thread may use it.
#pragma once

#include <new>

#include "compat/Win32Compat.h"

#include "compat/ComRefCount.h"

class CFilterClassFactory final : public IClassFactory {
 public:
  typedef HRESULT (*CreateFunction)(REFIID riid, void** ppv);
  explicit CFilterClassFactory(CreateFunction pfnCreate);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL fLock) override;

 private:
  // Only its last Release destroys a class object.
  friend class CComRefCount;
  ~CFilterClassFactory();
  CComRefCount m_refCount;
  CreateFunction m_pfnCreate;
};
