// Later SharePoint versions install several of these objects side by side;
// the table says after which successes the older ones still need the call
// (SPS2010 ships with WSS4, SPS2007 with WSS3.0).
#include "registration/SharePointRegistration.h"

#include <memory>
#include <new>

#include "diagnostics/Debugger.h"

namespace {

// The SPS2001 object has no ProgID; it is reached by its class id.
// {E3ECB800-3968-11D3-B282-00C04FA3027B}
constexpr CLSID kClsidSps2001Registration = {
    0xE3ECB800, 0x3968, 0x11D3, {0xB2, 0x82, 0x00, 0xC0, 0x4F, 0xA3, 0x02, 0x7B}};

struct SharePointTry {
  LPCWSTR progId;  // null: use kClsidSps2001Registration
  LPCWSTR successLine;
  LPCWSTR failureLine;
  bool stopAfterSuccess;
};

const SharePointTry kTries[] = {
    {W("OSearch16.FilterRegistration"), W("INFO: IFilter was registered with SPS2016-19 \n"),
     W("INFO: could not register IFilter with SPS2016 \n"), true},
    {W("OSearch15.FilterRegistration"), W("INFO: IFilter was registered with SPS2013 \n"),
     W("INFO: could not register IFilter with SPS2013 \n"), true},
    {W("OSearch14.FilterRegistration"), W("INFO: IFilter was registered with SPS2010 \n"),
     W("INFO: could not register IFilter with SPS2010 \n"), false},
    {W("SPSearch4.FilterRegistration"), W("INFO: IFilter was registered with WSS4 \n"),
     W("INFO: could not register IFilter with WSS4 \n"), true},
    {W("OSearch.FilterRegistration"), W("INFO: IFilter was registered with SPS2007 \n"),
     W("INFO: could not register IFilter with SPS2007 \n"), false},
    {W("SPSearch.FilterRegistration"), W("INFO: IFilter was registered with WSS3.0 \n"),
     W("INFO: could not register IFilter with WSS3.0 \n"), true},
    {W("SPSSearch.FilterRegistration"), W("INFO: successfully registered IFilter with SPS2003 \n"),
     W("INFO: could not register IFilter with SPS2003 \n"), true},
    {nullptr, W("INFO: IFilter was registered with SPS2001 \n"),
     W("INFO: could not register IFilter with SPS2001 \n"), true},
};

HRESULT RunTry(const SharePointTry& attempt, BOOL fRegister, const CLSID* pclsidFilter,
               const FilterExtension* table, ULONG count, ULONG group) {
  CLSID clsid = kClsidSps2001Registration;
  if (attempt.progId) {
    HRESULT hr = CLSIDFromProgID(attempt.progId, &clsid);
    if (FAILED(hr)) return hr;
  }
  IFilterRegistration* pRegistration = nullptr;
  HRESULT hr = CreateRegistrationObject(clsid, &pRegistration);
  if (FAILED(hr)) return hr;
  hr = CallFilterRegistration(fRegister, pRegistration, pclsidFilter, table, count, group);
  pRegistration->Release();
  return hr;
}

}  // namespace

HRESULT RegisterWithSharePoint(BOOL fRegister, const CLSID* pclsidFilter,
                               const FilterExtension* table, ULONG count, ULONG group) {
  HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) return hr;

  HRESULT result = E_FAIL;
  for (const SharePointTry& attempt : kTries) {
    HRESULT tryResult = RunTry(attempt, fRegister, pclsidFilter, table, count, group);
    if (SUCCEEDED(tryResult)) {
      g_debugger.Print(3, attempt.successLine);
      result = S_OK;
      if (attempt.stopAfterSuccess) break;
    } else {
      g_debugger.Print(3, attempt.failureLine);
      if (result != S_OK) result = tryResult;
    }
  }

  CoUninitialize();
  return result;
}

HRESULT CreateRegistrationObject(REFCLSID clsid, IFilterRegistration** ppRegistration) {
  if (!ppRegistration) return E_POINTER;
  *ppRegistration = nullptr;
  if (IsEqualGUID(clsid, GUID_NULL)) return E_NOINTERFACE;
  IUnknown* pUnknown = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                reinterpret_cast<void**>(&pUnknown));
  if (SUCCEEDED(hr))
    hr = pUnknown->QueryInterface(IID_IFilterRegistration,
                                  reinterpret_cast<void**>(ppRegistration));
  if (pUnknown) pUnknown->Release();
  return hr;
}

HRESULT CallFilterRegistration(BOOL fRegister, IFilterRegistration* pRegistration,
                               const CLSID* pclsidFilter, const FilterExtension* table,
                               ULONG count, ULONG group) {
  // Room for every record; only the group's non-null names are filled in.
  std::unique_ptr<LPCWSTR[]> extensions(new (std::nothrow) LPCWSTR[count ? count : 1]);
  std::unique_ptr<LPCWSTR[]> extraNames(new (std::nothrow) LPCWSTR[count ? count : 1]);
  if (!extensions || !extraNames) return E_OUTOFMEMORY;
  ULONG cExtensions = 0, cExtraNames = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (table[i].group != group) continue;
    if (table[i].extension) extensions[cExtensions++] = table[i].extension;
    if (table[i].extraName) extraNames[cExtraNames++] = table[i].extraName;
  }
  if (fRegister)
    return pRegistration->RegisterFilter(cExtensions, extensions.get(), 0, nullptr, cExtraNames,
                                         extraNames.get(), 0, nullptr, pclsidFilter, 0, 1, 0);
  return pRegistration->UnregisterFilter(cExtensions, extensions.get(), 0, nullptr, cExtraNames,
                                         extraNames.get(), 0, pclsidFilter, 0, 0);
}
