// Obtaining a loaded filter for one input, the ways a host can: LoadIFilter
// (the default, falling back to a stream when the filter has no
// IPersistFile), a class created by id, IPersistStream over a file stream,
// or a memory stream filled from standard input. Failures come back as one
// sentence naming the cause. Main thread, inside the COM apartment.
#pragma once

#include <string>

#include "compat/ComPtr.h"
#include <filter.h>
#include <objbase.h>

#include "options.h"

struct LoadedFilter {
  ComPtr<IFilter> filter;
  // The stream a filter was loaded from stays open while the filter lives.
  ComPtr<IStream> stream;
  // The file's full path; empty for standard input.
  WString path;
};

// S_OK with *loaded filled, or the failing code with *cause set to a
// sentence such as "no filter is registered for \".xyz\" files".
HRESULT OpenFilterForFile(const DumpOptions& options, const std::string& file, LoadedFilter* loaded,
                          std::string* cause);
HRESULT OpenFilterForStdin(const DumpOptions& options, LoadedFilter* loaded, std::string* cause);

// The filter class registered for an extension (".zip") through the
// persistent-handler layout; false when there is none.
bool FindRegisteredFilter(const WString& extension, CLSID* clsid);
