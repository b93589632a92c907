// arcwise-dump: a filtdump-style host. For each file it obtains the filter
// an indexer would use, initialises it and writes every chunk with its text
// or value, as a listing for people, as plain text, or as JSON Lines.
//
//   arcwise-dump [--text|--json] [--clsid {GUID}] [--stream] [--stdin]
//                [--init-flags FLAGS] [--attribute FMTID,PROP]... FILE...
//
// A filter that asks its caller for the file's OLE properties gets them read
// and written as value chunks after its own, as an indexer would.
// On a machine where nothing is registered yet it first registers the
// bundled modules (see first_run.h). Errors are one line on standard error
// each, naming the file and the cause; the other files still run. Exit
// codes: 0 every file dumped, 1 at least one failed, 2 bad command line.
// Single-threaded.
#include <cstdio>
#include <string>

#include <objbase.h>

#include "chunk_walker.h"
#include "filter_source.h"
#include "first_run.h"
#include "error_text.h"
#include "ole_properties.h"
#include "options.h"
#include "output_writers.h"

namespace {

enum ExitCode { kSuccess = 0, kFileFailed = 1, kBadArguments = 2 };

const char kProgram[] = "arcwise-dump";

class Dumper {
 public:
  Dumper(const DumpOptions& options, OutputBuffer* out)
      : m_options(options), m_out(out), m_writer(MakeWriter(options.format, out)) {}

  // One input, its name as the user wrote it; false when it failed.
  bool Dump(const std::string* file) {
    std::string name = file ? *file : std::string("(stdin)");
    // A registry failure is named only when it happened for this input.
    ArcwiseRegistryClearLastError();
    LoadedFilter loaded;
    std::string cause;
    HRESULT hr = file ? OpenFilterForFile(m_options, *file, &loaded, &cause)
                      : OpenFilterForStdin(m_options, &loaded, &cause);
    if (FAILED(hr)) return Fail(name, cause);

    ULONG filterFlags = 0;
    hr = loaded.filter->Init(m_options.initFlags, static_cast<ULONG>(m_options.attributes.size()),
                             m_options.attributes.empty() ? nullptr : m_options.attributes.data(), &filterFlags);
    if (FAILED(hr)) return Fail(name, "Init failed with " + DescribeHResult(hr));

    m_writer->BeginFile(name);
    hr = m_walker.Walk(loaded.filter.Get(), m_writer.get());
    if (SUCCEEDED(hr) && (filterFlags & IFILTER_FLAGS_OLE_PROPERTIES) && !loaded.path.empty())
      EmitOleProperties(loaded.path, m_walker.LastChunkId() + 1, m_writer.get());
    m_writer->EndFile();
    if (FAILED(hr)) {
      return Fail(name, "reading chunks failed after chunk " + std::to_string(m_walker.ChunkCount()) +
                            " with " + DescribeHResult(hr));
    }
    return true;
  }

 private:
  bool Fail(const std::string& name, const std::string& cause) {
    m_out->Flush();
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, name.c_str(), cause.c_str());
    return false;
  }

  const DumpOptions& m_options;
  OutputBuffer* m_out;
  std::unique_ptr<ChunkSink> m_writer;
  ChunkWalker m_walker;
};

void SetUpOnFirstRun(ModuleHandles* keep) {
  std::vector<std::string> modules = FindBundledModules();
  if (modules.empty()) {
    std::fprintf(stderr,
                 "%s: nothing is registered in %s and the bundled modules were not found next to the "
                 "program; register filters with arcwise-regsvr\n",
                 kProgram, RegistryFileName().c_str());
    return;
  }
  SetupResult result = RegisterModules(modules, keep);
  for (const std::string& failure : result.failures) std::fprintf(stderr, "%s: first run: %s\n", kProgram, failure.c_str());
  if (!result.registered.empty()) {
    std::string list;
    for (const std::string& module : result.registered) list += (list.empty() ? "" : ", ") + module;
    std::fprintf(stderr, "%s: first run: registered %s in the registry %s\n", kProgram, list.c_str(),
                 RegistryFileName().c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  DumpOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    PrintUsage(stderr);
    return kBadArguments;
  }
  if (options.showHelp) {
    PrintUsage(stdout);
    return kSuccess;
  }

  // Decided before COM or anything else opens (and so creates) the database.
  bool firstRun = options.registerModules && RegistryNeedsSetup();
  ModuleHandles registeredModules;  // released after CoUninitialize

  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    std::fprintf(stderr, "%s: COM could not be initialised: %s\n", kProgram, DescribeHResult(hr).c_str());
    return kFileFailed;
  }
  if (firstRun) SetUpOnFirstRun(&registeredModules);

  int failures = 0;
  bool outputFailed = false;
  {
    OutputBuffer out(stdout);
    Dumper dumper(options, &out);
    if (options.useStdin) {
      if (!dumper.Dump(nullptr)) ++failures;
    } else {
      for (const std::string& file : options.files) {
        if (!dumper.Dump(&file)) ++failures;
      }
    }
    out.Flush();
    outputFailed = out.Failed();
  }
  CoUninitialize();
  if (outputFailed) {
    std::fprintf(stderr, "%s: writing the output failed\n", kProgram);
    return kFileFailed;
  }
  return failures ? kFileFailed : kSuccess;
}
