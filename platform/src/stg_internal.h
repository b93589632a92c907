// Internal seams of the structured-storage code: turning a parsed value into
// a caller-owned PROPVARIANT, and building the IPropertySetStorage object over
// the property-set streams read from one compound file. Not part of the
// public API. The functions are thread-safe; the objects they make may be
// used from any thread, one thread at a time.
#pragma once

#include <string>
#include <vector>

#include <propidl.h>

#include "stg_property_set.h"

namespace arcwise_platform::stg {

// One "\005..." stream of a compound file, read whole. name is UTF-8.
struct PropertySetStreamBytes {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Fills *out (which must hold no value) with a copy of value, allocated with
// CoTaskMemAlloc. VT_LPSTR values keep the bytes of the set's code page; in a
// Unicode (1200) set they are converted to the ANSI code page, as the
// ANSI-typed value has no Unicode form. On failure *out is VT_EMPTY and
// E_OUTOFMEMORY is returned.
HRESULT PropVariantFromParsed(const PropertyValue& value, bool unicodeSet, PROPVARIANT* out);

// The property-set storage over the given streams, asked for riid.
HRESULT CreatePropertySetStorage(std::vector<PropertySetStreamBytes> streams, REFIID riid, void** ppv);

}  // namespace arcwise_platform::stg
