// Search roots: registry paths below HKEY_LOCAL_MACHINE, each ending in a
// backslash, under which a SQL Server full-text instance or an Exchange
// search reads the filters it may load. Writing and removing the filter
// below one root, collecting roots from an MSFTESQLInstMap-style key, and
// running one product operation over a list of roots. Stateless; any thread.
#pragma once

#include <vector>

#include "compat/Win32Compat.h"

#include "registration/FilterExtensions.h"

using SearchRootList = std::vector<WString>;

// Writes root\CLSID\<filter> (module path, ThreadingModel, Flags = 1) and
// root\Filters\<extension> (filter text) for each record. Nothing is written
// when the root itself does not open. Win32 error code.
LONG RegisterUnderRoot(const WString& root, LPCWSTR filterText, LPCWSTR modulePath,
                       LPCWSTR threadingModel, const FilterExtension* table, ULONG count);

// Deletes root\CLSID\<filter> and, for each record, root\Filters\<extension>
// when it names our filter (one naming another filter stays and counts as
// not found); every deletion is tried. The last non-zero code, else 0.
LONG UnregisterUnderRoot(const WString& root, LPCWSTR filterText, const FilterExtension* table,
                         ULONG count);

// Appends the "RegRoot" of every subkey of `base` (a backslash added when
// missing). Returns the number of roots in the list afterwards.
ULONG CollectInstMapRoots(LPCWSTR base, SearchRootList* roots);

// What a product operation does under each root, and the line it logs when
// every root succeeded (null: none).
struct SearchRootOperation {
  bool registering;
  LPCWSTR filterText;
  LPCWSTR modulePath;      // registering only
  LPCWSTR threadingModel;  // registering only
  const FilterExtension* table;
  ULONG count;
  LPCWSTR successLine;
};

// E_FAIL for an empty list (nothing logged); SELFREG_E_CLASS when any root
// failed (the others are still handled); else S_OK and the success line.
HRESULT RunOnSearchRoots(const SearchRootList& roots, const SearchRootOperation& operation);
