// The entry point and the four server exports of a stock filter module, the
// same for every one of them: a module's own source states what it serves
// (its FilterModuleInfo) and names it once here. Use at namespace scope in
// exactly one source file of the module.
#pragma once

#include "FilterModule.h"
#include "FilterRegistration.h"

#define ARCWISE_DEFINE_FILTER_MODULE(info)                                                      \
  extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {                 \
    if (dwReason == DLL_PROCESS_ATTACH) {                                                       \
      FilterModuleSetHandle(reinterpret_cast<HMODULE>(hInstance));                              \
      DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(hInstance));                          \
    }                                                                                           \
    return TRUE;                                                                                \
  }                                                                                             \
  ARCWISE_DEFINE_DLLMAIN_HOOKS()                                                                \
  ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,         \
                                                          LPVOID* ppv) {                        \
    return FilterModuleGetClassObject(info, rclsid, riid, ppv);                                 \
  }                                                                                             \
  ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return FilterModuleCanUnloadNow(); } \
  ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterFilterModule(info); } \
  ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterFilterModule(info); }
