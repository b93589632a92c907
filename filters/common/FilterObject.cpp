// Reference counting, interface lookup and the persistence plumbing shared
// by the stock filters.
#include "FilterObject.h"

#include <cstring>

#include "FilterModule.h"

CFilterObject::CFilterObject(REFCLSID clsid) : m_clsid(clsid) { FilterModuleAddRef(); }

CFilterObject::~CFilterObject() { FilterModuleRelease(); }

STDMETHODIMP CFilterObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IFilter) {
    *ppv = static_cast<IFilter*>(this);
  } else if (riid == IID_IPersistFile) {
    *ppv = static_cast<IPersistFile*>(this);
  } else if (riid == IID_IPersistStream) {
    *ppv = static_cast<IPersistStream*>(this);
  } else if (riid == IID_IPersist) {
    *ppv = static_cast<IPersist*>(static_cast<IPersistFile*>(this));
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CFilterObject::AddRef() { return ULONG(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CFilterObject::Release() {
  LONG cRef = InterlockedDecrement(&m_cRef);
  if (cRef == 0) delete this;
  return ULONG(cRef);
}

STDMETHODIMP CFilterObject::BindRegion(FILTERREGION, REFIID, void** ppunk) {
  if (ppunk) *ppunk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFilterObject::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = m_clsid;
  return S_OK;
}

STDMETHODIMP CFilterObject::IsDirty() { return S_FALSE; }

STDMETHODIMP CFilterObject::Load(LPCOLESTR pszFileName, DWORD) {
  if (!pszFileName || !*pszFileName) return E_INVALIDARG;
  m_path.clear();
  HRESULT hr = LoadFromFile(pszFileName);
  if (SUCCEEDED(hr)) m_path = pszFileName;
  return hr;
}

STDMETHODIMP CFilterObject::Save(LPCOLESTR, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CFilterObject::SaveCompleted(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP CFilterObject::GetCurFile(LPOLESTR* ppszFileName) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  if (m_path.empty()) return E_FAIL;
  size_t cb = (m_path.size() + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(cb));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, m_path.c_str(), cb);
  *ppszFileName = copy;
  return S_OK;
}

STDMETHODIMP CFilterObject::Load(IStream* pStm) {
  if (!pStm) return E_INVALIDARG;
  m_path.clear();
  return LoadFromStream(pStm);
}

STDMETHODIMP CFilterObject::Save(IStream*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CFilterObject::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
