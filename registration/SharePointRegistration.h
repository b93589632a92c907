// Registration of the filter with SharePoint through the filter-registration
// objects that its versions install, tried in a fixed order. Best effort:
// every outcome is logged at level 3 and callers ignore the result. Runs on
// the calling thread, which it enters into a single-threaded apartment for
// its own duration.
#pragma once

#include "compat/Win32Compat.h"

#include "registration/FilterExtensions.h"
#include "registration/IFilterRegistration.h"

// fRegister: TRUE registers, FALSE unregisters. Only the records of `group`
// are passed. Returns the code of CoInitialize when that fails (nothing is
// then contacted or logged), else S_OK when some try succeeded, else the
// last try's failure.
HRESULT RegisterWithSharePoint(BOOL fRegister, const CLSID* pclsidFilter,
                               const FilterExtension* table, ULONG count, ULONG group);

// Creates the object of `clsid` and asks it for the registration interface.
// GUID_NULL gives E_NOINTERFACE.
HRESULT CreateRegistrationObject(REFCLSID clsid, IFilterRegistration** ppRegistration);

// Calls entry 14 (register) or entry 4 (unregister) with the extensions and
// second names of the group's records; returns that call's result.
HRESULT CallFilterRegistration(BOOL fRegister, IFilterRegistration* pRegistration,
                               const CLSID* pclsidFilter, const FilterExtension* table,
                               ULONG count, ULONG group);
