#include "chunk_walker.h"

#include <objbase.h>

namespace {

// A filter that keeps answering S_OK with no characters would hold the
// walk forever; this many empty pieces in a row end the chunk's text.
constexpr int kMaxEmptyPieces = 1000;

}  // namespace

HRESULT ChunkWalker::Walk(IFilter* filter, ChunkSink* sink) {
  m_chunkCount = 0;
  m_lastChunkId = 0;
  for (;;) {
    STAT_CHUNK chunk = {};
    HRESULT hr = filter->GetChunk(&chunk);
    if (hr == FILTER_E_END_OF_CHUNKS) return S_OK;
    // An embedded object or a link without a filter leaves a gap, not an
    // end: the protocol says to go on with the next chunk.
    if (hr == FILTER_E_EMBEDDING_UNAVAILABLE || hr == FILTER_E_LINK_UNAVAILABLE) continue;
    if (FAILED(hr)) return hr;
    ++m_chunkCount;
    m_lastChunkId = chunk.idChunk;
    sink->BeginChunk(chunk);
    if (chunk.flags & CHUNK_TEXT) PullText(filter, sink);
    if (chunk.flags & CHUNK_VALUE) PullValue(filter, sink);
    sink->EndChunk();
  }
}

void ChunkWalker::PullText(IFilter* filter, ChunkSink* sink) {
  int emptyPieces = 0;
  for (;;) {
    ULONG count = static_cast<ULONG>(m_buffer.size());
    HRESULT hr = filter->GetText(&count, m_buffer.data());
    if (FAILED(hr)) return;  // FILTER_E_NO_MORE_TEXT, FILTER_E_NO_TEXT, or a failure
    if (count > m_buffer.size()) count = static_cast<ULONG>(m_buffer.size());
    if (count > 0) {
      sink->AppendText(m_buffer.data(), count);
      emptyPieces = 0;
    } else if (++emptyPieces >= kMaxEmptyPieces) {
      return;
    }
    if (hr == FILTER_S_LAST_TEXT) return;
  }
}

void ChunkWalker::PullValue(IFilter* filter, ChunkSink* sink) {
  PROPVARIANT* value = nullptr;
  HRESULT hr = filter->GetValue(&value);
  if (FAILED(hr) || !value) {
    sink->ValueFailed(FAILED(hr) ? hr : E_POINTER);
    return;
  }
  sink->SetValue(*value);
  PropVariantClear(value);
  CoTaskMemFree(value);
}
