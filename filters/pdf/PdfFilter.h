// The stock PDF filter (.pdf): the text of every page in reading order as
// contents chunks, the document information as summary-property values.
// One thread at a time.
#pragma once

#include "DocumentFilter.h"

class CPdfFilter final : public CDocumentFilter {
 public:
  CPdfFilter();
  static HRESULT Create(REFIID riid, void** ppv) { return CreateAndQuery<CPdfFilter>(riid, ppv); }

 protected:
  HRESULT Extract(const BYTE* data, size_t size, CDocumentContent* content) override;
};
