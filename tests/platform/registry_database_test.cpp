// The database behind the registry: read-only processes (the environment
// flag, a missing database, a file without write permission), switching
// databases mid-process, the per-user default location, and write
// transactions (commit, rollback, nesting, other threads left alone).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "registry_test_util.h"
#include "support/test_env.h"

using namespace registry_test;
namespace fs = std::filesystem;

namespace {

DWORD ReadDword(HKEY root, LPCWSTR path, LPCWSTR name, LSTATUS* status) {
  HKEY key = nullptr;
  *status = RegOpenKeyExW(root, path, 0, KEY_READ, &key);
  if (*status != ERROR_SUCCESS) return 0;
  DWORD value = 0, size = sizeof(value);
  *status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return value;
}

LSTATUS WriteDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD value) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = SetDword(key, name, value);
  RegCloseKey(key);
  return status;
}

std::string PosixFromWide(const WString& wide) {
  std::string path = Utf16ToUtf8(wide);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

TEST(RegistryDatabase, ReadOnlyFlagRefusesEveryWriteButReads) {
  ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"), W("V"), 7), ERROR_SUCCESS);
  {
    ScopedEnv readOnly("ARCWISE_REGISTRY_READONLY", "1");
    LSTATUS status;
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"), W("v"), &status), 7u);
    EXPECT_EQ(status, ERROR_SUCCESS);

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"), 0, KEY_ALL_ACCESS,
                            &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO\\New"), 0, nullptr, 0,
                              KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    // An existing key may still be opened through RegCreateKeyExW for reading.
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"), 0, nullptr, 0,
                              KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, W("Root"), 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(HKEY_CURRENT_USER, W("Root")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\Absent")),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ArcwiseRegistryTransaction([](void*) { return true; }, nullptr), ERROR_ACCESS_DENIED);
  }
  // Nothing of the refused writes happened.
  LSTATUS status;
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"), W("V"), &status), 7u);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO\\New"), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, W("Root"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  SHDeleteKeyW(HKEY_CURRENT_USER, W("Software\\ArcwiseTests\\RO"));
}

TEST(RegistryDatabase, MissingDatabaseReadsAsEmptyWhenReadOnly) {
  std::string folder = arcwise_test::MakeTestFolder("missing-db");
  std::string file = folder + "/absent.db";
  ScopedEnv path("ARCWISE_REGISTRY", file.c_str());
  ScopedEnv readOnly("ARCWISE_REGISTRY_READONLY", "1");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W("Software"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, W(".txt"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
  WCHAR name[64];
  DWORD cch = 64;
  EXPECT_EQ(RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  DWORD size = 0, subKeys = 5;
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, W("x"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryInfoKeyW(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, W("x"), 1), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs::exists(file));  // reading never creates the database
}

TEST(RegistryDatabase, FileWithoutWritePermissionIsReadOnly) {
  std::string folder = arcwise_test::MakeTestFolder("chmod-db");
  std::string file = folder + "/locked.db";
  {
    ScopedEnv path("ARCWISE_REGISTRY", file.c_str());
    ASSERT_EQ(WriteDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Locked"), W("V"), 11), ERROR_SUCCESS);
  }
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  ScopedEnv path("ARCWISE_REGISTRY", file.c_str());
  LSTATUS status;
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Locked"), W("V"), &status), 11u);
  EXPECT_EQ(status, ERROR_SUCCESS);
  if (geteuid() == 0) {
    // access(W_OK) answers yes to root whatever the mode, so root writes here;
    // ReadOnlyFlagRefusesEveryWriteButReads covers refusal for root.
    GTEST_SKIP() << "running as root: the file mode cannot make the database read-only";
  }
  EXPECT_EQ(WriteDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Locked"), W("V"), 12), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Locked"), W("V"), &status), 11u);
}

TEST(RegistryDatabase, SwitchingDatabaseKeepsOldHandlesOnTheOldFile) {
  const std::string original = arcwise_test::RegistryFile();
  TestKey key(W("Switch"));
  ASSERT_EQ(key.status(), ERROR_SUCCESS);
  EXPECT_EQ(PosixFromWide(ArcwiseRegistryPath()), original);

  std::string other = arcwise_test::MakeTestFolder("switch-db") + "/other.db";
  {
    ScopedEnv path("ARCWISE_REGISTRY", other.c_str());
    EXPECT_EQ(PosixFromWide(ArcwiseRegistryPath()), other);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key.path().c_str(), W("InOther"), 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), W("ThroughOldHandle"), 2), ERROR_SUCCESS);
    LSTATUS status;
    ReadDword(HKEY_CURRENT_USER, key.path().c_str(), W("ThroughOldHandle"), &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  }
  LSTATUS status;
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, key.path().c_str(), W("ThroughOldHandle"), &status), 2u);
  EXPECT_EQ(status, ERROR_SUCCESS);
  ReadDword(HKEY_CURRENT_USER, key.path().c_str(), W("InOther"), &status);
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(fs::exists(other));
}

