// The PDF filter object.
#include "PdfFilter.h"

#include "FilterGuids.h"
#include "PdfText.h"

namespace {

// poppler reads the whole file from memory; scanned books reach a few
// hundred megabytes, and their text is in images anyway.
constexpr size_t kMaxPdfBytes = 512 * 1024 * 1024;

}  // namespace

CPdfFilter::CPdfFilter() : CDocumentFilter(CLSID_ArcwisePdfFilter, kMaxPdfBytes) {}

HRESULT CPdfFilter::Extract(const BYTE* data, size_t size, CDocumentContent* content) {
  return ExtractPdfText(data, size, content);
}
