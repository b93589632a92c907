// Runs a built program the way a user does, for the tests of the tools:
// arguments, an environment, standard input from a file, and its standard
// output and error collected whole. Thread-compatible: one call at a time per
// test process.
#pragma once

#include <string>
#include <vector>

namespace arcwise_test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program could not start or did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args`. The environment is this process's, with each
// "NAME=value" of `envOverrides` replacing a variable of the same name (or
// added). Standard input comes from `stdinFile`, or /dev/null when empty.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& envOverrides = {},
                         const std::string& stdinFile = "");

// The overrides that preload `library` (the disk-full library, say) into a
// program RunProcess starts. A library ahead of AddressSanitizer's runtime is
// refused unless ASAN_OPTIONS says otherwise, so that is added to this
// process's own options.
std::vector<std::string> PreloadEnvironment(const std::string& library);

}  // namespace arcwise_test
