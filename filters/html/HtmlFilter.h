// The stock HTML filter (.html .htm .xhtml): the visible text of the page
// as contents chunks, its title (and the author and keywords of its meta
// elements) as summary-property values. One thread at a time.
#pragma once

#include "DocumentFilter.h"

class CHtmlFilter final : public CDocumentFilter {
 public:
  CHtmlFilter();
  static HRESULT Create(REFIID riid, void** ppv) { return CreateAndQuery<CHtmlFilter>(riid, ppv); }

 protected:
  HRESULT Extract(const BYTE* data, size_t size, CDocumentContent* content) override;
};
