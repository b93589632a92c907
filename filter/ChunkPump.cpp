// The IFilter side of CArcwise: the walk over the extracted files, relaying
// each nested filter's chunks under the object's own chunk ids, the
// summary-information values of files whose filters leave them to their
// caller, and one file-name chunk per archive entry at the end.
#include <algorithm>
#include <cstring>
#include <new>

#include "compat/Win32Compat.h"

#include "compat/ContentsChunk.h"
#include "compat/ExceptionBarrier.h"

#include "filter/Arcwise.h"
#include "filter/NestedFilterLoader.h"
#include "filter/NestingGuard.h"

namespace {

// Only the ten lowest IFILTER_INIT bits are passed on to nested filters.
const ULONG kNestedInitMask = 0x3FF;

}  // namespace

void CArcwise::ClosePropertyEmitter() {
  if (m_pPropertyEmitter) {
    m_pPropertyEmitter->Close();
    m_pPropertyEmitter.reset();
  }
}

STDMETHODIMP CArcwise::Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                            ULONG* pFlags) {
  return ExceptionBarrier([&] { return InitWalk(grfFlags, cAttributes, aAttributes, pFlags); });
}

STDMETHODIMP CArcwise::GetChunk(STAT_CHUNK* pStat) {
  return ExceptionBarrier([&] { return NextChunk(pStat); });
}

STDMETHODIMP CArcwise::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
  return ExceptionBarrier([&] { return CopyText(pcwcBuffer, awcBuffer); });
}

STDMETHODIMP CArcwise::GetValue(PROPVARIANT** ppPropValue) {
  return ExceptionBarrier([&] { return TakeValue(ppPropValue); });
}

HRESULT CArcwise::InitWalk(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) {
  if ((cAttributes != 0 && !aAttributes) || !pFlags) return E_INVALIDARG;
  if (!m_pDocument) return E_FAIL;
  CNestingGuard nesting(m_budget.get());
  // A new walk extracts the nested archives again: the document the host
  // loaded pays for them once, not once per walk.
  if (m_budget && m_ownsBudget) m_budget->Restore(m_budgetAfterLoad);

  *pFlags = 0;
  m_initFlags = grfFlags & kNestedInitMask;

  // The previous walk's filter may still point into the old attribute copy.
  m_pNestedFilter = nullptr;
  m_pNestedStream = nullptr;
  ClosePropertyEmitter();

  m_attributes.reset();
  m_attributeCount = 0;
  if (cAttributes != 0) {
    // A shallow copy: names given as PRSPEC_LPWSTR stay the host's.
    m_attributes.reset(new (std::nothrow) FULLPROPSPEC[cAttributes]);
    if (!m_attributes) {
      m_phase = PhaseNone;
      m_chunkState = ChunkNone;
      return E_OUTOFMEMORY;
    }
    std::copy(aAttributes, aAttributes + cAttributes, m_attributes.get());
    m_attributeCount = cAttributes;
  }

  m_nextChunkId = 1;
  m_chunkState = ChunkNone;
  m_pDocument->Rewind();
  const bool hasFilter = MoveToNextFile();
  m_nameCursor = m_pDocument->EntryNamesBegin();
  m_nameText.clear();
  m_phase = hasFilter ? PhaseContent : PhaseNames;
  return S_OK;
}

bool CArcwise::MoveToNextFile() {
  m_pNestedFilter = nullptr;
  m_pNestedStream = nullptr;
  for (;;) {
    if (!m_pDocument->HasMoreFiles()) return false;
    try {
      const WString path = m_pDocument->NextFile();
      if (path.empty()) return false;
      const size_t length = path.size() + 1;
      m_pwszCurrentFile.reset(new WCHAR[length]);
      std::memcpy(m_pwszCurrentFile.get(), path.c_str(), length * sizeof(WCHAR));
      if (OpenNestedFilter(m_pwszCurrentFile.get())) return true;
    } catch (...) {
      // Whatever was obtained is released on the way out; the file counts
      // as one without a filter.
      m_pNestedFilter = nullptr;
      m_pNestedStream = nullptr;
    }
  }
}

bool CArcwise::OpenNestedFilter(LPCWSTR path) {
  NestedFilter nested = LoadNestedFilter(path);
  if (!nested) return false;
  ComPtr<IFilter> filter;
  if (FAILED(nested.object.As(&filter)) || !filter) return false;
  // A filter that reports nothing must not inherit the previous file's flags.
  m_nestedFlags = 0;
  if (FAILED(filter->Init(m_initFlags, m_attributeCount, m_attributes.get(), &m_nestedFlags))) return false;
  m_pNestedFilter = std::move(filter);
  m_pNestedStream = std::move(nested.stream);
  m_newFile = 1;
  return true;
}

