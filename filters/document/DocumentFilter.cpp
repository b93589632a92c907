// Loading, extraction and the chunk protocol of the document filters.
#include "DocumentFilter.h"

#include <cstring>
#include <new>

#include "compat/ContentsChunk.h"

namespace {

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

CDocumentFilter::CDocumentFilter(REFCLSID clsid, size_t maxBytes, DocumentExtractor extract)
    : CFilterObject(clsid), m_maxBytes(maxBytes), m_extract(extract) {}

void CDocumentFilter::ResetChunks() {
  m_initialized = false;
  m_chunkId = 0;
  m_textPos = 0;
  m_chunkEnd = 0;
  m_readPos = 0;
  m_nextProperty = 0;
  m_chunk = NoChunk;
}

HRESULT CDocumentFilter::LoadFromFile(LPCWSTR pszFileName) {
  ResetChunks();
  m_loaded = false;
  m_extracted = false;
  m_content.Clear();
  std::vector<BYTE>().swap(m_bytes);
  HANDLE hFile = CreateFileW(pszFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return LastErrorResult();
  HRESULT hr = S_OK;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(hFile, &size)) {
    hr = LastErrorResult();
  } else if (ULONGLONG(size.QuadPart) > m_maxBytes) {
    hr = FILTER_E_TOO_BIG;
  } else {
    try {
      m_bytes.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
    size_t got = 0;
    while (SUCCEEDED(hr) && got < m_bytes.size()) {
      DWORD n = 0;
      const DWORD want = DWORD(std::min<size_t>(m_bytes.size() - got, 1u << 30));
      if (!ReadFile(hFile, m_bytes.data() + got, want, &n, nullptr)) {
        hr = LastErrorResult();
      } else if (n == 0) {
        m_bytes.resize(got);  // the file shrank since its size was taken
        break;
      }
      got += n;
    }
  }
  CloseHandle(hFile);
  if (FAILED(hr)) {
    std::vector<BYTE>().swap(m_bytes);
    return hr;
  }
  m_loaded = true;
  return S_OK;
}

HRESULT CDocumentFilter::LoadFromStream(IStream* pStm) {
  ResetChunks();
  m_loaded = false;
  m_extracted = false;
  m_content.Clear();
  std::vector<BYTE>().swap(m_bytes);
  constexpr ULONG kPiece = 1 << 20;
  HRESULT hr = S_OK;
  try {
    for (;;) {
      const size_t at = m_bytes.size();
      m_bytes.resize(at + kPiece);
      ULONG got = 0;
      hr = pStm->Read(m_bytes.data() + at, kPiece, &got);
      m_bytes.resize(at + (SUCCEEDED(hr) ? got : 0));
      if (FAILED(hr) || got == 0) break;
      if (m_bytes.size() > m_maxBytes) {
        hr = FILTER_E_TOO_BIG;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    std::vector<BYTE>().swap(m_bytes);
    return hr;
  }
  m_loaded = true;
  return S_OK;
}

STDMETHODIMP CDocumentFilter::Init(ULONG, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) {
  if (cAttributes > 0 && !aAttributes) return E_INVALIDARG;
  if (!m_loaded) return E_FAIL;
  ResetChunks();
  if (!m_extracted) {
    // Extracted once: a host that calls Init again gets the same chunks
    // without the document being parsed again.
    try {
      m_content.Clear();
      m_extractResult = m_extract(m_bytes.data(), m_bytes.size(), &m_content);
    } catch (const std::bad_alloc&) {
      m_content.Clear();
      return E_OUTOFMEMORY;  // not kept: memory may be there next time
    } catch (...) {
      m_content.Clear();
      m_extractResult = FILTER_E_UNKNOWNFORMAT;
    }
    m_extracted = true;
    // The content is all that is needed from now on.
    std::vector<BYTE>().swap(m_bytes);
  }
  if (FAILED(m_extractResult)) return m_extractResult;
  m_initialized = true;
  if (pFlags) *pFlags = 0;
  return S_OK;
}

STDMETHODIMP CDocumentFilter::GetChunk(STAT_CHUNK* pStat) {
  if (!pStat) return E_INVALIDARG;
  if (!m_initialized) return FILTER_E_END_OF_CHUNKS;
  const WString& text = m_content.Text();
  if (m_chunk == TextChunk) m_textPos = m_chunkEnd;
  if (m_chunk == ValueChunk || m_chunk == ValueTaken) ++m_nextProperty;
  // A line feed that ends the text is no text of its own.
  size_t textEnd = text.size();
  while (textEnd > 0 && text[textEnd - 1] == W('\n')) --textEnd;
  while (m_textPos < textEnd && text[m_textPos] == W('\n')) ++m_textPos;
  if (m_textPos < textEnd) {
    const bool opensParagraph = m_textPos == 0 || text[m_textPos - 1] == W('\n');
    size_t end = textEnd;
    if (end - m_textPos > kDocumentChunkChars) {
      end = m_textPos + kDocumentChunkChars;
      const size_t lf = text.rfind(W('\n'), end - 1);
      if (lf != WString::npos && lf >= m_textPos + kDocumentChunkChars / 2) {
        end = lf;  // the line feed itself is the break between the chunks
      } else if (IS_HIGH_SURROGATE(text[end - 1])) {
        --end;
      }
    }
    m_chunkEnd = end;
    m_readPos = m_textPos;
    m_chunk = TextChunk;
    DescribeContentsChunk(pStat, ++m_chunkId, opensParagraph ? CHUNK_EOP : CHUNK_NO_BREAK);
    return S_OK;
  }
  m_textPos = text.size();
  if (m_nextProperty < m_content.Properties().size()) {
    m_chunk = ValueChunk;
    *pStat = STAT_CHUNK{};
    pStat->idChunk = ++m_chunkId;
    pStat->breakType = CHUNK_EOP;
    pStat->flags = CHUNK_VALUE;
    pStat->locale = GetSystemDefaultLCID();
    pStat->attribute.guidPropSet = FMTID_SummaryInformation;
    pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
    pStat->attribute.psProperty.propid = m_content.Properties()[m_nextProperty].propid;
    pStat->idChunkSource = pStat->idChunk;
    return S_OK;
  }
  m_chunk = NoChunk;
  return FILTER_E_END_OF_CHUNKS;
}

STDMETHODIMP CDocumentFilter::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
  if (!pcwcBuffer || !awcBuffer) return E_INVALIDARG;
  if (m_chunk != TextChunk) {
    *pcwcBuffer = 0;
    return FILTER_E_NO_TEXT;
  }
  size_t remaining = m_chunkEnd - m_readPos;
  if (remaining == 0) {
    *pcwcBuffer = 0;
    return FILTER_E_NO_MORE_TEXT;
  }
  size_t n = std::min<size_t>(*pcwcBuffer, remaining);
  const WCHAR* at = m_content.Text().data() + m_readPos;
  // Keep a pair together when the buffer has room for more than one unit.
  if (n > 1 && n < remaining && IS_HIGH_SURROGATE(at[n - 1])) --n;
  std::memcpy(awcBuffer, at, n * sizeof(WCHAR));
  m_readPos += n;
  *pcwcBuffer = ULONG(n);
  return m_readPos == m_chunkEnd ? FILTER_S_LAST_TEXT : S_OK;
}

STDMETHODIMP CDocumentFilter::GetValue(PROPVARIANT** ppPropValue) {
  if (!ppPropValue) return E_INVALIDARG;
  *ppPropValue = nullptr;
  if (m_chunk == ValueTaken) return FILTER_E_NO_MORE_VALUES;
  if (m_chunk != ValueChunk) return FILTER_E_NO_VALUES;
  const WString& value = m_content.Properties()[m_nextProperty].value;
  auto* variant = static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT)));
  auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc((value.size() + 1) * sizeof(WCHAR)));
  if (!variant || !copy) {
    CoTaskMemFree(variant);
    CoTaskMemFree(copy);
    return E_OUTOFMEMORY;
  }
  std::memcpy(copy, value.c_str(), (value.size() + 1) * sizeof(WCHAR));
  PropVariantInit(variant);
  variant->vt = VT_LPWSTR;
  variant->pwszVal = copy;
  *ppPropValue = variant;
  m_chunk = ValueTaken;
  return S_OK;
}
