// The work behind DllRegisterServer and DllUnregisterServer: the COM class,
// the persistent handler and the extension bindings, then the search
// products. Nothing is kept between calls and no lock is taken; both run on
// the caller's thread, any number of times, in any order.
#pragma once

#include "compat/Win32Compat.h"

#include "registration/FilterExtensions.h"

// Registers the filter class served by `module` (InprocServer32 names that
// module's file). S_OK, or SELFREG_E_CLASS when the module path or a class
// text cannot be had or any COM row fails; the search products are contacted
// only after every COM row succeeded, and never change the result.
HRESULT RegisterServer(HMODULE module, const FilterExtension* table, ULONG count);

// Removes the filter from the search products, then the extension bindings
// that still name our handler, and both class keys. S_OK; S_FALSE when
// something was already gone (or an extension is bound to another product's
// handler, which stays); SELFREG_E_CLASS when a removal was refused (access
// denied, a busy or damaged registry) or the handler text cannot be formed;
// StringFromCLSID's code when the filter text cannot be formed.
HRESULT UnregisterServer(const FilterExtension* table, ULONG count);
