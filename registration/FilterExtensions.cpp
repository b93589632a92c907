// The module's one extension: ZIP archives.
#include "registration/FilterExtensions.h"

const FilterExtension g_filterExtensions[] = {
    {W(".zip"), nullptr, 0},
};
const ULONG g_filterExtensionCount = sizeof(g_filterExtensions) / sizeof(g_filterExtensions[0]);
