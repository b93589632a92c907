// CLSID text: the braced GUID form, ProgID lookups in HKEY_CLASSES_ROOT.
#include "com_internal.h"

#include <cstring>

namespace {

HRESULT DuplicateTaskString(const WString& text, LPOLESTR* out) {
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  *out = copy;
  return S_OK;
}

}  // namespace

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  *pclsid = CLSID_NULL;
  if (!lpsz) return S_OK;
  if (GuidFromString(lpsz, pclsid)) return S_OK;
  // Windows accepts a registered ProgID in place of the GUID text.
  if (lpsz[0] != u'{') {
    CLSID fromProgId;
    if (SUCCEEDED(CLSIDFromProgID(lpsz, &fromProgId))) {
      *pclsid = fromProgId;
      return S_OK;
    }
  }
  return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  *lpiid = GUID_NULL;
  if (!lpsz) return S_OK;
  return GuidFromString(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  if (!lplpsz) return E_INVALIDARG;
  *lplpsz = nullptr;
  return DuplicateTaskString(GuidToString(rclsid), lplpsz);
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  *lpclsid = CLSID_NULL;
  if (!lpszProgID[0]) return CO_E_CLASSSTRING;
  WString text;
  if (arcwise_com::ReadClassesRootDefault(WString(lpszProgID) + W("\\CLSID"), &text) != ERROR_SUCCESS) {
    return CO_E_CLASSSTRING;
  }
  return GuidFromString(text.c_str(), lpclsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  WString text;
  if (arcwise_com::ReadClassesRootDefault(W("CLSID\\") + GuidToString(clsid) + W("\\ProgID"), &text) !=
          ERROR_SUCCESS ||
      text.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  return DuplicateTaskString(text, lplpszProgID);
}
