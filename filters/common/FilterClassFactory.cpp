// Class object of a stock filter module.
#include "FilterClassFactory.h"

#include "FilterModule.h"

CFilterClassFactory::CFilterClassFactory(CreateFunction pfnCreate) : m_pfnCreate(pfnCreate) {
  FilterModuleAddRef();
}

CFilterClassFactory::~CFilterClassFactory() { FilterModuleRelease(); }

STDMETHODIMP CFilterClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CFilterClassFactory::AddRef() { return m_refCount.AddRef(); }
STDMETHODIMP_(ULONG) CFilterClassFactory::Release() { return m_refCount.Release(this); }

STDMETHODIMP CFilterClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  return m_pfnCreate(riid, ppv);
}

STDMETHODIMP CFilterClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    FilterModuleAddRef();
  } else {
    FilterModuleRelease();
  }
  return S_OK;
}
