// The registry when the database itself is the problem. A damaged file
// (bytes that are no database, a real database cut short) fails calls with
// ERROR_REGISTRY_CORRUPT, read-only or not, rather than reading as missing
// keys; a database another writer holds fails writes with ERROR_BUSY once
// the busy timeout the environment sets has passed, while reads go on. The
// thread keeps SQLite's reason for either.
#include <gtest/gtest.h>

#include <chrono>

#include "registry_test_util.h"
#include "support/registry_damage.h"
#include "support/test_env.h"

using namespace registry_test;

namespace {

std::string LastErrorText() { return Utf16ToUtf8(ArcwiseRegistryLastErrorText()); }

TEST(RegistryFailures, DamagedDatabaseIsCorruptNotMissing) {
  const std::string folder = arcwise_test::MakeTestFolder("damaged");
  const struct {
    const char* name;
    void (*make)(const std::string&);
    bool readOnly;
    const char* reason;
  } cases[] = {
      {"garbage", arcwise_test::WriteGarbageRegistry, false, "file is not a database"},
      {"garbage-ro", arcwise_test::WriteGarbageRegistry, true, "file is not a database"},
      {"truncated", arcwise_test::WriteTruncatedRegistry, false, "database disk image is malformed"},
      {"truncated-ro", arcwise_test::WriteTruncatedRegistry, true, "database disk image is malformed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder + "/" + c.name + ".db";
    c.make(path);
    ScopedEnv database("ARCWISE_REGISTRY", path.c_str());
    ScopedEnv readOnly("ARCWISE_REGISTRY_READONLY", c.readOnly ? "1" : nullptr);
    ArcwiseRegistryClearLastError();
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT,
              RegOpenKeyExW(HKEY_CURRENT_USER, W("Software\\Filler\\Key150"), 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, ArcwiseRegistryLastError());
    EXPECT_EQ(c.reason, LastErrorText());
  }
}

TEST(RegistryFailures, HeldDatabaseMakesWritersBusyAfterTheTimeout) {
  const std::string path = arcwise_test::MakeTestFolder("held") + "/registry.db";
  ScopedEnv database("ARCWISE_REGISTRY", path.c_str());
  ScopedEnv timeout("ARCWISE_REGISTRY_BUSY_TIMEOUT_MS", "300");
  TestKey key(W("Held"));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key.get(), W("Before"), 1));

  arcwise_test::RegistryWriteLock lock(path);
  ASSERT_TRUE(lock.Held());
  ArcwiseRegistryClearLastError();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ERROR_BUSY, SetDword(key.get(), W("During"), 2));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(10)) << "the default timeout was used";
  EXPECT_EQ(ERROR_BUSY, ArcwiseRegistryLastError());
  EXPECT_EQ("database is locked", LastErrorText());

  DWORD value = 0, size = sizeof(value);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), W("Before"), nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(&value), &size));
  ArcwiseRegistryClearLastError();
  EXPECT_EQ(ERROR_SUCCESS, ArcwiseRegistryLastError());
  EXPECT_EQ("", LastErrorText());
}

}  // namespace
