// The property emitter: walks one property set of an extracted file and
// yields its non-empty string properties as value chunks.
#include "filter/PropertyEmitter.h"

namespace {

// A value worth indexing: a string that is present and not empty.
bool IsNonEmptyString(const PROPVARIANT& value) {
  if (value.vt == VT_LPSTR) return value.pszVal && value.pszVal[0] != '\0';
  if (value.vt == VT_LPWSTR) return value.pwszVal && value.pwszVal[0] != 0;
  return false;
}

}  // namespace

CPropertyEmitter::CPropertyEmitter(StorageOpener openStorage)
    : m_openStorage(openStorage), m_fmtid(), m_propSpec(), m_valueTaken(TRUE) {
  m_propSpec.ulKind = PRSPEC_PROPID;
}

CPropertyEmitter::~CPropertyEmitter() { Close(); }

HRESULT CPropertyEmitter::Open(LPCWSTR path, REFFMTID fmtid) {
  m_pEnum.Reset();
  m_pPropertyStorage.Reset();
  m_pPropertySetStorage.Reset();
  m_valueTaken = TRUE;

  // STGFMT_ANY: the same call serves a compound file and whatever property
  // sets the file system keeps for a plain file. Implementations differ in
  // which interface they hand back (some give their IStorage whatever is
  // asked), so the object is taken as IUnknown and asked for its property
  // sets: a pointer is only ever called through the table it was given for.
  ComPtr<IUnknown> storage;
  HRESULT hr = m_openStorage(path, STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_ANY, 0, nullptr, nullptr,
                             IID_IUnknown, reinterpret_cast<void**>(&storage));
  if (FAILED(hr)) return hr;
  if (!storage) return E_UNEXPECTED;
  hr = storage->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&m_pPropertySetStorage));
  if (FAILED(hr)) return hr;
  if (!m_pPropertySetStorage) return E_NOINTERFACE;

  m_fmtid = fmtid;
  hr = m_pPropertySetStorage->Open(m_fmtid, STGM_READ | STGM_SHARE_EXCLUSIVE, &m_pPropertyStorage);
  if (FAILED(hr)) return hr;

  hr = m_pPropertyStorage->Enum(&m_pEnum);
  if (FAILED(hr)) {
    m_pPropertyStorage.Reset();
    return hr;
  }
  return m_pEnum->Reset();
}

HRESULT CPropertyEmitter::GetChunk(STAT_CHUNK* pStat) {
  if (!m_pEnum) return E_FAIL;
  if (!pStat) return E_INVALIDARG;

  for (;;) {
    STATPROPSTG stat = {};
    HRESULT hr = m_pEnum->Next(1, &stat, nullptr);
    if (hr != S_OK) {
      // The end of the enumeration, or a failing Next, ends the set; the
      // storage itself stays until Close.
      m_pEnum.Reset();
      m_pPropertyStorage.Reset();
      m_valueTaken = TRUE;
      return hr;
    }
    CoTaskMemFree(stat.lpwstrName);

    m_propSpec.ulKind = PRSPEC_PROPID;
    m_propSpec.propid = stat.propid;
    PROPVARIANT value;
    PropVariantInit(&value);
    // A read that fails leaves the value empty, and an empty value is passed over.
    m_pPropertyStorage->ReadMultiple(1, &m_propSpec, &value);
    bool qualifies = IsNonEmptyString(value);
    PropVariantClear(&value);
    if (qualifies) break;
  }

  pStat->idChunk = 0xFFFFFFFF;
  pStat->breakType = CHUNK_EOP;
  pStat->flags = CHUNK_VALUE;
  pStat->locale = GetSystemDefaultLCID();
  pStat->attribute.guidPropSet = m_fmtid;
  pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
  pStat->attribute.psProperty.propid = m_propSpec.propid;
  pStat->idChunkSource = 0xFFFFFFFF;
  pStat->cwcStartSource = 0;
  pStat->cwcLenSource = 0;

  m_valueTaken = FALSE;
  return S_OK;
}

HRESULT CPropertyEmitter::GetValue(PROPVARIANT** ppPropValue) {
  if (m_valueTaken) return FILTER_E_NO_MORE_VALUES;
  if (!ppPropValue) return E_INVALIDARG;
  if (!m_pPropertyStorage) return E_FAIL;  // cannot happen while a value is pending
  m_valueTaken = TRUE;

  *ppPropValue = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT)));
  if (!*ppPropValue) return E_OUTOFMEMORY;
  PropVariantInit(*ppPropValue);
  HRESULT hr = m_pPropertyStorage->ReadMultiple(1, &m_propSpec, *ppPropValue);
  if (FAILED(hr)) {
    // A failed call hands nothing out: the block would otherwise have no owner.
    CoTaskMemFree(*ppPropValue);
    *ppPropValue = nullptr;
  }
  return hr;
}

void CPropertyEmitter::Close() {
  m_pEnum.Reset();
  m_pPropertyStorage.Reset();
  m_pPropertySetStorage.Reset();
  m_valueTaken = TRUE;
}
