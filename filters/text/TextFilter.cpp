// Chunk protocol of the plain-text filter.
#include "TextFilter.h"

#include <cstring>

#include "compat/Win32Compat.h"

#include "compat/ContentsChunk.h"

#include "FilterGuids.h"

CTextFilter::CTextFilter() : CFilterObject(CLSID_ArcwiseTextFilter) {}

void CTextFilter::Reset() {
  m_initialized = false;
  m_ended = false;
  m_hasChunk = false;
  m_chunkId = 0;
  m_chunkText.clear();
  m_textPos = 0;
}

HRESULT CTextFilter::LoadFromFile(LPCWSTR pszFileName) {
  Reset();
  return m_source.OpenFile(pszFileName);
}

HRESULT CTextFilter::LoadFromStream(IStream* pStm) {
  Reset();
  return m_source.OpenStream(pStm);
}

STDMETHODIMP CTextFilter::Init(ULONG, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) {
  if (cAttributes > 0 && !aAttributes) return E_INVALIDARG;
  if (!m_source.IsOpen()) return E_FAIL;
  Reset();
  HRESULT hr = m_decoder.Start(&m_source);
  if (FAILED(hr)) return hr;
  m_initialized = true;
  if (pFlags) *pFlags = 0;
  return S_OK;
}

STDMETHODIMP CTextFilter::GetChunk(STAT_CHUNK* pStat) {
  if (!pStat) return E_INVALIDARG;
  m_hasChunk = false;
  m_chunkText.clear();
  m_textPos = 0;
  if (!m_initialized || m_ended) return FILTER_E_END_OF_CHUNKS;
  HRESULT hr = m_decoder.Next(kTextChunkChars, &m_chunkText);
  if (FAILED(hr) || m_chunkText.empty()) {
    // A read error ends the text where it broke; the caller sees it once.
    m_ended = true;
    m_chunkText.clear();
    return FAILED(hr) ? hr : FILTER_E_END_OF_CHUNKS;
  }
  m_hasChunk = true;
  ++m_chunkId;
  DescribeContentsChunk(pStat, m_chunkId, CHUNK_NO_BREAK);
  return S_OK;
}

STDMETHODIMP CTextFilter::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
  if (!pcwcBuffer || !awcBuffer) return E_INVALIDARG;
  if (!m_hasChunk) {
    *pcwcBuffer = 0;
    return FILTER_E_NO_TEXT;
  }
  size_t remaining = m_chunkText.size() - m_textPos;
  if (remaining == 0) {
    *pcwcBuffer = 0;
    return FILTER_E_NO_MORE_TEXT;
  }
  size_t n = *pcwcBuffer < remaining ? *pcwcBuffer : remaining;
  // Keep a pair together when the buffer has room for more than one unit.
  WCHAR last = n > 0 ? m_chunkText[m_textPos + n - 1] : 0;
  if (n > 1 && n < remaining && IS_HIGH_SURROGATE(last)) --n;
  std::memcpy(awcBuffer, m_chunkText.data() + m_textPos, n * sizeof(WCHAR));
  m_textPos += n;
  *pcwcBuffer = ULONG(n);
  return m_textPos == m_chunkText.size() ? FILTER_S_LAST_TEXT : S_OK;
}

STDMETHODIMP CTextFilter::GetValue(PROPVARIANT** ppPropValue) {
  if (ppPropValue) *ppPropValue = nullptr;
  return FILTER_E_NO_VALUES;
}
