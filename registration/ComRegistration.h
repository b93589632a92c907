// The persistent-handler layout below HKEY_CLASSES_ROOT, written and removed
// the same way by the archive module and by every stock filter module:
//   CLSID\{filter}                 default = description
//     InprocServer32               default = module path, ThreadingModel
//   CLSID\{handler}                default = description
//     PersistentAddinsRegistered\{IID_IFilter}   default = {filter}
//   <.ext>\PersistentHandler       default = {handler}
// Each step returns a Win32 error code (0 on success). Removal takes away
// only what names our own classes: an extension that another product has
// bound to its handler since keeps that binding. Stateless; the steps run
// on whichever thread called the export and take no lock.
#pragma once

#include "compat/Win32Compat.h"

#include "registration/FilterExtensions.h"

// The subkey under which a persistent handler names its IFilter class.
inline constexpr WCHAR kIFilterKeyName[] = W("{89BCB740-6119-101A-BCB7-00DD010655AF}");

// "CLSID\<filter>" = description; "\InprocServer32" = module path and
// "ThreadingModel". Stops at the first failing call.
LONG RegisterFilterClass(LPCWSTR filterText, LPCWSTR description, LPCWSTR modulePath,
                         LPCWSTR threadingModel);

// "CLSID\<handler>" = description, its "PersistentAddinsRegistered" key, and
// below that the IFilter key naming the filter class. Stops at the first
// failing call.
LONG RegisterPersistentHandler(LPCWSTR handlerText, LPCWSTR description, LPCWSTR filterText);

// The extension key (existing values kept) and its "PersistentHandler" key
// naming the handler; a binding to another handler is taken over.
LONG BindExtension(LPCWSTR extension, LPCWSTR handlerText);

// For each record, BindExtension. Every record is tried; the result is that
// of the last call made for the last record.
LONG RegisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count);

// Deletes "<extension>\PersistentHandler" when it names handlerText (case
// does not matter). ERROR_FILE_NOT_FOUND when there is no binding or it names
// another handler: then nothing is touched. With dropEmptyExtensionKey, an
// extension key left without values and subkeys goes too.
LONG UnbindExtension(LPCWSTR extension, LPCWSTR handlerText, bool dropEmptyExtensionKey);

// UnbindExtension for each record, keeping the extension keys. Every record
// is tried; the first code that is not ERROR_SUCCESS is kept, a refusal
// (RemovalRefused) before an absence.
LONG UnregisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count);

// Deletes "CLSID\<text>" with everything below it.
LONG DeleteClassKey(LPCWSTR classText);

// Deletes root\path with everything below it when its default value is the
// text `owner` (case does not matter); ERROR_FILE_NOT_FOUND when the key is
// missing or names something else, which is then left as it is.
LONG DeleteKeyIfDefaultIs(HKEY root, const WString& path, LPCWSTR owner);

// Whether a removal's code means it was refused (access denied, a busy or
// damaged registry, ...), as opposed to done or finding nothing to remove.
bool RemovalRefused(LONG status);

// The self-registration result of a removal: S_OK when everything was
// removed, S_FALSE when something was already absent (or another product's),
// SELFREG_E_CLASS when any removal was refused.
class RemovalOutcome {
 public:
  void Add(LONG status);
  HRESULT Result() const;

 private:
  bool m_absent = false;
  bool m_refused = false;
};
