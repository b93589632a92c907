// Entry point and exports of libarcwise-text-filter.so: the plain-text
// filter for common text and source file types.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "TextFilter.h"

namespace {

const LPCWSTR kTextExtensions[] = {
    W(".txt"),  W(".text"), W(".log"),  W(".csv"), W(".tsv"),  W(".md"),   W(".ini"), W(".cfg"),
    W(".json"), W(".yaml"), W(".yml"),  W(".xml"), W(".c"),    W(".h"),    W(".cpp"), W(".hpp"),
    W(".cc"),   W(".cs"),   W(".py"),   W(".java"), W(".js"),  W(".ts"),   W(".sh"),  W(".bat"),
    W(".cmd"),  W(".ps1"),  W(".sql"),  W(".rs"),  W(".go"),   W(".rb"),   W(".pl"),  W(".css"),
    // Configuration, markup sources, subtitles and patches, as archives of
    // projects and releases carry them (".mf": a jar's manifest).
    W(".properties"), W(".mf"), W(".toml"), W(".conf"), W(".rst"), W(".adoc"), W(".tex"), W(".bib"),
    W(".srt"),  W(".vtt"),  W(".diff"), W(".patch"), W(".kt"), W(".swift"), W(".php"), W(".lua"),
    W(".scala"), W(".gradle"), W(".cmake"),
};

const FilterModuleInfo kTextModule = {
    &CLSID_ArcwiseTextFilter,
    W("Quillmark Arcwise Plain Text Filter"),
    &CLSID_ArcwiseTextHandler,
    W("Quillmark Arcwise Plain Text Persistent Handler"),
    kTextExtensions,
    sizeof(kTextExtensions) / sizeof(kTextExtensions[0]),
    &CTextFilter::Create,
};

}  // namespace

ARCWISE_DEFINE_FILTER_MODULE(kTextModule)
