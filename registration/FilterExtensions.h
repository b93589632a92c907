// The extension table of the filter: which file extensions the module binds
// to its persistent handler and announces to the search products. Constant
// data owned by the module; read by the registration code on whatever thread
// calls the self-registration exports.
#pragma once

#include "compat/Win32Compat.h"

struct FilterExtension {
  LPCWSTR extension;  // with its leading dot; a key name under HKCR and under "Filters\"
  LPCWSTR extraName;  // optional second name, passed to SharePoint only; may be null
  ULONG group;        // SharePoint registration passes only the records of one group
};

extern const FilterExtension g_filterExtensions[];
extern const ULONG g_filterExtensionCount;
