// Search roots: registry paths below HKEY_LOCAL_MACHINE, each ending in a
// backslash, under which a SQL Server full-text instance or an Exchange
// search reads the filters it may load. Writing and removing the filter
// below one root, collecting roots from an MSFTESQLInstMap-style key, and
// registering with or unregistering from one search product below all its
// roots. Stateless; any thread.
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

// A search product that reads filters below its roots: how its roots are
// found in the registry, and the line logged when every root succeeded
// (null: none).
struct SearchProduct {
  SearchRootList (*collectRoots)();
  LPCWSTR registeredLine;
  LPCWSTR unregisteredLine;
};

// RegisterUnderRoot / UnregisterUnderRoot below every root the product
// names. E_FAIL when it names none (nothing logged); SELFREG_E_CLASS when any
// root failed (the others are still handled); else S_OK and the product's
// line.
HRESULT RegisterWithSearchProduct(const SearchProduct& product, LPCWSTR filterText,
                                  LPCWSTR modulePath, LPCWSTR threadingModel,
                                  const FilterExtension* table, ULONG count);
HRESULT UnregisterFromSearchProduct(const SearchProduct& product, LPCWSTR filterText,
                                    const FilterExtension* table, ULONG count);
