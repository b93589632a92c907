// Base of the stock filter objects: one object answering IFilter,
// IPersistFile, IPersistStream, IPersist and IUnknown, with an interlocked
// reference count that holds the module's object count while it lives. The
// derived class supplies the chunk protocol and what loading means to it.
// A filter object is used by one thread at a time, as its host drives it.
#pragma once

#include <new>

#include "compat/Win32Compat.h"

#include "compat/ComRefCount.h"

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
  // Only the last Release destroys a filter object.
  friend class CComRefCount;
  virtual ~CFilterObject();

  // Replace whatever was loaded before; on failure nothing stays loaded.
  virtual HRESULT LoadFromFile(LPCWSTR pszFileName) = 0;
  virtual HRESULT LoadFromStream(IStream* pStm) = 0;

  // Creates an object of the derived class T and asks it for riid; what a
  // stock filter's Create, declared by ARCWISE_DECLARE_FILTER_OBJECT, runs.
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

  CComRefCount m_refCount;
  CLSID m_clsid;
  WString m_path;  // the file loaded by path; empty after a stream load
};

// What every stock filter class declares, and only that: its default
// constructor (which names its class id to CFilterObject), the Create its
// module's FilterModuleInfo lists, the four chunk-protocol methods and the
// two load hooks. Opens the class body; members that follow it are private.
#define ARCWISE_DECLARE_FILTER_OBJECT(ClassName)                                                  \
 public:                                                                                          \
  ClassName();                                                                                    \
  static HRESULT Create(REFIID riid, void** ppv) { return CreateAndQuery<ClassName>(riid, ppv); } \
  STDMETHODIMP Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,           \
                    ULONG* pFlags) override;                                                      \
  STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override;                                              \
  STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;                             \
  STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override;                                      \
                                                                                                  \
 protected:                                                                                       \
  HRESULT LoadFromFile(LPCWSTR pszFileName) override;                                             \
  HRESULT LoadFromStream(IStream* pStm) override;                                                 \
                                                                                                  \
 private:
