// Entry point and exports of libarcwise-html-filter.so: the stock filter for
// HTML and XHTML pages.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "HtmlFilter.h"

namespace {

const LPCWSTR kHtmlExtensions[] = {W(".html"), W(".htm"), W(".xhtml")};

const FilterModuleInfo kHtmlModule = {
    &CLSID_ArcwiseHtmlFilter,
    W("Quillmark Arcwise HTML Filter"),
    &CLSID_ArcwiseHtmlHandler,
    W("Quillmark Arcwise HTML Persistent Handler"),
    kHtmlExtensions,
    sizeof(kHtmlExtensions) / sizeof(kHtmlExtensions[0]),
    &CHtmlFilter::Create,
};

}  // namespace

ARCWISE_DEFINE_FILTER_MODULE(kHtmlModule)
