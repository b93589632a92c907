// PropVariantClear and the conversion of parsed property values into
// caller-owned PROPVARIANTs. Every block a PROPVARIANT points to comes from
// CoTaskMemAlloc, so a value made here can be freed by any PropVariantClear,
// and a value half-built when an allocation fails is freed by the same code.
#include <cstring>

#include "stg_internal.h"

namespace {

bool IsPlainScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_ERROR: case VT_BOOL: case VT_FILETIME: case VT_HRESULT:
      return true;
    default:
      return false;
  }
}

}  // namespace

STDAPI PropVariantClear(PROPVARIANT* pvar) {
  if (!pvar) return S_OK;
  VARTYPE vt = pvar->vt;
  if (IsPlainScalar(vt)) {
    // Nothing owned.
  } else if (vt == VT_LPSTR || vt == VT_LPWSTR) {
    CoTaskMemFree(pvar->pszVal);
  } else if (vt == VT_BLOB || vt == VT_BLOB_OBJECT) {
    CoTaskMemFree(pvar->blob.pBlobData);
  } else if (vt == VT_CLSID) {
    CoTaskMemFree(pvar->puuid);
  } else if (vt == VT_CF) {
    if (pvar->pclipdata) CoTaskMemFree(pvar->pclipdata->pClipData);
    CoTaskMemFree(pvar->pclipdata);
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_STREAM || vt == VT_STREAMED_OBJECT ||
             vt == VT_STORAGE || vt == VT_STORED_OBJECT) {
    if (pvar->punkVal) pvar->punkVal->Release();
  } else if (vt & VT_VECTOR) {
    VARTYPE element = VARTYPE(vt & ~VT_VECTOR);
    if (element == VT_LPSTR || element == VT_LPWSTR) {
      for (ULONG i = 0; pvar->calpstr.pElems && i < pvar->calpstr.cElems; ++i) {
        CoTaskMemFree(pvar->calpstr.pElems[i]);
      }
    } else if (element == VT_CF) {
      for (ULONG i = 0; pvar->caclipdata.pElems && i < pvar->caclipdata.cElems; ++i) {
        CoTaskMemFree(pvar->caclipdata.pElems[i].pClipData);
      }
    } else if (element != VT_CLSID && (!IsPlainScalar(element) || element == VT_EMPTY || element == VT_NULL)) {
      return DISP_E_BADVARTYPE;
    }
    // Every vector keeps its elements in one block, whatever their type.
    CoTaskMemFree(pvar->cac.pElems);
  } else {
    return DISP_E_BADVARTYPE;
  }
  *pvar = PROPVARIANT{};
  return S_OK;
}

STDAPI FreePropVariantArray(ULONG cVariants, PROPVARIANT* rgvars) {
  if (!rgvars) return cVariants == 0 ? S_OK : E_INVALIDARG;
  for (ULONG i = 0; i < cVariants; ++i) {
    if (PropVariantClear(&rgvars[i]) != S_OK) rgvars[i] = PROPVARIANT{};
  }
  return S_OK;
}

namespace arcwise_platform::stg {

namespace {

// A terminated copy of n bytes (or n UTF-16 units), null for an absent string.
LPSTR AllocAnsi(const std::string& bytes) {
  auto* p = static_cast<LPSTR>(CoTaskMemAlloc(bytes.size() + 1));
  if (!p) return nullptr;
  memcpy(p, bytes.data(), bytes.size());
  p[bytes.size()] = '\0';
  return p;
}

LPWSTR AllocWide(const std::u16string& text) {
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (!p) return nullptr;
  memcpy(p, text.data(), text.size() * sizeof(WCHAR));
  p[text.size()] = 0;
  return p;
}

BYTE* AllocBytes(const std::string& bytes) {
  if (bytes.empty()) return nullptr;
  auto* p = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
  if (p) memcpy(p, bytes.data(), bytes.size());
  return p;
}

// The ANSI code page's bytes for a string of a Unicode set.
std::string ToAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// Allocates one string element; true when the element is absent or copied.
bool StringElement(const PropertyString& s, VARTYPE type, bool unicodeSet, LPSTR* out) {
  *out = nullptr;
  if (!s.present) return true;
  if (type == VT_LPWSTR) {
    *out = reinterpret_cast<LPSTR>(AllocWide(s.text));
  } else {
    *out = AllocAnsi(unicodeSet ? ToAnsi(s.text) : s.bytes);
  }
  return *out != nullptr;
}

GUID GuidFromBytes(const std::string& bytes) {
  GUID g{};
  if (bytes.size() != 16) return g;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  g.Data1 = DWORD(p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24));
  g.Data2 = WORD(p[4] | (p[5] << 8));
  g.Data3 = WORD(p[6] | (p[7] << 8));
  memcpy(g.Data4, p + 8, 8);
  return g;
}

size_t ScalarSize(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    default: return 8;
  }
}

