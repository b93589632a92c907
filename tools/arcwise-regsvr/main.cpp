// arcwise-regsvr: loads an in-process server and calls its self-registration
// export, as regsvr32 does on Windows.
//
//   arcwise-regsvr [/u] [/s] MODULE
//
// /u calls DllUnregisterServer instead of DllRegisterServer; /s prints
// nothing. Messages go to standard output (there are no dialogs here).
// Exit codes follow regsvr32: 0 success, 1 bad arguments, 2 COM could not be
// initialised, 3 the module did not load, 4 the export is missing, 5 the
// export returned a failure code. A bare module name is looked for as
// LoadLibraryW looks for it: the program's folder, then the current folder,
// then the loader's search path. Single-threaded.
#include <cstdio>
#include <cstring>
#include <string>

#include <objbase.h>

#include "error_text.h"
#include "self_registration.h"

namespace {

enum ExitCode { kSuccess = 0, kBadArguments = 1, kComFailed = 2, kLoadFailed = 3,
                kEntryMissing = 4, kCallFailed = 5 };

struct Options {
  bool unregister = false;
  bool silent = false;
  std::string module;
};

bool IsSwitch(const char* arg, char letter) {
  return (arg[0] == '/' || arg[0] == '-') && (arg[1] == letter || arg[1] == (letter - 'a' + 'A')) &&
         arg[2] == '\0';
}

void PrintUsage(FILE* out) {
  std::fputs(
      "Usage: arcwise-regsvr [/u] [/s] MODULE\n"
      "  /u  unregister the module (calls DllUnregisterServer)\n"
      "  /s  silent: print no messages\n",
      out);
}

void Report(const Options& options, const std::string& message) {
  if (!options.silent) std::printf("%s\n", message.c_str());
}

int CallEntry(const Options& options) {
  const SelfRegistration call = CallSelfRegistration(options.module, options.unregister, false);
  const std::string entryName = call.entryName;
  switch (call.outcome) {
    case SelfRegistration::kLoadFailed:
      Report(options, "The module \"" + options.module + "\" failed to load.\n\n" +
                          "Check that the file exists at that path and that the libraries it "
                          "depends on can be found.\n\n" +
                          call.loadDetail);
      return kLoadFailed;
    case SelfRegistration::kEntryMissing:
      Report(options, "The module \"" + options.module + "\" was loaded but the entry-point " + entryName +
                          " was not found.\n\nCheck that \"" + options.module +
                          "\" is an in-process server with the self-registration exports.");
      return kEntryMissing;
    case SelfRegistration::kCalled:
      break;
  }
  if (FAILED(call.result)) {
    const std::string registry = LastRegistryFailureText();
    Report(options, "The module \"" + options.module + "\" was loaded but the call to " + entryName +
                        " failed with error code " + DescribeHResult(call.result) +
                        (registry.empty() ? std::string() : ": " + registry) + ".");
    return kCallFailed;
  }
  Report(options, entryName + " in " + options.module + " succeeded.");
  return kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string usageError;
  for (int i = 1; i < argc && usageError.empty(); ++i) {
    const char* arg = argv[i];
    if (IsSwitch(arg, 'u')) {
      options.unregister = true;
    } else if (IsSwitch(arg, 's')) {
      options.silent = true;
    } else if (std::strcmp(arg, "/?") == 0 || std::strcmp(arg, "-h") == 0 ||
               std::strcmp(arg, "--help") == 0) {
      PrintUsage(stdout);
      return kSuccess;
    } else if ((arg[0] == '/' || arg[0] == '-') && arg[1] != '\0' && arg[2] == '\0') {
      // A one-letter switch we do not know; longer arguments are module paths.
      usageError = std::string("Unrecognized flag: ") + arg;
    } else if (options.module.empty()) {
      options.module = arg;
    } else {
      usageError = "Only one module may be named.";
    }
  }
  if (usageError.empty() && options.module.empty()) usageError = "No module was named.";
  if (!usageError.empty()) {
    if (!options.silent) {
      std::fprintf(stderr, "%s\n", usageError.c_str());
      PrintUsage(stderr);
    }
    return kBadArguments;
  }

  // regsvr32 enters a single-threaded apartment around the call.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) {
    if (!options.silent) std::printf("COM could not be initialized: %s.\n", DescribeHResult(hr).c_str());
    return kComFailed;
  }
  int exitCode = CallEntry(options);
  CoUninitialize();
  return exitCode;
}
