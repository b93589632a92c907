#include "self_registration.h"

#include "error_text.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* SelfRegistrationEntry)();

}  // namespace

SelfRegistration CallSelfRegistration(const std::string& module, bool unregister, bool keepLoaded) {
  SelfRegistration call;
  call.entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const WString path = Utf8ToUtf16(module);
  HMODULE handle = LoadLibraryW(path.c_str());
  if (!handle) {
    call.loadError = GetLastError();
    // The loader names what GetLastError cannot: the library that was missing.
    call.loadDetail = Utf16ToUtf8(ArcwiseLastLoadErrorText());
    if (call.loadDetail.empty()) call.loadDetail = DescribeWin32Error(call.loadError);
    return call;
  }
  // FARPROC is the generic export type; going through void (*)() tells the
  // compiler the signature is known to be the export's own.
  auto entry = reinterpret_cast<SelfRegistrationEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(handle, call.entryName)));
  if (!entry) {
    call.outcome = SelfRegistration::kEntryMissing;
  } else {
    call.outcome = SelfRegistration::kCalled;
    // A module reports a busy or damaged registry as its own failure code
    // (SELFREG_E_CLASS, say); the platform remembers what the database said
    // during this call, for LastRegistryFailureText.
    ArcwiseRegistryClearLastError();
    call.result = entry();
  }
  if (keepLoaded) {
    call.module = handle;
  } else {
    FreeLibrary(handle);
  }
  return call;
}
