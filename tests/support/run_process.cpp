#include "support/run_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/files.h"
#include "support/test_env.h"

extern char** environ;

namespace arcwise_test {

namespace {

std::string VariableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// A fresh file under the test root to receive one output stream.
std::string MakeCaptureFile(const char* stem) {
  std::string templ = TestRoot() + "/" + stem + "-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd >= 0) close(fd);
  return name.data();
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& envOverrides, const std::string& stdinFile) {
  const std::string outPath = MakeCaptureFile("stdout");
  const std::string errPath = MakeCaptureFile("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, stdinFile.empty() ? "/dev/null" : stdinFile.c_str(),
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_TRUNC, 0);

  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment(envOverrides);
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool overridden = false;
    for (const auto& override : envOverrides) overridden |= VariableName(override) == VariableName(entry);
    if (!overridden) environment.push_back(entry);
  }
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  ProcessResult result;
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadAll(outPath);
  result.err = ReadAll(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return result;
}

std::vector<std::string> PreloadEnvironment(const std::string& library) {
  const char* own = getenv("ASAN_OPTIONS");
  std::string options = own && *own ? std::string(own) + ":" : std::string();
  return {"LD_PRELOAD=" + library, "ASAN_OPTIONS=" + options + "verify_asan_link_order=0"};
}

}  // namespace arcwise_test
