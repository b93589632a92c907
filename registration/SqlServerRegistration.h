// Registration of the filter with the SQL Server full-text instances found in
// the registry. Best effort: callers ignore the result. Any thread.
#pragma once

#include "registration/SearchRoots.h"

// Appends "SOFTWARE\Microsoft\Microsoft SQL Server\<instance>\MSSearch\" for
// every REG_SZ value of "...\Instance Names\SQL". Returns the list's size.
ULONG CollectSqlInstanceRoots(SearchRootList* roots);

// S_OK (and a level-3 line when registering), SELFREG_E_CLASS when a root
// failed, E_FAIL when no instance was found.
HRESULT RegisterWithSqlServer(LPCWSTR filterText, LPCWSTR modulePath, LPCWSTR threadingModel,
                              const FilterExtension* table, ULONG count);
HRESULT UnregisterFromSqlServer(LPCWSTR filterText, const FilterExtension* table, ULONG count);
