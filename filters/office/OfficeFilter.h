// The stock filter for Office Open XML and OpenDocument files: the text of
// the body (paragraphs, table cells, shared strings, slides and notes) as
// contents chunks, the core properties as summary-property values. One
// thread at a time.
#pragma once

#include "DocumentFilter.h"

class COfficeFilter final : public CDocumentFilter {
 public:
  COfficeFilter();
  static HRESULT Create(REFIID riid, void** ppv) { return CreateAndQuery<COfficeFilter>(riid, ppv); }

 protected:
  HRESULT Extract(const BYTE* data, size_t size, CDocumentContent* content) override;
};
