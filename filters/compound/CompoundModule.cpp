// Entry point and exports of libarcwise-compound-filter.so: the compound-document
// filter that leaves the OLE summary properties to its caller.
#include <windows.h>

#include "FilterGuids.h"
#include "FilterModule.h"
#include "FilterRegistration.h"
#include "CompoundFilter.h"

#define FILTER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const LPCWSTR kCompoundExtensions[] = {
    W(".doc"), W(".dot"), W(".xls"), W(".xlt"), W(".ppt"), W(".pot"),
    W(".msg"), W(".msi"), W(".pub"), W(".vsd"),
};

const FilterModuleInfo kCompoundModule = {
    &CLSID_ArcwiseCompoundFilter,
    W("Quillmark Arcwise Compound Document Filter"),
    &CLSID_ArcwiseCompoundHandler,
    W("Quillmark Arcwise Compound Document Persistent Handler"),
    kCompoundExtensions,
    sizeof(kCompoundExtensions) / sizeof(kCompoundExtensions[0]),
    &CCompoundFilter::Create,
};

}  // namespace

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    FilterModuleSetHandle(reinterpret_cast<HMODULE>(hInstance));
    DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(hInstance));
  }
  return TRUE;
}
ARCWISE_DEFINE_DLLMAIN_HOOKS()

FILTER_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return FilterModuleGetClassObject(kCompoundModule, rclsid, riid, ppv);
}
FILTER_EXPORT HRESULT DllCanUnloadNow() { return FilterModuleCanUnloadNow(); }
FILTER_EXPORT HRESULT DllRegisterServer() { return RegisterFilterModule(kCompoundModule); }
FILTER_EXPORT HRESULT DllUnregisterServer() { return UnregisterFilterModule(kCompoundModule); }
