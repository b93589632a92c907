// Module handle, object count and the class-object export of a stock filter.
#include "FilterModule.h"



#include "FilterClassFactory.h"

namespace {

LONG g_moduleCount = 0;
HMODULE g_hModule = nullptr;

}  // namespace

void FilterModuleSetHandle(HMODULE hModule) { g_hModule = hModule; }
HMODULE FilterModuleHandle() { return g_hModule; }

void FilterModuleAddRef() { InterlockedIncrement(&g_moduleCount); }
void FilterModuleRelease() { InterlockedDecrement(&g_moduleCount); }
LONG FilterModuleCount() { return InterlockedCompareExchange(&g_moduleCount, 0, 0); }

HRESULT FilterModuleGetClassObject(const FilterModuleInfo& info, REFCLSID rclsid, REFIID riid,
                                   void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != *info.filterClsid) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) CFilterClassFactory(info.createFilter);
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

HRESULT FilterModuleCanUnloadNow() { return FilterModuleCount() == 0 ? S_OK : S_FALSE; }
