// Parser for serialized property sets (the "\005..." streams of a compound
// file): header, sections, and typed property values, into plain C++ values.
// Pure functions over a byte range: no COM, no allocation handed out, no
// global state, so any thread may call them and the fuzz target can drive
// them directly. Every offset and count read from the bytes is checked
// against the enclosing range before use; malformed input yields an error
// HRESULT, never a read outside the range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/types.h"

namespace arcwise_platform::stg {

// Property ids with a meaning of their own in every set.
constexpr uint32_t kPidDictionary = 0;
constexpr uint32_t kPidCodePage = 1;
constexpr uint32_t kPidLocale = 0x80000000u;
constexpr uint32_t kPidBehavior = 0x80000003u;

// The Unicode code page marker: strings of a set with this code page are
// stored as UTF-16.
constexpr uint16_t kCodePageUnicode = 1200;

// One variable-size element (string, blob, clipboard data, class id).
struct PropertyString {
  bool present = false;    // false for a string stored with size 0 (a null string)
  std::string bytes;       // VT_LPSTR of a non-Unicode set (no terminator), VT_BLOB,
                           // VT_CF data, VT_CLSID (16 bytes)
  std::u16string text;     // VT_LPWSTR, and VT_LPSTR of a Unicode set (no terminator)
  int32_t clipFormat = 0;  // VT_CF only
};

// A typed value. vt keeps the VT_VECTOR bit. Fixed-size element types fill
// `numbers` (the element's bits, zero-extended); the others fill `strings`.
// A scalar has exactly one element; VT_EMPTY and VT_NULL have none.
struct PropertyValue {
  uint16_t vt = 0;
  std::vector<uint64_t> numbers;
  std::vector<PropertyString> strings;
};

struct ParsedProperty {
  uint32_t id = 0;
  PropertyValue value;
};

// One section, its properties in stream order. The dictionary (id 0) is not
// decoded and not listed; properties of types this parser does not decode
// are left out too (their bytes are skipped by offset, so the rest of the
// section still reads).
struct ParsedSection {
  FMTID fmtid{};
  bool hasCodePage = false;
  uint16_t codePage = 0;
  std::vector<ParsedProperty> properties;
};

// Where the sections of a stream start, and the stream's own header fields.
struct PropertySetHeader {
  uint16_t version = 0;
  uint32_t systemIdentifier = 0;  // the writer's OS version (STATPROPSETSTG::dwOSVersion)
  CLSID clsid{};
  struct SectionRef {
    FMTID fmtid{};
    uint32_t offset = 0;
  };
  std::vector<SectionRef> sections;
};

// Reads the stream header. STG_E_INVALIDHEADER for a wrong byte order mark,
// an unknown version, a section count other than 1 or 2, or a header that
// does not fit in the bytes.
HRESULT ParsePropertySetHeader(const uint8_t* data, size_t size, PropertySetHeader* header);

// Decodes section `index` of the header. STG_E_INVALIDHEADER when the
// section does not fit the stream or its property table does not fit the
// section, when the code page property is not a VT_I2, or when a property id
// repeats; STG_E_DOCFILECORRUPT when a supported value runs past the section
// end or is inconsistent with the code page (odd byte count of a Unicode
// string); E_OUTOFMEMORY when allocation fails.
HRESULT ParsePropertySection(const uint8_t* data, size_t size, const PropertySetHeader& header,
                             size_t index, ParsedSection* section);

// Header plus every section; the first failure is returned.
HRESULT ParsePropertySetStream(const uint8_t* data, size_t size, PropertySetHeader* header,
                               std::vector<ParsedSection>* sections);

}  // namespace arcwise_platform::stg
