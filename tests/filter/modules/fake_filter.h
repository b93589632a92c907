// The contract between the tests and the scriptable fake nested filter
// (libarcwise-fake-filter.so, built by the tests, never installed): its class
// ids, the counters it exports, and helpers that register it in a test
// process's private registry. Tests reach it only through the registry
// (LoadIFilter, CoCreateInstance) and read its counters with dlsym.
//
// Each object's behaviour comes from the file it is loaded with (by path or
// by stream), a UTF-8 script of one directive per line; blank lines and lines
// starting with '#' are skipped. A directive the fake does not know fails
// Load with FILTER_E_UNKNOWNFORMAT.
//   load-error <hr>      Load fails with <hr> (the script is read first)
//   init-error <hr>      Init fails with <hr>
//   flags ole            Init reports IFILTER_FLAGS_OLE_PROPERTIES
//   chunk text <text>    a CHUNK_TEXT chunk, FMTID_Storage / 19, CHUNK_NO_BREAK,
//                        locale 0x409; GetText hands <text> out in pieces
//                        (FILTER_S_LAST_TEXT with the last, then
//                        FILTER_E_NO_MORE_TEXT)
//   chunk value <text>   a CHUNK_VALUE chunk, FMTID_SummaryInformation /
//                        PIDSI_TITLE; GetValue gives VT_LPWSTR <text> once,
//                        then FILTER_E_NO_MORE_VALUES
//   chunk error <hr>     GetChunk returns <hr> at this point (one call); later
//                        chunks follow on the next calls
//   break <none|eow|eos|eop|eoc>     \  change the chunk above: break type,
//   locale <hex lcid>                 > locale, property (braced format id
//   property <{fmtid}> <propid>      /  and decimal or 0x property id),
//   gettext-error <hr>              /   what GetText and GetValue return
//   getvalue-error <hr>            /    during it (instead of the text/value)
// <hr> is a number such as 0x80041707. <text> runs to the end of the line
// with the escapes \n \r \t \\ and \uXXXX (one UTF-16 unit, so surrogates can
// be written, paired or not). After the last chunk GetChunk returns
// FILTER_E_END_OF_CHUNKS on every call; Init starts over from the first.
// GetText during a value chunk gives FILTER_E_NO_TEXT, GetValue during a
// text chunk FILTER_E_NO_VALUES.
#pragma once

#include <filter.h>
#include <objbase.h>
#include <shlwapi.h>

// IFilter, IPersistFile and IPersistStream.
const CLSID CLSID_ArcwiseFakeFilter = {0x9B185B61, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
// IFilter and IPersistStream only: LoadIFilter answers E_NOINTERFACE.
const CLSID CLSID_ArcwiseFakeFilterStreamOnly = {
    0x9B185B62, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
// IFilter and IPersistFile only.
const CLSID CLSID_ArcwiseFakeFilterFileOnly = {
    0x9B185B63, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
// IPersistFile and IPersistStream but no IFilter.
const CLSID CLSID_ArcwiseFakeNotAFilter = {
    0x9B185B64, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};

// Persistent handlers the helpers below bind the extensions to.
const CLSID CLSID_ArcwiseFakeHandler = {0x9B185B71, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
const CLSID CLSID_ArcwiseFakeHandlerStreamOnly = {
    0x9B185B72, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
const CLSID CLSID_ArcwiseFakeHandlerFileOnly = {
    0x9B185B73, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
const CLSID CLSID_ArcwiseFakeHandlerNotAFilter = {
    0x9B185B74, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};

// Exports (extern "C"), looked up with dlsym:
//   LONG ArcwiseFakeFilterLiveObjects()   filter objects and class objects alive
//   LONG ArcwiseFakeFilterPathLoads()     IPersistFile::Load calls so far
//   LONG ArcwiseFakeFilterStreamLoads()   IPersistStream::Load calls so far
//   DWORD ArcwiseFakeFilterLastLoadMode() dwMode of the last IPersistFile::Load
typedef LONG (*PFN_ARCWISE_FAKE_COUNTER)();
typedef DWORD (*PFN_ARCWISE_FAKE_MODE)();

namespace arcwise_fake {

inline LSTATUS SetClassesRootDefault(const WString& subkey, const WString& value, LPCWSTR name = nullptr) {
  HKEY hKey = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey,
                                   nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(hKey);
  return status;
}

// HKCR\CLSID\{clsid}\InprocServer32 = modulePath (ThreadingModel "Both").
inline LSTATUS RegisterFakeClass(REFCLSID clsid, const WString& modulePath) {
  const WString key = W("CLSID\\") + GuidToString(clsid) + W("\\InprocServer32");
  LSTATUS status = SetClassesRootDefault(key, modulePath);
  return status == ERROR_SUCCESS ? SetClassesRootDefault(key, W("Both"), W("ThreadingModel")) : status;
}

// extension -> handler -> filter, in the persistent-handler layout.
inline LSTATUS BindExtension(const WString& extension, REFCLSID handler, REFCLSID filter) {
  LSTATUS status = SetClassesRootDefault(extension + W("\\PersistentHandler"), GuidToString(handler));
  if (status != ERROR_SUCCESS) return status;
  return SetClassesRootDefault(
      W("CLSID\\") + GuidToString(handler) + W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter),
      GuidToString(filter));
}

// The four classes, with ".fake" (full filter), ".fakestream" (stream only),
// ".fakefile" (path only) and ".fakenofilter" (no IFilter) bound to them.
inline LSTATUS RegisterFakeFilters(const WString& modulePath) {
  struct Binding {
    LPCWSTR extension;
    const CLSID* handler;
    const CLSID* filter;
  };
  const Binding bindings[] = {
      {W(".fake"), &CLSID_ArcwiseFakeHandler, &CLSID_ArcwiseFakeFilter},
      {W(".fakestream"), &CLSID_ArcwiseFakeHandlerStreamOnly, &CLSID_ArcwiseFakeFilterStreamOnly},
      {W(".fakefile"), &CLSID_ArcwiseFakeHandlerFileOnly, &CLSID_ArcwiseFakeFilterFileOnly},
      {W(".fakenofilter"), &CLSID_ArcwiseFakeHandlerNotAFilter, &CLSID_ArcwiseFakeNotAFilter},
  };
  for (const Binding& binding : bindings) {
    LSTATUS status = RegisterFakeClass(*binding.filter, modulePath);
    if (status == ERROR_SUCCESS) status = BindExtension(binding.extension, *binding.handler, *binding.filter);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// Removes what RegisterFakeFilters wrote.
inline void UnregisterFakeFilters() {
  const WString extensions[] = {W(".fake"), W(".fakestream"), W(".fakefile"), W(".fakenofilter")};
  for (const WString& extension : extensions) SHDeleteKeyW(HKEY_CLASSES_ROOT, extension.c_str());
  const CLSID* classes[] = {&CLSID_ArcwiseFakeFilter,          &CLSID_ArcwiseFakeFilterStreamOnly,
                            &CLSID_ArcwiseFakeFilterFileOnly,  &CLSID_ArcwiseFakeNotAFilter,
                            &CLSID_ArcwiseFakeHandler,         &CLSID_ArcwiseFakeHandlerStreamOnly,
                            &CLSID_ArcwiseFakeHandlerFileOnly, &CLSID_ArcwiseFakeHandlerNotAFilter};
  for (const CLSID* clsid : classes) SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(*clsid)).c_str());
}

}  // namespace arcwise_fake
