// LoadIFilter: persistent-handler lookup, creation and loading by path.
#include <ntquery.h>
#include <shlwapi.h>

#include "com_internal.h"

namespace {

// The filter class text registered for the extension of pwcsPath.
HRESULT FindFilterClass(LPCWSTR pwcsPath, WString* filterText) {
  LPCWSTR extension = PathFindExtensionW(pwcsPath);
  if (!extension || !*extension) return REGDB_E_CLASSNOTREG;
  WString handler;
  if (arcwise_com::ReadClassesRootDefault(WString(extension) + W("\\PersistentHandler"), &handler) !=
          ERROR_SUCCESS ||
      handler.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  WString addin = W("CLSID\\") + handler + W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter);
  if (arcwise_com::ReadClassesRootDefault(addin, filterText) != ERROR_SUCCESS || filterText->empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  return S_OK;
}

}  // namespace

HRESULT LoadIFilter(LPCWSTR pwcsPath, IUnknown* pUnkOuter, void** ppIUnk) {
  if (!ppIUnk) return E_INVALIDARG;
  *ppIUnk = nullptr;
  if (!pwcsPath) return E_INVALIDARG;

  WString filterText;
  HRESULT hr = FindFilterClass(pwcsPath, &filterText);
  if (FAILED(hr)) return hr;
  CLSID clsid = CLSID_NULL;
  hr = CLSIDFromString(filterText.c_str(), &clsid);
  if (FAILED(hr)) return hr;

  // An aggregated object hands out its inner IUnknown only; the filter's
  // interfaces are then reached through it.
  IUnknown* pUnknown = nullptr;
  hr = CoCreateInstance(clsid, pUnkOuter, CLSCTX_INPROC_SERVER, pUnkOuter ? IID_IUnknown : IID_IFilter,
                        reinterpret_cast<void**>(&pUnknown));
  if (FAILED(hr)) {
    // E_NOINTERFACE is reserved for "try a stream": an object that is no
    // filter at all cannot be helped by one.
    return hr == E_NOINTERFACE ? E_FAIL : hr;
  }
  if (pUnkOuter) {
    IFilter* pFilter = nullptr;
    hr = pUnknown->QueryInterface(IID_IFilter, reinterpret_cast<void**>(&pFilter));
    if (FAILED(hr)) {
      pUnknown->Release();
      return E_FAIL;
    }
    pFilter->Release();
  }

  IPersistFile* pPersistFile = nullptr;
  hr = pUnknown->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pPersistFile));
  if (FAILED(hr) || !pPersistFile) {
    pUnknown->Release();
    return E_NOINTERFACE;
  }
  hr = pPersistFile->Load(pwcsPath, STGM_READ | STGM_SHARE_DENY_NONE);
  pPersistFile->Release();
  if (FAILED(hr)) {
    pUnknown->Release();
    return hr;
  }

  // The caller gets the object's identity, whatever interface created it.
  if (pUnkOuter) {
    *ppIUnk = pUnknown;
    return S_OK;
  }
  IUnknown* pIdentity = nullptr;
  hr = pUnknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity));
  pUnknown->Release();
  if (FAILED(hr)) return hr;
  *ppIUnk = pIdentity;
  return S_OK;
}
