// The module's last line: DllMain's detach must find the logger alive both
// when the module is unloaded and when the process exits with it loaded, and
// an unloaded module must leave nothing behind for the exit to run.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/test_env.h"

namespace {

const char kUnloaded[] = "Quillmark Arcwise Filter:INFO: DLL was unloaded \n";

void SetDebugMode(DWORD level) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Quillmark\\Arcwise"), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, W("DebugMode"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level),
                           sizeof(level)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// Runs `body` in a child process whose standard error is collected; returns
// what it wrote and its wait status.
std::string RunChild(void (*body)(), int* status) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return std::string();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    dup2(pipeFds[1], STDERR_FILENO);
    body();
    _exit(90);  // body ends the process itself
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
  close(pipeFds[0]);
  waitpid(pid, status, 0);
  return output;
}

void LoadAndExit() {
  if (!dlopen(ARCWISE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) _exit(91);
  exit(0);  // the module is still loaded: the exit handlers and fini functions run now
}

void LoadUnloadAndExit() {
  void* module = dlopen(ARCWISE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!module) _exit(91);
  dlclose(module);
  fprintf(stderr, "after dlclose\n");
  exit(0);
}

// Each product module twice over: a handler left registered for a copy that
// is gone would run in unmapped code at exit.
void LoadUnloadEveryModuleTwiceAndExit() {
  for (const char* path : {ARCWISE_MODULE_PATH, ARCWISE_TEXT_FILTER_PATH, ARCWISE_COMPOUND_FILTER_PATH}) {
    for (int load = 0; load < 2; ++load) {
      void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
      if (!module) _exit(91);
      dlclose(module);
    }
  }
  fprintf(stderr, "after dlclose\n");
  exit(0);
}

TEST(ModuleExit, DetachIsLoggedWhenTheProcessExitsWithTheModuleLoaded) {
  SetDebugMode(1);
  int status = 0;
  std::string output = RunChild(&LoadAndExit, &status);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;  // a sanitizer finding would change it
  EXPECT_NE(output.find("Quillmark Arcwise Filter:INFO: DLL was loaded \n"), std::string::npos) << output;
  EXPECT_NE(output.find(kUnloaded), std::string::npos) << output;
}

TEST(ModuleExit, DetachIsLoggedOnceAtUnload) {
  SetDebugMode(1);
  int status = 0;
  std::string output = RunChild(&LoadUnloadAndExit, &status);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;
  size_t unloaded = output.find(kUnloaded);
  ASSERT_NE(unloaded, std::string::npos) << output;
  EXPECT_LT(unloaded, output.find("after dlclose")) << output;
  EXPECT_EQ(output.find(kUnloaded, unloaded + 1), std::string::npos) << output;
}

TEST(ModuleExit, EveryUnloadRunsItsOwnDetachAndTheExitIsClean) {
  SetDebugMode(1);
  int status = 0;
  std::string output = RunChild(&LoadUnloadEveryModuleTwiceAndExit, &status);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;
  const size_t first = output.find(kUnloaded);
  ASSERT_NE(first, std::string::npos) << output;
  const size_t second = output.find(kUnloaded, first + 1);
  ASSERT_NE(second, std::string::npos) << output;
  EXPECT_EQ(output.find(kUnloaded, second + 1), std::string::npos) << output;
  EXPECT_LT(second, output.find("after dlclose")) << output;
}

}  // namespace
