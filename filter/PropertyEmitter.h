// CPropertyEmitter: hands out an embedded file's non-empty summary-information
// strings as value chunks, for nested filters that leave their file's OLE
// properties to their caller (IFILTER_FLAGS_OLE_PROPERTIES).
//
// Owned by the filter object (m_pPropertyEmitter), which opens it on one
// extracted file, relays GetChunk/GetValue until GetChunk stops answering
// S_OK, then closes and frees it. The emitter owns one reference on each of
// its three interfaces and no value: every PROPVARIANT it hands out belongs to
// the caller. Used by one thread at a time (the filter object's caller).
#pragma once

#include "compat/Win32Compat.h"
#include "compat/ComPtr.h"

class CPropertyEmitter {
 public:
  // How the emitter opens a file's storage: StgOpenStorageEx, or a test's
  // stand-in for it.
  typedef HRESULT(STDAPICALLTYPE* StorageOpener)(const WCHAR* pwcsName, DWORD grfMode, STGFMT stgfmt,
                                                 DWORD grfAttrs, STGOPTIONS* pStgOptions,
                                                 PSECURITY_DESCRIPTOR pSecurityDescriptor, REFIID riid,
                                                 void** ppObjectOpen);

  explicit CPropertyEmitter(StorageOpener openStorage = &StgOpenStorageEx);
  ~CPropertyEmitter();
  CPropertyEmitter(const CPropertyEmitter&) = delete;
  CPropertyEmitter& operator=(const CPropertyEmitter&) = delete;

  // Opens the file's property-set storage and the set fmtid, and readies its
  // enumeration. S_OK when all three are open; otherwise the failing call's
  // code (a file without property sets, or without this set, fails here;
  // E_NOINTERFACE when the storage offers no property sets).
  HRESULT Open(LPCWSTR path, REFFMTID fmtid);

  // The next property whose value is a non-empty VT_LPSTR or VT_LPWSTR, as a
  // CHUNK_VALUE chunk whose ids the caller replaces. S_FALSE (or the failing
  // code) when the enumeration ends, which also closes the property set;
  // E_FAIL when nothing is open.
  HRESULT GetChunk(STAT_CHUNK* pStat);

  // The current chunk's value, once: a new PROPVARIANT from CoTaskMemAlloc
  // that the caller clears and frees. FILTER_E_NO_MORE_VALUES when the value
  // was taken already or no chunk is current.
  HRESULT GetValue(PROPVARIANT** ppPropValue);

  // Releases the enumeration, the property set and the storage.
  void Close();

 private:
  StorageOpener m_openStorage;
  ComPtr<IPropertySetStorage> m_pPropertySetStorage;
  ComPtr<IPropertyStorage> m_pPropertyStorage;
  ComPtr<IEnumSTATPROPSTG> m_pEnum;
  FMTID m_fmtid;
  PROPSPEC m_propSpec;
  BYTE m_valueTaken;
};
