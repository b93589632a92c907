// Property-set stream decoding, in the published serialized format: a header
// with a byte order mark and up to two section references, each section a
// size, a table of (property id, offset) pairs and typed values. Every read
// goes through Cursor, which checks the position against the section end, so
// no offset or count from the bytes can move a read outside them.
#include "stg_property_set.h"

#include <cstring>
#include <new>
#include <unordered_set>

#include <propidl.h>

namespace arcwise_platform::stg {

namespace {

constexpr size_t kHeaderSize = 28;        // byte order, version, system id, clsid, count
constexpr size_t kSectionRefSize = 20;    // fmtid + offset
constexpr uint16_t kByteOrderMark = 0xFFFE;

uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t LoadU64(const uint8_t* p) { return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32); }

GUID LoadGuid(const uint8_t* p) {
  GUID g;
  g.Data1 = LoadU32(p);
  g.Data2 = LoadU16(p + 4);
  g.Data3 = LoadU16(p + 6);
  memcpy(g.Data4, p + 8, 8);
  return g;
}

size_t Pad4(size_t n) { return (n + 3) & ~size_t(3); }

// A read position inside [begin, end). Each Take checks the length first;
// a failed Take leaves the cursor unusable for the caller, who returns.
class Cursor {
 public:
  Cursor(const uint8_t* begin, size_t size, size_t pos) : m_begin(begin), m_size(size), m_pos(pos) {}

  size_t Remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }

  // A pointer to the next n bytes, or null when fewer remain.
  const uint8_t* Take(size_t n) {
    if (n > Remaining()) return nullptr;
    const uint8_t* p = m_begin + m_pos;
    m_pos += n;
    return p;
  }
  // Skips up to n bytes of padding; padding cut short by the end is accepted,
  // since nothing after it is read from this value.
  void SkipPadding(size_t n) { m_pos += n < Remaining() ? n : Remaining(); }

  bool U32(uint32_t* v) {
    const uint8_t* p = Take(4);
    if (!p) return false;
    *v = LoadU32(p);
    return true;
  }

 private:
  const uint8_t* m_begin;
  size_t m_size;
  size_t m_pos;
};

// Bytes one element of a fixed-size type occupies; 0 for the others.
size_t FixedSize(uint16_t type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_FILETIME:
      return 8;
    default:
      return 0;
  }
}

bool IsVariableType(uint16_t type) {
  return type == VT_LPSTR || type == VT_LPWSTR || type == VT_BLOB || type == VT_CF || type == VT_CLSID;
}

// Types that may appear as vectors: everything fixed-size, the two string
// types, clipboard data and class ids (the published format has no vector
// of blobs, and PROPVARIANT no member for one).
bool IsVectorElementType(uint16_t type) {
  return FixedSize(type) != 0 || type == VT_LPSTR || type == VT_LPWSTR || type == VT_CF ||
         type == VT_CLSID;
}

bool IsSupported(uint16_t vt) {
  if (vt & VT_VECTOR) {
    if (vt & ~(VT_VECTOR | VT_TYPEMASK)) return false;
    return IsVectorElementType(uint16_t(vt & VT_TYPEMASK));
  }
  return vt == VT_EMPTY || vt == VT_NULL || FixedSize(vt) != 0 || IsVariableType(vt);
}

