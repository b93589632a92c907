// libFuzzer target for the property-set stream parser: any bytes must parse
// or fail without reading outside them, and every value that parses must
// convert to a PROPVARIANT that PropVariantClear frees completely.
#include <cstring>

#include "stg_internal.h"
#include "stg_property_set.h"

using namespace arcwise_platform::stg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PropertySetHeader header;
  std::vector<ParsedSection> sections;
  if (FAILED(ParsePropertySetStream(data, size, &header, &sections))) {
    if (!sections.empty()) __builtin_trap();  // a failure leaves nothing behind
    return 0;
  }
  for (const ParsedSection& section : sections) {
    bool unicodeSet = section.hasCodePage && section.codePage == kCodePageUnicode;
    for (const ParsedProperty& property : section.properties) {
      PROPVARIANT value;
      if (FAILED(PropVariantFromParsed(property.value, unicodeSet, &value))) continue;
      // Walk the strings so AddressSanitizer checks their terminators.
      if (value.vt == VT_LPSTR && value.pszVal) (void)strlen(value.pszVal);
      if (value.vt == (VT_VECTOR | VT_LPSTR)) {
        for (ULONG i = 0; i < value.calpstr.cElems; ++i) {
          if (value.calpstr.pElems[i]) (void)strlen(value.calpstr.pElems[i]);
        }
      }
      if (PropVariantClear(&value) != S_OK) __builtin_trap();
    }
  }
  return 0;
}
