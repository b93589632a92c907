#include "registration/SelfRegistration.h"

#include "compat/Win32Compat.h"

#include "registration/ComRegistration.h"
#include "registration/ExchangeRegistration.h"
#include "registration/SharePointRegistration.h"
#include "registration/SqlServerRegistration.h"
#include "server/ServerState.h"

namespace {

const WCHAR kFilterDescription[] = W("Quillmark Arcwise Filter");
const WCHAR kHandlerDescription[] = W("Quillmark Arcwise Persistent Handler");
const WCHAR kThreadingModel[] = W("Both");

// Owns a class text from StringFromCLSID.
class ClassText {
 public:
  ClassText() = default;
  ~ClassText() { CoTaskMemFree(m_text); }
  ClassText(const ClassText&) = delete;
  ClassText& operator=(const ClassText&) = delete;

  HRESULT Form(REFCLSID clsid) { return StringFromCLSID(clsid, &m_text); }
  LPCWSTR Get() const { return m_text; }

 private:
  LPOLESTR m_text = nullptr;
};

}  // namespace

HRESULT RegisterServer(HMODULE module, const FilterExtension* table, ULONG count) {
  WCHAR modulePath[MAX_PATH];
  DWORD length = GetModuleFileNameW(module, modulePath, MAX_PATH);
  // A path cut to fit the buffer would name another file: refuse it.
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;

  ClassText filterText, handlerText;
  if (FAILED(filterText.Form(CLSID_ArcwiseFilter))) return SELFREG_E_CLASS;
  if (FAILED(handlerText.Form(CLSID_ArcwisePersistentHandler))) return SELFREG_E_CLASS;

  LONG status =
      RegisterFilterClass(filterText.Get(), kFilterDescription, modulePath, kThreadingModel);
  if (status == ERROR_SUCCESS)
    status = RegisterPersistentHandler(handlerText.Get(), kHandlerDescription, filterText.Get());
  if (status == ERROR_SUCCESS) status = RegisterExtensions(handlerText.Get(), table, count);
  if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;

  // Best effort: each product logs its own outcome.
  RegisterWithSharePoint(TRUE, &CLSID_ArcwiseFilter, table, count, 0);
  RegisterWithSqlServer(filterText.Get(), modulePath, kThreadingModel, table, count);
  RegisterWithExchange(filterText.Get(), modulePath, kThreadingModel, table, count);
  return S_OK;
}

HRESULT UnregisterServer(const FilterExtension* table, ULONG count) {
  ClassText filterText, handlerText;
  HRESULT hr = filterText.Form(CLSID_ArcwiseFilter);
  if (FAILED(hr)) return hr;
  if (FAILED(handlerText.Form(CLSID_ArcwisePersistentHandler))) return SELFREG_E_CLASS;

  // The products go first, while the class they point to still exists.
  RegisterWithSharePoint(FALSE, &CLSID_ArcwiseFilter, table, count, 0);
  UnregisterFromSqlServer(filterText.Get(), table, count);
  UnregisterFromExchange(filterText.Get(), table, count);

  RemovalOutcome outcome;
  outcome.Add(UnregisterExtensions(handlerText.Get(), table, count));
  outcome.Add(DeleteClassKey(handlerText.Get()));
  outcome.Add(DeleteClassKey(filterText.Get()));
  return outcome.Result();
}
