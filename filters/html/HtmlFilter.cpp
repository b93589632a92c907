// The HTML filter object.
#include "HtmlFilter.h"

#include "FilterGuids.h"
#include "HtmlText.h"

namespace {

// Pages larger than this are not read: a real page of 64 MiB is unheard of.
constexpr size_t kMaxHtmlBytes = 64 * 1024 * 1024;

}  // namespace

CHtmlFilter::CHtmlFilter() : CDocumentFilter(CLSID_ArcwiseHtmlFilter, kMaxHtmlBytes) {}

HRESULT CHtmlFilter::Extract(const BYTE* data, size_t size, CDocumentContent* content) {
  return ExtractHtmlText(data, size, content);
}
