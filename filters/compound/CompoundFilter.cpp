// The compound-document filter: properties only, through its caller.
#include "CompoundFilter.h"

#include "FilterGuids.h"

CCompoundFilter::CCompoundFilter() : CFilterObject(CLSID_ArcwiseCompoundFilter) {}

HRESULT CCompoundFilter::LoadFromFile(LPCWSTR pszFileName) {
  m_loaded = false;
  DWORD attributes = GetFileAttributesW(pszFileName);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return E_ACCESSDENIED;
  m_loaded = true;
  return S_OK;
}

HRESULT CCompoundFilter::LoadFromStream(IStream*) {
  m_loaded = true;
  return S_OK;
}

STDMETHODIMP CCompoundFilter::Init(ULONG, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) {
  if (cAttributes > 0 && !aAttributes) return E_INVALIDARG;
  if (!m_loaded) return E_FAIL;
  if (pFlags) *pFlags = IFILTER_FLAGS_OLE_PROPERTIES;
  return S_OK;
}

STDMETHODIMP CCompoundFilter::GetChunk(STAT_CHUNK* pStat) {
  if (!pStat) return E_INVALIDARG;
  return FILTER_E_END_OF_CHUNKS;
}

STDMETHODIMP CCompoundFilter::GetText(ULONG* pcwcBuffer, WCHAR*) {
  if (pcwcBuffer) *pcwcBuffer = 0;
  return FILTER_E_NO_TEXT;
}

STDMETHODIMP CCompoundFilter::GetValue(PROPVARIANT** ppPropValue) {
  if (ppPropValue) *ppPropValue = nullptr;
  return FILTER_E_NO_VALUES;
}