void StoreNumber(void* slot, uint64_t bits, size_t size) {
  // Little-endian host: the low bytes of the parsed bits are the value.
  memcpy(slot, &bits, size);
}

// Builds into *pv, which the caller clears on failure; pv->vt is set before
// anything is allocated, and vector counts grow with the allocated elements,
// so a partial value is always one that PropVariantClear frees exactly.
bool Build(const PropertyValue& value, bool unicodeSet, PROPVARIANT* pv) {
  VARTYPE vt = value.vt;
  VARTYPE type = VARTYPE(vt & VT_TYPEMASK);
  pv->vt = vt;
  if (vt == VT_EMPTY || vt == VT_NULL) return true;

  if (!(vt & VT_VECTOR)) {
    if (!value.numbers.empty()) {
      StoreNumber(&pv->cVal, value.numbers[0], ScalarSize(type));
      return true;
    }
    if (value.strings.empty()) return false;
    const PropertyString& s = value.strings[0];
    switch (type) {
      case VT_LPSTR:
      case VT_LPWSTR:
        return StringElement(s, type, unicodeSet, &pv->pszVal);
      case VT_BLOB:
        pv->blob.pBlobData = AllocBytes(s.bytes);
        if (!s.bytes.empty() && !pv->blob.pBlobData) return false;
        pv->blob.cbSize = ULONG(s.bytes.size());
        return true;
      case VT_CLSID:
        pv->puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
        if (!pv->puuid) return false;
        *pv->puuid = GuidFromBytes(s.bytes);
        return true;
      case VT_CF: {
        pv->pclipdata = static_cast<CLIPDATA*>(CoTaskMemAlloc(sizeof(CLIPDATA)));
        if (!pv->pclipdata) return false;
        *pv->pclipdata = CLIPDATA{};
        pv->pclipdata->pClipData = AllocBytes(s.bytes);
        if (!s.bytes.empty() && !pv->pclipdata->pClipData) return false;
        pv->pclipdata->cbSize = ULONG(s.bytes.size() + 4);
        pv->pclipdata->ulClipFmt = s.clipFormat;
        return true;
      }
      default:
        return false;
    }
  }

  // Vectors: one block of elements, then what each element owns.
  size_t count = value.numbers.empty() ? value.strings.size() : value.numbers.size();
  if (count == 0) return true;
  size_t elementSize = !value.numbers.empty() ? ScalarSize(type)
                       : type == VT_CF        ? sizeof(CLIPDATA)
                       : type == VT_CLSID     ? sizeof(CLSID)
                                              : sizeof(LPSTR);
  void* block = CoTaskMemAlloc(count * elementSize);
  if (!block) return false;
  memset(block, 0, count * elementSize);
  pv->cac.pElems = static_cast<CHAR*>(block);
  if (!value.numbers.empty()) {
    for (size_t i = 0; i < count; ++i) {
      StoreNumber(static_cast<uint8_t*>(block) + i * elementSize, value.numbers[i], elementSize);
    }
    pv->cac.cElems = ULONG(count);
    return true;
  }
  for (size_t i = 0; i < count; ++i) {
    const PropertyString& s = value.strings[i];
    if (type == VT_CLSID) {
      pv->cauuid.pElems[i] = GuidFromBytes(s.bytes);
    } else if (type == VT_CF) {
      CLIPDATA& clip = pv->caclipdata.pElems[i];
      clip.pClipData = AllocBytes(s.bytes);
      if (!s.bytes.empty() && !clip.pClipData) return false;
      clip.cbSize = ULONG(s.bytes.size() + 4);
      clip.ulClipFmt = s.clipFormat;
    } else if (!StringElement(s, type, unicodeSet, &pv->calpstr.pElems[i])) {
      return false;
    }
    pv->cac.cElems = ULONG(i + 1);
  }
  return true;
}

}  // namespace

HRESULT PropVariantFromParsed(const PropertyValue& value, bool unicodeSet, PROPVARIANT* out) {
  if (!out) return E_INVALIDARG;
  PROPVARIANT pv{};
  if (!Build(value, unicodeSet, &pv)) {
    PropVariantClear(&pv);
    *out = PROPVARIANT{};
    return E_OUTOFMEMORY;
  }
  *out = pv;
  return S_OK;
}

}  // namespace arcwise_platform::stg
