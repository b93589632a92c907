// Entry point and exports of libarcwise-text-filter.so: the plain-text
// filter for common text and source file types.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModule.h"
#include "FilterRegistration.h"
#include "TextFilter.h"

namespace {

const LPCWSTR kTextExtensions[] = {
    W(".txt"),  W(".text"), W(".log"),  W(".csv"), W(".tsv"),  W(".md"),   W(".ini"), W(".cfg"),
    W(".json"), W(".yaml"), W(".yml"),  W(".xml"), W(".c"),    W(".h"),    W(".cpp"), W(".hpp"),
    W(".cc"),   W(".cs"),   W(".py"),   W(".java"), W(".js"),  W(".ts"),   W(".sh"),  W(".bat"),
    W(".cmd"),  W(".ps1"),  W(".sql"),  W(".rs"),  W(".go"),   W(".rb"),   W(".pl"),  W(".css"),
};

const FilterModuleInfo kTextModule = {
    &CLSID_ArcwiseTextFilter,
    W("Quillmark Arcwise Plain Text Filter"),
    &CLSID_ArcwiseTextHandler,
    W("Quillmark Arcwise Plain Text Persistent Handler"),
    kTextExtensions,
    sizeof(kTextExtensions) / sizeof(kTextExtensions[0]),
    &CTextFilter::Create,
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
  return FilterModuleGetClassObject(kTextModule, rclsid, riid, ppv);
}
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return FilterModuleCanUnloadNow(); }
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
  return RegisterFilterModule(kTextModule);
}
ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return UnregisterFilterModule(kTextModule);
}
