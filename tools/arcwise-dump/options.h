// Command line of arcwise-dump: which files, how each is opened (LoadIFilter,
// a class by id, a file stream, standard input), the Init flags and
// attributes handed to the filter, and the output format. Parsed once on the
// main thread; the result is read-only afterwards.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <filter.h>

enum class OutputFormat { Human, Text, Json };

// The flags a full-text indexer passes: canonical text, index and other
// attributes, so that a filter emits everything it has.
constexpr ULONG kDefaultInitFlags = IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_HARD_LINE_BREAKS |
                                    IFILTER_INIT_CANON_HYPHENS | IFILTER_INIT_CANON_SPACES |
                                    IFILTER_INIT_APPLY_INDEX_ATTRIBUTES |
                                    IFILTER_INIT_APPLY_OTHER_ATTRIBUTES;

struct DumpOptions {
  OutputFormat format = OutputFormat::Human;
  bool haveClsid = false;
  CLSID clsid = {};
  bool useStream = false;  // IPersistStream::Load over a file stream
  bool useStdin = false;   // the archive comes from standard input
  bool showHelp = false;
  bool registerModules = true;  // first-run registration of the bundled modules
  ULONG initFlags = kDefaultInitFlags;
  // Attributes for Init. Names of PRSPEC_LPWSTR entries point into
  // attributeNames, which never moves its elements.
  std::vector<FULLPROPSPEC> attributes;
  std::deque<WString> attributeNames;
  std::vector<std::string> files;
};

// False with *error set on a bad command line.
bool ParseOptions(int argc, char** argv, DumpOptions* options, std::string* error);

void PrintUsage(FILE* out);
