// The two self-registration exports of the module. They hand the module's
// extension table to the workers in SelfRegistration.cpp.
#include "registration/FilterExtensions.h"
#include "registration/SelfRegistration.h"
#include "server/ServerState.h"

ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
  return RegisterServer(g_hModule, g_filterExtensions, g_filterExtensionCount);
}

ARCWISE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return UnregisterServer(g_filterExtensions, g_filterExtensionCount);
}
