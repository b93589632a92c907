// Entry point and exports of libarcwise-compound-filter.so: the compound-document
// filter that leaves the OLE summary properties to its caller.
#include "compat/Win32Compat.h"

#include "FilterGuids.h"
#include "FilterModuleExports.h"
#include "CompoundFilter.h"

namespace {

const LPCWSTR kCompoundExtensions[] = {
    W(".doc"), W(".dot"), W(".xls"), W(".xlt"), W(".ppt"), W(".pot"),
    W(".msg"), W(".msi"), W(".pub"), W(".vsd"),
};

const FilterModuleInfo kCompoundModule = {
    &CLSID_ArcwiseCompoundFilter,
    W("Quillmark Arcwise Compound Document Filter"),
    &CLSID_ArcwiseCompoundHandler,
    W("Quillmark Arcwise Compound Document Persistent Handler"),
    kCompoundExtensions,
    sizeof(kCompoundExtensions) / sizeof(kCompoundExtensions[0]),
    &CCompoundFilter::Create,
};

}  // namespace

ARCWISE_DEFINE_FILTER_MODULE(kCompoundModule)
