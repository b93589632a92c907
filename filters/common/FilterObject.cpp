// Reference counting, interface lookup and the persistence plumbing shared
// by the stock filters.
#include "FilterObject.h"

#include "compat/CurFile.h"

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

STDMETHODIMP_(ULONG) CFilterObject::AddRef() { return m_refCount.AddRef(); }
STDMETHODIMP_(ULONG) CFilterObject::Release() { return m_refCount.Release(this); }

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
  return CopyCurFile(m_path.empty() ? nullptr : m_path.c_str(), ppszFileName);
}

STDMETHODIMP CFilterObject::Load(IStream* pStm) {
  if (!pStm) return E_INVALIDARG;
  m_path.clear();
  return LoadFromStream(pStm);
}

STDMETHODIMP CFilterObject::Save(IStream*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CFilterObject::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
