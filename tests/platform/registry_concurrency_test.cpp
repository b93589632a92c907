// Concurrent writers: two processes (this test binary started again, each
// with its own connection) and eight threads of one process write a
// thousand values at a time into one database; every write must arrive.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "registry_test_util.h"
#include "support/test_env.h"

extern char** environ;

using namespace registry_test;

namespace {

constexpr int kValuesPerWriter = 1000;
const char kChildDatabase[] = "ARCWISE_REG_TEST_WRITER_DB";
const char kChildTag[] = "ARCWISE_REG_TEST_WRITER_TAG";

// Writes kValuesPerWriter values named "<tag>-<n>" under `path`, each write
// its own call (its own transaction), racing whoever else writes there.
void WriteValues(const WString& path, const std::string& tag) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  for (int i = 0; i < kValuesPerWriter; ++i) {
    WString name = Utf8ToUtf16(tag + "-" + std::to_string(i));
    ASSERT_EQ(SetDword(key, name.c_str(), static_cast<DWORD>(i)), ERROR_SUCCESS) << tag << " " << i;
  }
  RegCloseKey(key);
}

DWORD CountValues(const WString& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return values;
}

pid_t StartWriter(const std::string& database, const std::string& tag) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back(std::string(kChildDatabase) + "=" + database);
  env.push_back(std::string(kChildTag) + "=" + tag);
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  std::string filter = "--gtest_filter=RegistryProcesses.DISABLED_WriterChild";
  std::string alsoDisabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {exe.data(), filter.data(), alsoDisabled.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  return pid;
}

}  // namespace

// The writer half of TwoProcessesLoseNoWrite, run only in the processes that
// test starts (disabled, so a normal run does not list it).
TEST(RegistryProcesses, DISABLED_WriterChild) {
  const char* database = getenv(kChildDatabase);
  const char* tag = getenv(kChildTag);
  if (!database || !tag) GTEST_SKIP() << "runs only as a writer process started by TwoProcessesLoseNoWrite";
  ScopedEnv parents("ARCWISE_REGISTRY", database);  // the parent's database, not this process's own
  WriteValues(W("Software\\Race"), tag);
}

TEST(RegistryProcesses, TwoProcessesLoseNoWrite) {
  std::string database = arcwise_test::MakeTestFolder("race") + "/shared.db";
  pid_t a = StartWriter(database, "A");
  pid_t b = StartWriter(database, "B");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  int statusA = 0, statusB = 0;
  ASSERT_EQ(waitpid(a, &statusA, 0), a);
  ASSERT_EQ(waitpid(b, &statusB, 0), b);
  EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
  EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

  ScopedEnv path("ARCWISE_REGISTRY", database.c_str());
  EXPECT_EQ(CountValues(W("Software\\Race")), 2u * kValuesPerWriter);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\Race"), 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const char* tag : {"A", "B"}) {
    for (int i = 0; i < kValuesPerWriter; i += 97) {
      WString name = Utf8ToUtf16(std::string(tag) + "-" + std::to_string(i));
      DWORD value = 0, size = sizeof(value);
      ASSERT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                 &size),
                ERROR_SUCCESS);
      EXPECT_EQ(value, static_cast<DWORD>(i));
    }
  }
  RegCloseKey(key);
}

// A process keeps what it read; another process's writes must still show in
// its next read, absent values and key counts included.
TEST(RegistryProcesses, AReaderSeesAnotherProcessesWritesAtOnce) {
  std::string database = arcwise_test::MakeTestFolder("seen") + "/shared.db";
  ScopedEnv path("ARCWISE_REGISTRY", database.c_str());
  arcwise_test::CreateKey(HKEY_CURRENT_USER, W("Software\\Race"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(CountValues(W("Software\\Race")), round * kValuesPerWriter);
    const std::string tag = round == 0 ? "A" : "B";
    const WString last = Utf8ToUtf16(tag + "-" + std::to_string(kValuesPerWriter - 1));
    EXPECT_EQ(arcwise_test::ReadValue(HKEY_CURRENT_USER, W("Software\\Race"), last.c_str()).status,
              ERROR_FILE_NOT_FOUND);
    // RegGetValueW below a root keeps its outcome as one read: the missing
    // value must not stay missing once the other process has written it.
    auto getValue = [&] {
      return RegGetValueW(HKEY_CURRENT_USER, W("Software\\Race"), last.c_str(), RRF_RT_ANY, nullptr, nullptr,
                          nullptr);
    };
    EXPECT_EQ(getValue(), ERROR_FILE_NOT_FOUND);
    pid_t child = StartWriter(database, tag);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(getValue(), ERROR_SUCCESS);
    EXPECT_EQ(arcwise_test::ReadValue(HKEY_CURRENT_USER, W("Software\\Race"), last.c_str()).status, ERROR_SUCCESS);
  }
  EXPECT_EQ(CountValues(W("Software\\Race")), 2u * kValuesPerWriter);
}

TEST(RegistryThreads, EightThreadsLoseNoWrite) {
  TestKey key(W("Threads"));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&key, t] {
      // Half the threads share one key, half make their own, so both the
      // value rows and key creation race.
      WString path = t % 2 ? key.path() : key.path() + W("\\T") + Utf8ToUtf16(std::to_string(t));
      WriteValues(path, "T" + std::to_string(t));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(CountValues(key.path()), 4u * kValuesPerWriter);
  for (int t = 0; t < 8; t += 2) {
    EXPECT_EQ(CountValues(key.path() + W("\\T") + Utf8ToUtf16(std::to_string(t))),
              static_cast<DWORD>(kValuesPerWriter));
  }
}
