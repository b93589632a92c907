// The host's half of IFILTER_FLAGS_OLE_PROPERTIES: a filter that sets this
// flag from Init asks its caller to read the file's OLE property sets
// itself, as an indexer does. arcwise-dump then reads the summary
// information of the file and writes each property as a value chunk after
// the filter's own chunks. Main thread only.
#pragma once

#include <windows.h>

#include "chunk_walker.h"

// Value chunks for the summary-information properties of the compound file
// at `path`, numbered from firstId. Returns how many were written; a file
// without property sets gives none.
ULONG EmitOleProperties(const WString& path, ULONG firstId, ChunkSink* sink);
