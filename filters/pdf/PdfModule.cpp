// Entry point and exports of libarcwise-pdf-filter.so: the stock filter for
// PDF documents.
#include "compat/Win32Compat.h"

#include "DocumentFilter.h"
#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "PdfText.h"

namespace {

// poppler reads the whole file from memory; scanned books reach a few
// hundred megabytes, and their text is in images anyway.
constexpr size_t kMaxPdfBytes = 512 * 1024 * 1024;

// The stock PDF filter (.pdf): the text of every page in reading order as
// contents chunks, the document information as summary-property values.
using CPdfFilter = CDocumentFilterOf<&CLSID_ArcwisePdfFilter, kMaxPdfBytes, ExtractPdfText>;

const LPCWSTR kPdfExtensions[] = {W(".pdf")};

const FilterModuleInfo kPdfModule = {
    &CLSID_ArcwisePdfFilter,
    W("Quillmark Arcwise PDF Filter"),
    &CLSID_ArcwisePdfHandler,
    W("Quillmark Arcwise PDF Persistent Handler"),
    kPdfExtensions,
    sizeof(kPdfExtensions) / sizeof(kPdfExtensions[0]),
    &CPdfFilter::Create,
};

}  // namespace

ARCWISE_DEFINE_FILTER_MODULE(kPdfModule)
