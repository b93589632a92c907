// Entry point and exports of libarcwise-office-filter.so: the stock filter
// for Office Open XML and OpenDocument files.
#include "compat/Win32Compat.h"

#include "DocumentFilter.h"
#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "OfficeText.h"

namespace {

// The package is read from memory; its parts are bounded on their own (see
// PackageReader.h).
constexpr size_t kMaxOfficeBytes = 512 * 1024 * 1024;

// The stock filter for Office Open XML and OpenDocument files: the text of
// the body (paragraphs, table cells, shared strings, slides and notes) as
// contents chunks, the core properties as summary-property values.
using COfficeFilter = CDocumentFilterOf<&CLSID_ArcwiseOfficeFilter, kMaxOfficeBytes, ExtractOfficeText>;

const LPCWSTR kOfficeExtensions[] = {
    W(".docx"), W(".docm"), W(".dotx"), W(".dotm"), W(".xlsx"), W(".xlsm"), W(".xltx"), W(".xltm"),
    W(".pptx"), W(".pptm"), W(".potx"), W(".potm"), W(".ppsx"), W(".ppsm"), W(".odt"),  W(".ods"),
    W(".odp"),  W(".ott"),  W(".ots"),  W(".otp"),
};

const FilterModuleInfo kOfficeModule = {
    &CLSID_ArcwiseOfficeFilter,
    W("Quillmark Arcwise Office Document Filter"),
    &CLSID_ArcwiseOfficeHandler,
    W("Quillmark Arcwise Office Document Persistent Handler"),
    kOfficeExtensions,
    sizeof(kOfficeExtensions) / sizeof(kOfficeExtensions[0]),
    &COfficeFilter::Create,
};

}  // namespace

ARCWISE_DEFINE_FILTER_MODULE(kOfficeModule)
