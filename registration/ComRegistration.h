// The COM side of self-registration: the filter class, the persistent
// handler and the extension bindings below HKEY_CLASSES_ROOT, and their
// removal. Each step returns a Win32 error code (0 on success). Stateless;
// they run on whichever thread called the export and take no lock.
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

// For each record: the extension key (existing values kept) and its
// "PersistentHandler" key naming the handler. Every record is tried; the
// result is that of the last call made for the last record.
LONG RegisterExtensions(LPCWSTR handlerText, const FilterExtension* table, ULONG count);

// Deletes "<extension>\PersistentHandler" for each record; the extension key
// stays. The result is the last non-zero code, else 0.
LONG UnregisterExtensions(const FilterExtension* table, ULONG count);

// Deletes "CLSID\<text>" with everything below it.
LONG DeleteClassKey(LPCWSTR classText);
