// query.dll for the Wine smoke test only. Wine's LoadIFilter answers
// E_NOTIMPL, so without this the archive filter would find no filter for any
// file inside an archive. This does what Windows' LoadIFilter does for a
// filter registered in the persistent-handler layout: extension ->
// PersistentHandler -> PersistentAddinsRegistered\{IFilter} -> class ->
// CoCreateInstance -> IPersistFile::Load. Nothing registers it; the test
// loads it in place of Wine's own through WINEDLLOVERRIDES.
#include <windows.h>
#include <objbase.h>
#include <filter.h>
#include <ntquery.h>
#include <shlwapi.h>

#include <string>

namespace {

// The default value of HKEY_CLASSES_ROOT\subKey, or empty.
std::wstring ClassesRootDefault(const std::wstring& subKey) {
  WCHAR value[512] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return value;
}

}  // namespace

STDAPI LoadIFilter(LPCWSTR pwcsPath, IUnknown* pUnkOuter, void** ppIUnk) {
  if (!ppIUnk) return E_INVALIDARG;
  *ppIUnk = nullptr;
  if (!pwcsPath || pUnkOuter) return E_INVALIDARG;  // the module never aggregates

  LPCWSTR extension = PathFindExtensionW(pwcsPath);
  if (!extension || !*extension) return REGDB_E_CLASSNOTREG;
  const std::wstring handler = ClassesRootDefault(std::wstring(extension) + L"\\PersistentHandler");
  if (handler.empty()) return REGDB_E_CLASSNOTREG;
  WCHAR iidText[40] = {};
  StringFromGUID2(IID_IFilter, iidText, 40);
  const std::wstring filterText =
      ClassesRootDefault(L"CLSID\\" + handler + L"\\PersistentAddinsRegistered\\" + iidText);
  if (filterText.empty()) return REGDB_E_CLASSNOTREG;
  CLSID clsid = {};
  HRESULT hr = CLSIDFromString(filterText.c_str(), &clsid);
  if (FAILED(hr)) return hr;

  IFilter* pFilter = nullptr;
  hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter, reinterpret_cast<void**>(&pFilter));
  if (FAILED(hr)) return hr == E_NOINTERFACE ? E_FAIL : hr;
  IPersistFile* pPersistFile = nullptr;
  hr = pFilter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pPersistFile));
  if (FAILED(hr)) {
    pFilter->Release();
    return E_NOINTERFACE;  // the caller may try a stream instead
  }
  hr = pPersistFile->Load(pwcsPath, STGM_READ | STGM_SHARE_DENY_NONE);
  pPersistFile->Release();
  if (FAILED(hr)) {
    pFilter->Release();
    return hr;
  }
  *ppIUnk = pFilter;
  return S_OK;
}
