// Entry point and exports of libarcwise-compound-filter.so: the compound-document
// filter that leaves the OLE summary properties to its caller.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModule.h"
#include "FilterRegistration.h"
#include "CompoundFilter.h"

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

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    FilterModuleSetHandle(reinterpret_cast<HMODULE>(hInstance));
    DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(hInstance));
  }
  return TRUE;
}
ARCWISE_DEFINE_DLLMAIN_HOOKS()

ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return FilterModuleGetClassObject(kCompoundModule, rclsid, riid, ppv);
}
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return FilterModuleCanUnloadNow(); }
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
  return RegisterFilterModule(kCompoundModule);
}
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return UnregisterFilterModule(kCompoundModule);
}
