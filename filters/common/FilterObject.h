// Base of the stock filter objects: one object answering IFilter,
// IPersistFile, IPersistStream, IPersist and IUnknown, with an interlocked
// reference count that holds the module's object count while it lives. The
// derived class supplies the chunk protocol and what loading means to it.
// A filter object is used by one thread at a time, as its host drives it.
#pragma once

#include <new>

#include "compat/Win32Compat.h"

class CFilterObject : public IFilter, public IPersistFile, public IPersistStream {
 public:
  // IUnknown (IFilter's is the identity).
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IFilter: BindRegion is never served by the stock filters.
  STDMETHODIMP BindRegion(FILTERREGION origPos, REFIID riid, void** ppunk) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* pClassID) override;

  // IPersistFile: a filter reads, it never saves.
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;
  STDMETHODIMP Save(LPCOLESTR pszFileName, BOOL fRemember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR pszFileName) override;
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override;

  // IPersistStream
  STDMETHODIMP Load(IStream* pStm) override;
  STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;

 protected:
  explicit CFilterObject(REFCLSID clsid);
  virtual ~CFilterObject();

  // Replace whatever was loaded before; on failure nothing stays loaded.
  virtual HRESULT LoadFromFile(LPCWSTR pszFileName) = 0;
  virtual HRESULT LoadFromStream(IStream* pStm) = 0;

  // Creates an object of the derived class T and asks it for riid.
  template <class T>
  static HRESULT CreateAndQuery(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* pObject = new (std::nothrow) T();
    if (!pObject) return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    pObject->Release();
    return hr;
  }

 private:
  CFilterObject(const CFilterObject&) = delete;
  CFilterObject& operator=(const CFilterObject&) = delete;

  LONG m_cRef = 1;
  CLSID m_clsid;
  WString m_path;  // the file loaded by path; empty after a stream load
};
