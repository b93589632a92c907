// CArcwise: the ZIP filter object, the class that CLSID_ArcwiseFilter
// creates. It adds to CFilter the loading of a ZipDocument from a path (which
// extracts the whole archive into a folder of its own), and the state of the
// chunk pump that walks the extracted files through nested filters and then
// emits the entry names.
//
// Ownership: besides what CFilter owns, the object owns the host's attribute
// copy, the property emitter, the current file's path and the name text, and
// one reference each on the current nested filter and its stream.
// Threads: one thread at a time per object (see CFilter).
#pragma once

#include <memory>

#include <comptr.h>

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

 private:
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
};
