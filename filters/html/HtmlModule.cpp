// Entry point and exports of libarcwise-html-filter.so: the stock filter for
// HTML and XHTML pages.
#include "compat/Win32Compat.h"

#include "DocumentFilter.h"
#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "HtmlText.h"

namespace {

// Pages larger than this are not read: a real page of 64 MiB is unheard of.
constexpr size_t kMaxHtmlBytes = 64 * 1024 * 1024;

// The stock HTML filter (.html .htm .xhtml): the visible text of the page
// as contents chunks, its title (and the author and keywords of its meta
// elements) as summary-property values.
using CHtmlFilter = CDocumentFilterOf<&CLSID_ArcwiseHtmlFilter, kMaxHtmlBytes, ExtractHtmlText>;

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
