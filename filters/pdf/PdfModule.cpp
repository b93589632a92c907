// Entry point and exports of libarcwise-pdf-filter.so: the stock filter for
// PDF documents.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "PdfFilter.h"

namespace {

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
