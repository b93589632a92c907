// The stock filters for document formats (HTML, PDF, Office and
// OpenDocument packages): the document's bytes are read into memory by
// Load, up to a ceiling per format; the first Init hands them to the
// format's extractor function, which fills a CDocumentContent. The text is
// then served as contents chunks, cut at a line feed where one is near
// (a chunk that opens a paragraph is CHUNK_EOP, one that goes on inside a
// paragraph CHUNK_NO_BREAK), followed by one value chunk per summary
// property (VT_LPWSTR under FMTID_SummaryInformation).
//
// Damage: an extractor that finds no document at all answers
// FILTER_E_UNKNOWNFORMAT (or FILTER_E_PASSWORD) and Init fails with it;
// one that finds part of a document keeps what it read. An exception from an
// extractor (the libraries throw bad_alloc) is answered as a result code.
// One thread at a time, as its host drives it.
#pragma once

#include <vector>

#include "DocumentContent.h"
#include "FilterObject.h"

// Fills `content` from the document's bytes. S_OK when there is a document
// (its text may be empty); a failure code when there is none.
typedef HRESULT (*DocumentExtractor)(const BYTE* data, size_t size, CDocumentContent* content);

class CDocumentFilter : public CFilterObject {
 public:
  STDMETHODIMP Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) override;
  STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override;
  STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
  STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override;

 protected:
  // maxBytes: the largest document Load takes; a larger one fails with
  // FILTER_E_TOO_BIG.
  CDocumentFilter(REFCLSID clsid, size_t maxBytes, DocumentExtractor extract);

  HRESULT LoadFromFile(LPCWSTR pszFileName) override;
  HRESULT LoadFromStream(IStream* pStm) override;

 private:
  void ResetChunks();

  size_t m_maxBytes;
  DocumentExtractor m_extract;
  bool m_loaded = false;
  std::vector<BYTE> m_bytes;
  bool m_extracted = false;
  HRESULT m_extractResult = S_OK;
  CDocumentContent m_content;

  bool m_initialized = false;
  ULONG m_chunkId = 0;
  size_t m_textPos = 0;       // where the next text chunk begins
  size_t m_chunkEnd = 0;      // end of the current text chunk
  size_t m_readPos = 0;       // what GetText has handed out of it
  size_t m_nextProperty = 0;  // the next value chunk
  enum { NoChunk, TextChunk, ValueChunk, ValueTaken } m_chunk = NoChunk;
};

// One format's filter class: its class id, the largest document it reads
// and its extractor; Create is what its module's FilterModuleInfo lists.
template <const CLSID* Clsid, size_t MaxBytes, DocumentExtractor Extract>
class CDocumentFilterOf final : public CDocumentFilter {
 public:
  CDocumentFilterOf() : CDocumentFilter(*Clsid, MaxBytes, Extract) {}
  static HRESULT Create(REFIID riid, void** ppv) { return CreateAndQuery<CDocumentFilterOf>(riid, ppv); }
};

// Units of text in one chunk at most; a chunk ends at the last line feed of
// its second half when there is one there (the next chunk then opens a
// paragraph, and the line feed is in neither).
constexpr size_t kDocumentChunkChars = 64 * 1024;
