// The Office document filter object.
#include "OfficeFilter.h"

#include "FilterGuids.h"
#include "OfficeText.h"

namespace {

// The package is read from memory; its parts are bounded on their own (see
// PackageReader.h).
constexpr size_t kMaxOfficeBytes = 512 * 1024 * 1024;

}  // namespace

COfficeFilter::COfficeFilter() : CDocumentFilter(CLSID_ArcwiseOfficeFilter, kMaxOfficeBytes) {}

HRESULT COfficeFilter::Extract(const BYTE* data, size_t size, CDocumentContent* content) {
  return ExtractOfficeText(data, size, content);
}
