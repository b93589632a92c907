// The module's entry point and its COM exports. DllMain runs when the shared
// object is loaded and unloaded (the platform's hooks stand in for the
// Windows loader) and does no more than a loader-lock entry point may: it
// starts the logger and logs. DllGetClassObject and DllCanUnloadNow may be
// called from any thread.
#include <new>

#include "compat/Win32Compat.h"

#include "compat/ExceptionBarrier.h"

#include "diagnostics/Debugger.h"
#include "diagnostics/FilterConfiguration.h"
#include "filter/Arcwise.h"
#include "module/ClassFactory.h"
#include "server/ServerState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved) {
  UNREFERENCED_PARAMETER(reserved);
  g_hModule = hModule;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(hModule);
      g_debugger.Start(ARCWISE_PRODUCT_KEY, W("Quillmark Arcwise Filter"));
      g_debugger.Print(1, W("INFO: DLL was loaded \n"));
      break;
    case DLL_PROCESS_DETACH:
      g_debugger.Print(1, W("INFO: DLL was unloaded \n"));
      break;
    default:
      break;
  }
  return TRUE;
}

ARCWISE_DEFINE_DLLMAIN_HOOKS()

ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv) *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_ArcwiseFilter)) return CLASS_E_CLASSNOTAVAILABLE;

  return ExceptionBarrier([&] {
    // A new class object for every call: there is no shared one to keep alive.
    auto* pFactory = new (std::nothrow) CFilterCF<CArcwise>();
    if (!pFactory) return E_OUTOFMEMORY;
    if (FAILED(pFactory->QueryInterface(riid, ppv))) {
      pFactory->Release();
      return E_UNEXPECTED;
    }
    pFactory->Release();
    return S_OK;
  });
}

ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return InterlockedCompareExchange(&g_moduleRefCount, 0, 0) > 0 ? S_FALSE : S_OK;
}
