// Self-registration of a stock filter module in the persistent-handler
// layout below HKEY_CLASSES_ROOT, exactly as a third-party filter registers:
//   CLSID\{filter}                 default = description
//     InprocServer32               default = the module's own path,
//                                  ThreadingModel = "Both"
//   CLSID\{handler}                default = description
//     PersistentAddinsRegistered\{89BCB740-6119-101A-BCB7-00DD010655AF}
//                                  default = {filter}
//   <.ext>\PersistentHandler       default = {handler}, for each extension
// Runs on the caller's thread and takes no lock of its own.
#pragma once

#include "FilterModule.h"

// S_OK, or SELFREG_E_CLASS when the module path or any registry write
// failed (what was written before the failure stays; unregistering removes
// it). An extension bound to another handler is taken over.
HRESULT RegisterFilterModule(const FilterModuleInfo& info);

// Removes both class keys and every extension's PersistentHandler that still
// names this module's handler; an extension key left with nothing in it is
// removed too, one holding anything else (another product's values or
// subkeys) stays as it is. S_OK; S_FALSE when something was already gone or
// an extension is bound to another handler; SELFREG_E_CLASS when a removal
// was refused.
HRESULT UnregisterFilterModule(const FilterModuleInfo& info);
