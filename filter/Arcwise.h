// CArcwise: the ZIP filter object, the class that CLSID_ArcwiseFilter
// creates. It adds to CFilter the loading of a ZipDocument from a path (which
// extracts the whole archive into a folder of its own), and the state of the
// chunk pump that walks the extracted files through nested filters and then
// emits the entry names. The pump's methods are in ChunkPump.cpp; a nested
// archive is filtered by another CArcwise, up to the bound of NestingGuard.h,
// and draws on the extraction budget of the archive the host loaded.
//
// Ownership: besides what CFilter owns, the object owns the host's attribute
// copy, the property emitter, the current file's path and the name text, and
// one reference each on the current nested filter and its stream.
// Threads: one thread at a time per object (see CFilter).
#pragma once

#include <memory>

#include "compat/ComPtr.h"

#include "archive/ZipDocument.h"
#include "diagnostics/FilterConfiguration.h"
#include "filter/Filter.h"
#include "filter/PropertyEmitter.h"

class CArcwise : public CFilter<ZipDocument, ArcwiseConfiguration> {
 public:
  typedef CFilter<ZipDocument, ArcwiseConfiguration> Base;

  explicit CArcwise(const ArcwiseConfiguration* pConfiguration);
  ~CArcwise() override;

  // ---- IFilter: the chunk pump ------------------------------------------------
  STDMETHODIMP Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                    ULONG* pFlags) override;
  STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override;
  STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
  STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override;

  // ---- IPersistFile -------------------------------------------------------------
  using Base::Load;
  // Releases any earlier document and extracts the archive at pszFileName
  // into a new folder of the working folder. The mode is ignored.
  STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;

  // Also drops the current file, the property emitter and the nested filter.
  void Reset() override;

  // Which sequence GetChunk is in (m_phase).
  enum Phase : INT {
    PhaseNone = 0,     // no Init yet, or a load since the last one
    PhaseContent = 1,  // relaying the embedded files' chunks and properties
    PhaseNames = 3,    // one file-name chunk per archive entry
    PhaseDone = 6,     // every chunk has been returned
  };
  // What the last GetChunk returned (m_chunkState); decides GetText/GetValue.
  enum ChunkState : INT {
    ChunkNone = 0,      // no chunk since Init
    ChunkRelayed = 1,   // from the nested filter or the property emitter
    ChunkNameText = 2,  // a file-name chunk with text left to hand out
    ChunkNameDone = 3,  // a file-name chunk whose text is all handed out
    ChunkEnd = 6,       // GetChunk answered FILTER_E_END_OF_CHUNKS
  };

 private:
  // Drops the current nested filter and moves on through the document's
  // files until one yields a nested filter, initialised with the host's
  // flags and attributes; false when the files are exhausted.
  bool MoveToNextFile();
  // Obtains, loads and initialises the nested filter of one extracted file.
  bool OpenNestedFilter(LPCWSTR path);
  // The bodies of the interface methods above, which run them behind the
  // exception barrier.
  HRESULT InitWalk(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags);
  HRESULT NextChunk(STAT_CHUNK* pStat);
  HRESULT CopyText(ULONG* pcwcBuffer, WCHAR* awcBuffer);
  HRESULT TakeValue(PROPVARIANT** ppPropValue);
  HRESULT LoadFile(LPCOLESTR pszFileName);
  void ClosePropertyEmitter();
  ULONG m_initFlags = 0;
  ULONG m_attributeCount = 0;
  std::unique_ptr<FULLPROPSPEC[]> m_attributes;
  ULONG m_nestedFlags = 0;
  ComPtr<IFilter> m_pNestedFilter;
  // Kept open for as long as the nested filter loaded from it is used.
  ComPtr<IStream> m_pNestedStream;
  BYTE m_newFile = 0;
  std::unique_ptr<CPropertyEmitter> m_pPropertyEmitter;
  std::unique_ptr<WCHAR[]> m_pwszCurrentFile;
  ZipDocument::EntryNameIterator m_nameCursor{};
  WString m_nameText;
  // The budget of the loaded document's extraction: the object's own when
  // the host loaded it (m_ownsBudget), else the one of the archive it is
  // nested in. What the object's own extraction used, so that each walk
  // starts from there.
  std::shared_ptr<ExtractionBudget> m_budget;
  bool m_ownsBudget = false;
  ExtractionBudget::Usage m_budgetAfterLoad;
};
