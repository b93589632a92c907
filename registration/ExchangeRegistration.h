// Registration of the filter with Exchange search, below every Exchange
// search root found in the registry. Best effort: callers ignore the result.
// Any thread.
#pragma once

#include "registration/SearchRoots.h"

// Appends "SOFTWARE\Microsoft\ExchangeServer\v15\HubTransportRole\" when that
// key exists. Returns the list's size.
ULONG CollectExchangeV15Root(SearchRootList* roots);

// S_OK (and a level-3 line), SELFREG_E_CLASS when a root failed, E_FAIL when
// no Exchange root was found.
HRESULT RegisterWithExchange(LPCWSTR filterText, LPCWSTR modulePath, LPCWSTR threadingModel,
                             const FilterExtension* table, ULONG count);
HRESULT UnregisterFromExchange(LPCWSTR filterText, const FilterExtension* table, ULONG count);
