// Writing and removing the persistent-handler layout of a stock filter, with
// the same steps the archive module uses for its own.
#include "FilterRegistration.h"

#include "compat/Win32Compat.h"

#include "registration/ComRegistration.h"

HRESULT RegisterFilterModule(const FilterModuleInfo& info) {
  WCHAR modulePath[MAX_PATH] = {};
  DWORD cch = GetModuleFileNameW(FilterModuleHandle(), modulePath, MAX_PATH);
  if (cch == 0 || cch >= MAX_PATH) return SELFREG_E_CLASS;

  const WString filterText = GuidToString(*info.filterClsid);
  const WString handlerText = GuidToString(*info.handlerClsid);
  LONG status = RegisterFilterClass(filterText.c_str(), info.filterDescription, modulePath, W("Both"));
  if (status == ERROR_SUCCESS)
    status = RegisterPersistentHandler(handlerText.c_str(), info.handlerDescription, filterText.c_str());
  for (size_t i = 0; status == ERROR_SUCCESS && i < info.extensionCount; ++i)
    status = BindExtension(info.extensions[i], handlerText.c_str());
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterFilterModule(const FilterModuleInfo& info) {
  const WString handlerText = GuidToString(*info.handlerClsid);
  RemovalOutcome outcome;
  for (size_t i = 0; i < info.extensionCount; ++i)
    outcome.Add(UnbindExtension(info.extensions[i], handlerText.c_str(), true));
  outcome.Add(DeleteClassKey(handlerText.c_str()));
  outcome.Add(DeleteClassKey(GuidToString(*info.filterClsid).c_str()));
  return outcome.Result();
}