HRESULT CArcwise::NextChunk(STAT_CHUNK* pStat) {
  if (!pStat) return E_INVALIDARG;
  CNestingGuard nesting(m_budget.get());
  for (;;) {
    switch (m_phase) {
      case PhaseContent: {
        m_chunkState = ChunkRelayed;
        while (m_pPropertyEmitter || m_pNestedFilter) {
          // The finished file's properties come before the next file's chunks.
          if (m_pPropertyEmitter) {
            if (m_pPropertyEmitter->GetChunk(pStat) == S_OK) {
              pStat->idChunk = m_nextChunkId;
              pStat->idChunkSource = m_nextChunkId;
              ++m_nextChunkId;
              return S_OK;
            }
            ClosePropertyEmitter();
            continue;
          }
          if (m_pNestedFilter->GetChunk(pStat) == S_OK) {
            pStat->idChunk = m_nextChunkId;
            pStat->idChunkSource = m_nextChunkId;
            if (m_newFile) {
              m_newFile = 0;
              pStat->breakType = CHUNK_EOP;
            }
            ++m_nextChunkId;
            return S_OK;
          }
          // Whatever ended the nested chunks, end of chunks or an error, ends
          // this file. Its stream stays open until MoveToNextFile.
          m_pNestedFilter = nullptr;
          if (m_nestedFlags != 0) {
            m_pPropertyEmitter.reset(new (std::nothrow) CPropertyEmitter());
            if (m_pPropertyEmitter && FAILED(m_pPropertyEmitter->Open(m_pwszCurrentFile.get(),
                                                                      FMTID_SummaryInformation))) {
              ClosePropertyEmitter();
            }
          }
          MoveToNextFile();
        }
        m_nameCursor = m_pDocument->EntryNamesBegin();
        m_phase = PhaseNames;
        break;
      }
      case PhaseNames: {
        m_chunkState = ChunkNameText;
        if (m_nameCursor == m_pDocument->EntryNamesEnd()) {
          m_phase = PhaseDone;
          break;
        }
        try {
          m_nameText = *m_nameCursor;
        } catch (const std::bad_alloc&) {
          m_nameText.clear();
          return E_OUTOFMEMORY;
        }
        ++m_nameCursor;
        // The file-name chunks are the contents property of the storage set,
        // one paragraph a name.
        DescribeContentsChunk(pStat, m_nextChunkId, CHUNK_EOP);
        ++m_nextChunkId;
        return S_OK;
      }
      default:
        m_chunkState = ChunkEnd;
        return FILTER_E_END_OF_CHUNKS;
    }
  }
}

HRESULT CArcwise::CopyText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
  if (m_chunkState == ChunkNameText && m_nameText.empty()) m_chunkState = ChunkNameDone;
  switch (m_chunkState) {
    case ChunkRelayed:
      if (m_pPropertyEmitter) return FILTER_E_NO_TEXT;
      if (m_pNestedFilter) return m_pNestedFilter->GetText(pcwcBuffer, awcBuffer);
      return E_FAIL;
    case ChunkNameText: {
      if (!pcwcBuffer) return E_INVALIDARG;
      const size_t n = std::min<size_t>(*pcwcBuffer, m_nameText.size());
      if (n != 0 && !awcBuffer) return E_INVALIDARG;
      if (n != 0) std::memcpy(awcBuffer, m_nameText.data(), n * sizeof(WCHAR));
      *pcwcBuffer = static_cast<ULONG>(n);
      if (n == m_nameText.size()) {
        m_nameText.clear();
        m_chunkState = ChunkNameDone;
        return FILTER_S_LAST_TEXT;
      }
      m_nameText.erase(0, n);
      return S_OK;
    }
    case ChunkNameDone:
      return FILTER_E_NO_MORE_TEXT;
    default:
      return FILTER_E_NO_TEXT;
  }
}

HRESULT CArcwise::TakeValue(PROPVARIANT** ppPropValue) {
  if (m_chunkState != ChunkRelayed) return FILTER_E_NO_VALUES;
  if (m_pPropertyEmitter) return m_pPropertyEmitter->GetValue(ppPropValue);
  if (m_pNestedFilter) return m_pNestedFilter->GetValue(ppPropValue);
  return E_FAIL;
}