TEST(RegistryDatabase, DefaultLocationIsMadeOnFirstUse) {
  std::string folder = arcwise_test::MakeTestFolder("default-db");
  ScopedEnv noRegistry("ARCWISE_REGISTRY", nullptr);
  {
    std::string xdg = folder + "/xdg";
    ScopedEnv config("XDG_CONFIG_HOME", xdg.c_str());
    std::string expected = xdg + "/quillmark-arcwise/registry.db";
    EXPECT_EQ(PosixFromWide(ArcwiseRegistryPath()), expected);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, W("Software\\Default"), W("V"), 1), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(expected));
  }
  {
    std::string home = folder + "/home";
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv homeEnv("HOME", home.c_str());
    std::string expected = home + "/.config/quillmark-arcwise/registry.db";
    EXPECT_EQ(PosixFromWide(ArcwiseRegistryPath()), expected);
    LSTATUS status;
    ReadDword(HKEY_CURRENT_USER, W("Software\\Default"), W("V"), &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);  // another database than the XDG one
    EXPECT_TRUE(fs::exists(expected));        // opened read-write, so made
  }
}

namespace {

struct TransactionContext {
  HKEY key;
  bool result;
  bool nestedResult;
};

bool WriteTwo(void* context) {
  auto* ctx = static_cast<TransactionContext*>(context);
  SetDword(ctx->key, W("First"), 1);
  HKEY sub = nullptr;
  RegCreateKeyExW(ctx->key, W("Made\\Inside"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
  RegCloseKey(sub);
  SetDword(ctx->key, W("Second"), 2);
  return ctx->result;
}

bool OuterWithNested(void* context) {
  auto* ctx = static_cast<TransactionContext*>(context);
  SetDword(ctx->key, W("Outer"), 1);
  LSTATUS nested = ArcwiseRegistryTransaction(
      [](void* c) {
        auto* inner = static_cast<TransactionContext*>(c);
        SetDword(inner->key, W("Inner"), 1);
        return inner->nestedResult;
      },
      context);
  EXPECT_EQ(nested, ctx->nestedResult ? ERROR_SUCCESS : ERROR_CANCELLED);
  return ctx->result;
}

bool Exists(HKEY key, LPCWSTR name) {
  DWORD size = 0;
  return RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

}  // namespace

TEST(RegistryTransaction, CommitsTogetherOrNotAtAll) {
  TestKey key(W("Txn"));
  TransactionContext ctx{key.get(), false, true};
  EXPECT_EQ(ArcwiseRegistryTransaction(&WriteTwo, &ctx), ERROR_CANCELLED);
  EXPECT_FALSE(Exists(key.get(), W("First")));
  EXPECT_FALSE(Exists(key.get(), W("Second")));
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyExW(key.get(), W("Made"), 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);

  ctx.result = true;
  EXPECT_EQ(ArcwiseRegistryTransaction(&WriteTwo, &ctx), ERROR_SUCCESS);
  EXPECT_TRUE(Exists(key.get(), W("First")));
  EXPECT_TRUE(Exists(key.get(), W("Second")));
  ASSERT_EQ(RegOpenKeyExW(key.get(), W("Made\\Inside"), 0, KEY_READ, &sub), ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(ArcwiseRegistryTransaction(nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(RegistryTransaction, NestedCallsJoinTheOuterOne) {
  TestKey key(W("TxnNested"));
  TransactionContext ctx{key.get(), true, false};
  EXPECT_EQ(ArcwiseRegistryTransaction(&OuterWithNested, &ctx), ERROR_SUCCESS);
  EXPECT_TRUE(Exists(key.get(), W("Outer")));
  EXPECT_FALSE(Exists(key.get(), W("Inner")));  // the nested failure undid only its part

  ASSERT_EQ(RegDeleteValueW(key.get(), W("Outer")), ERROR_SUCCESS);
  ctx = {key.get(), false, true};
  EXPECT_EQ(ArcwiseRegistryTransaction(&OuterWithNested, &ctx), ERROR_CANCELLED);
  EXPECT_FALSE(Exists(key.get(), W("Outer")));
  EXPECT_FALSE(Exists(key.get(), W("Inner")));  // committed inner work goes with the outer rollback
}

namespace {

// True once the thread is asleep in the kernel ('S' in its stat line), which
// for a thread that only writes one value means it waits for the lock the
// transaction holds. False when it has not got there by the deadline.
bool WaitUntilAsleep(const std::atomic<pid_t>& tid, std::chrono::seconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (pid_t id = tid.load()) {
      std::ifstream stat("/proc/self/task/" + std::to_string(id) + "/stat");
      std::string line;
      std::getline(stat, line);
      const size_t name = line.rfind(')');
      if (name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S') return true;
    }
    std::this_thread::yield();
  }
  return false;
}

}  // namespace

TEST(RegistryTransaction, OtherThreadsWritesAreNotRolledBack) {
  TestKey key(W("TxnThreads"));
  struct Context {
    HKEY key;
    std::thread other;
    std::atomic<pid_t> otherTid{0};
    bool otherWaited = false;
  } ctx{key.get(), {}};
  LSTATUS result = ArcwiseRegistryTransaction(
      [](void* c) {
        auto* context = static_cast<Context*>(c);
        SetDword(context->key, W("Mine"), 1);
        context->other = std::thread([context] {
          context->otherTid = gettid();
          EXPECT_EQ(SetDword(context->key, W("Theirs"), 2), ERROR_SUCCESS);
        });
        // Roll back only while the other thread's write waits for the lock,
        // so the rollback has a chance to take it along.
        context->otherWaited = WaitUntilAsleep(context->otherTid, std::chrono::seconds(30));
        return false;
      },
      &ctx);
  ctx.other.join();
  EXPECT_TRUE(ctx.otherWaited) << "the other thread never waited for the transaction";
  EXPECT_EQ(result, ERROR_CANCELLED);
  EXPECT_FALSE(Exists(key.get(), W("Mine")));
  EXPECT_TRUE(Exists(key.get(), W("Theirs")));
}