// UTF-16LE code units up to the first terminator.
std::u16string DecodeUtf16(const uint8_t* p, size_t units) {
  std::u16string text;
  text.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    char16_t c = char16_t(LoadU16(p + 2 * i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

// Bytes up to the first terminator (the string stored may carry trailing
// nulls; the value is what precedes the first).
std::string DecodeBytes(const uint8_t* p, size_t n) {
  const void* nul = memchr(p, 0, n);
  size_t len = nul ? size_t(static_cast<const uint8_t*>(nul) - p) : n;
  return std::string(reinterpret_cast<const char*>(p), len);
}

HRESULT ReadVariableElement(Cursor& cur, uint16_t type, bool unicodeSet, PropertyString* out) {
  if (type == VT_CLSID) {
    const uint8_t* p = cur.Take(16);
    if (!p) return STG_E_DOCFILECORRUPT;
    out->present = true;
    out->bytes.assign(reinterpret_cast<const char*>(p), 16);
    return S_OK;
  }
  uint32_t count;
  if (!cur.U32(&count)) return STG_E_DOCFILECORRUPT;
  // Byte length of the data that follows the count, in 64 bits so that a
  // character count of billions cannot wrap.
  uint64_t length = type == VT_LPWSTR ? uint64_t(count) * 2 : count;
  if (length > cur.Remaining()) return STG_E_DOCFILECORRUPT;
  const uint8_t* p = cur.Take(size_t(length));
  if (!p) return STG_E_DOCFILECORRUPT;
  out->present = count != 0;
  switch (type) {
    case VT_LPSTR:
      if (unicodeSet) {
        if (length % 2 != 0) return STG_E_DOCFILECORRUPT;
        out->text = DecodeUtf16(p, size_t(length / 2));
      } else {
        out->bytes = DecodeBytes(p, size_t(length));
      }
      break;
    case VT_LPWSTR:
      out->text = DecodeUtf16(p, size_t(count));
      break;
    case VT_BLOB:
      out->present = true;  // an empty blob is still a blob
      out->bytes.assign(reinterpret_cast<const char*>(p), size_t(length));
      break;
    case VT_CF:
      // The size counts the 4-byte clipboard format plus the data.
      if (length < 4) return STG_E_DOCFILECORRUPT;
      out->present = true;
      out->clipFormat = int32_t(LoadU32(p));
      out->bytes.assign(reinterpret_cast<const char*>(p + 4), size_t(length - 4));
      break;
    default:
      return STG_E_DOCFILECORRUPT;
  }
  cur.SkipPadding(Pad4(size_t(length)) - size_t(length));
  return S_OK;
}

HRESULT ReadFixedElement(Cursor& cur, uint16_t type, uint64_t* out) {
  size_t n = FixedSize(type);
  const uint8_t* p = cur.Take(n);
  if (!p) return STG_E_DOCFILECORRUPT;
  switch (n) {
    case 1: *out = p[0]; break;
    case 2: *out = LoadU16(p); break;
    case 4: *out = LoadU32(p); break;
    default: *out = LoadU64(p); break;
  }
  return S_OK;
}

HRESULT ReadValue(Cursor& cur, uint16_t vt, bool unicodeSet, PropertyValue* value) {
  value->vt = vt;
  uint16_t type = uint16_t(vt & VT_TYPEMASK);
  if (vt == VT_EMPTY || vt == VT_NULL) return S_OK;
  if (!(vt & VT_VECTOR)) {
    if (FixedSize(type) != 0) {
      uint64_t number;
      HRESULT hr = ReadFixedElement(cur, type, &number);
      if (FAILED(hr)) return hr;
      value->numbers.push_back(number);
      return S_OK;
    }
    value->strings.emplace_back();
    return ReadVariableElement(cur, type, unicodeSet, &value->strings.back());
  }

  uint32_t count;
  if (!cur.U32(&count)) return STG_E_DOCFILECORRUPT;
  // Every element takes at least this many bytes, so a count the remaining
  // bytes cannot hold is rejected before anything is reserved for it.
  size_t fixed = FixedSize(type);
  size_t minimum = fixed != 0 ? fixed : (type == VT_CLSID ? 16 : 4);
  if (uint64_t(count) * minimum > cur.Remaining()) return STG_E_DOCFILECORRUPT;
  if (fixed != 0) {
    value->numbers.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t number;
      HRESULT hr = ReadFixedElement(cur, type, &number);
      if (FAILED(hr)) return hr;
      value->numbers.push_back(number);
    }
    return S_OK;
  }
  value->strings.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    value->strings.emplace_back();
    HRESULT hr = ReadVariableElement(cur, type, unicodeSet, &value->strings.back());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ParseSectionUnchecked(const uint8_t* data, size_t size, const PropertySetHeader& header,
                              size_t index, ParsedSection* section) {
  const PropertySetHeader::SectionRef& ref = header.sections[index];
  if (ref.offset > size || size - ref.offset < 8) return STG_E_INVALIDHEADER;
  const uint8_t* base = data + ref.offset;
  uint32_t sectionSize = LoadU32(base);
  uint32_t propertyCount = LoadU32(base + 4);
  if (sectionSize < 8 || sectionSize > size - ref.offset) return STG_E_INVALIDHEADER;
  if (uint64_t(propertyCount) * 8 > uint64_t(sectionSize) - 8) return STG_E_INVALIDHEADER;

  section->fmtid = ref.fmtid;
  section->properties.clear();

  // The code page decides how strings read, so find it before any value.
  const uint8_t* table = base + 8;
  for (uint32_t i = 0; i < propertyCount; ++i) {
    if (LoadU32(table + 8 * i) != kPidCodePage) continue;
    uint32_t offset = LoadU32(table + 8 * i + 4);
    Cursor cur(base, sectionSize, offset);
    const uint8_t* p = cur.Take(4);
    if (!p || LoadU16(p) != VT_I2) return STG_E_INVALIDHEADER;
    const uint8_t* v = cur.Take(2);
    if (!v) return STG_E_INVALIDHEADER;
    section->hasCodePage = true;
    section->codePage = LoadU16(v);  // stored as a signed 16-bit value; 65001 reads back
    break;
  }
  bool unicodeSet = section->hasCodePage && section->codePage == kCodePageUnicode;

  std::unordered_set<uint32_t> seen;
  section->properties.reserve(propertyCount);
  for (uint32_t i = 0; i < propertyCount; ++i) {
    uint32_t id = LoadU32(table + 8 * i);
    uint32_t offset = LoadU32(table + 8 * i + 4);
    if (!seen.insert(id).second) return STG_E_INVALIDHEADER;
    if (id == kPidDictionary) continue;  // names are not decoded
    Cursor cur(base, sectionSize, offset);
    const uint8_t* typeField = cur.Take(4);  // type, then two bytes of padding
    if (!typeField) return STG_E_DOCFILECORRUPT;
    uint16_t vt = LoadU16(typeField);
    if (!IsSupported(vt)) continue;
    ParsedProperty property;
    property.id = id;
    HRESULT hr = ReadValue(cur, vt, unicodeSet, &property.value);
    if (FAILED(hr)) return hr;
    section->properties.push_back(std::move(property));
  }
  return S_OK;
}

}  // namespace

HRESULT ParsePropertySetHeader(const uint8_t* data, size_t size, PropertySetHeader* header) {
  if (!header || (!data && size != 0)) return E_INVALIDARG;
  if (size < kHeaderSize) return STG_E_INVALIDHEADER;
  if (LoadU16(data) != kByteOrderMark) return STG_E_INVALIDHEADER;
  uint16_t version = LoadU16(data + 2);
  if (version > 1) return STG_E_INVALIDHEADER;
  uint32_t count = LoadU32(data + 24);
  if (count < 1 || count > 2) return STG_E_INVALIDHEADER;
  if (size - kHeaderSize < count * kSectionRefSize) return STG_E_INVALIDHEADER;
  header->version = version;
  header->systemIdentifier = LoadU32(data + 4);
  header->clsid = LoadGuid(data + 8);
  header->sections.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = data + kHeaderSize + i * kSectionRefSize;
    header->sections.push_back({LoadGuid(p), LoadU32(p + 16)});
  }
  return S_OK;
}

HRESULT ParsePropertySection(const uint8_t* data, size_t size, const PropertySetHeader& header,
                             size_t index, ParsedSection* section) {
  if (!section || (!data && size != 0) || index >= header.sections.size()) return E_INVALIDARG;
  try {
    HRESULT hr = ParseSectionUnchecked(data, size, header, index, section);
    if (FAILED(hr)) *section = ParsedSection{};
    return hr;
  } catch (const std::bad_alloc&) {
    *section = ParsedSection{};
    return E_OUTOFMEMORY;
  }
}

HRESULT ParsePropertySetStream(const uint8_t* data, size_t size, PropertySetHeader* header,
                               std::vector<ParsedSection>* sections) {
  if (!header || !sections) return E_INVALIDARG;
  sections->clear();
  HRESULT hr = ParsePropertySetHeader(data, size, header);
  if (FAILED(hr)) return hr;
  for (size_t i = 0; i < header->sections.size(); ++i) {
    ParsedSection section;
    hr = ParsePropertySection(data, size, *header, i, &section);
    if (FAILED(hr)) {
      sections->clear();
      return hr;
    }
    try {
      sections->push_back(std::move(section));
    } catch (const std::bad_alloc&) {
      sections->clear();
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

}  // namespace arcwise_platform::stg
