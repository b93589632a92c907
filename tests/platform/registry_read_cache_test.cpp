// What a process keeps of its registry reads. The change counter beside the
// database is the only thing that tells it another writer was there, so
// these tests play that writer: they write through a symbolic link to the
// file (a second database to this process, with a counter of its own)
// and then move, or do not move, the first name's counter by hand.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "registry_test_util.h"
#include "support/test_env.h"

using namespace registry_test;

namespace {

const WString kPath = W("Software\\CacheTest");

struct Counters {
  uint64_t begun = 0;
  uint64_t ended = 0;
};

Counters ReadCounters(const std::string& db) {
  Counters c;
  const int fd = open((db + "-changes").c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(pread(fd, &c, sizeof c, 0), static_cast<ssize_t>(sizeof c));
  close(fd);
  return c;
}

void WriteCounters(const std::string& db, Counters c) {
  const int fd = open((db + "-changes").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, &c, sizeof c, 0), static_cast<ssize_t>(sizeof c));
  close(fd);
}

DWORD Query(HKEY key, LSTATUS* status) {
  DWORD value = 0, size = sizeof(value);
  *status = RegQueryValueExW(key, W("V"), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  return value;
}

// Sets V through the file's other name: a write this process's first
// database hears of only through the counter.
void WriteElsewhere(const std::string& otherName, DWORD value) {
  ScopedEnv other("ARCWISE_REGISTRY", otherName);
  arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), value);
}

class RegistryReadCacheTest : public ::testing::Test {
 public:
  void SetUp() override {
    // A folder (and so a database) of each test's own.
    m_folder = arcwise_test::MakeTestFolder(std::string("read-cache-") +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_db = m_folder + "/registry.db";
    m_env.emplace("ARCWISE_REGISTRY", m_db);
    arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), 1);
    ASSERT_EQ(symlink(m_db.c_str(), (m_folder + "/other.db").c_str()), 0);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kPath.c_str(), 0, KEY_READ, &m_key), ERROR_SUCCESS);
  }
  void TearDown() override {
    if (m_key) RegCloseKey(m_key);
  }
  DWORD Read() {
    LSTATUS status = ERROR_SUCCESS;
    const DWORD value = Query(m_key, &status);
    EXPECT_EQ(status, ERROR_SUCCESS);
    return value;
  }

  std::string m_folder, m_db;
  std::optional<ScopedEnv> m_env;
  HKEY m_key = nullptr;
};

}  // namespace

// Each row: how the counter stands after the foreign write, and what the
// next read must give. Reads are kept only while the counter is still.
TEST_F(RegistryReadCacheTest, ReadsAreKeptExactlyWhileTheCounterStandsStill) {
  struct Case {
    const char* name;
    int beginDelta;  // added to begun after the foreign write
    int endDelta;    // added to ended
    DWORD expected;
  };
  const Case cases[] = {
      {"counter untouched: the kept read is answered", 0, 0, 1},
      {"a commit under way: nothing kept is trusted", 1, 0, 2},
      {"a write ended: the next read goes to the file", 1, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), 1);
    ASSERT_EQ(Read(), 1u);  // kept
    WriteElsewhere(m_folder + "/other.db", 2);
    Counters now = ReadCounters(m_db);
    ASSERT_EQ(now.begun, now.ended);
    now.begun += c.beginDelta;
    now.ended += c.endDelta;
    WriteCounters(m_db, now);
    EXPECT_EQ(Read(), c.expected);
    // While a commit is under way what is read is not kept either.
    if (c.beginDelta != c.endDelta) {
      WriteElsewhere(m_folder + "/other.db", 3);
      EXPECT_EQ(Read(), 3u);
      now.ended = now.begun;
      WriteCounters(m_db, now);
    }
  }
}

// Inside a transaction the thread reads its own uncommitted writes, and
// nothing of them is kept once it is undone.
TEST_F(RegistryReadCacheTest, AnUndoneTransactionLeavesNothingKept) {
  ASSERT_EQ(Read(), 1u);
  struct Context {
    RegistryReadCacheTest* test;
    DWORD seenInside;
  } context{this, 0};
  const LSTATUS status = ArcwiseRegistryTransaction(
      [](void* p) {
        auto* ctx = static_cast<Context*>(p);
        arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), 7);
        ctx->seenInside = ctx->test->Read();
        return false;
      },
      &context);
  EXPECT_EQ(status, ERROR_CANCELLED);
  EXPECT_EQ(context.seenInside, 7u);
  EXPECT_EQ(Read(), 1u);
  arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), 8);
  EXPECT_EQ(Read(), 8u);
}

// The counter is as private as the database: it takes the file's bits.
TEST_F(RegistryReadCacheTest, TheCounterFileHasTheDatabasesPermissions) {
  struct stat db {}, counter {};
  ASSERT_EQ(stat(m_db.c_str(), &db), 0);
  ASSERT_EQ(stat((m_db + "-changes").c_str(), &counter), 0);
  EXPECT_EQ(counter.st_mode & 0777, db.st_mode & 0666);
}

// Readers on several threads while one thread writes: once a write has
// returned, no thread reads an older value.
TEST_F(RegistryReadCacheTest, ThreadsNeverReadOlderThanTheLastWriteReturned) {
  std::atomic<DWORD> written{1};
  std::atomic<bool> done{false};
  std::vector<std::thread> readers;
  std::atomic<int> older{0};
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
      while (!done.load()) {
        const DWORD floor = written.load();
        LSTATUS status = ERROR_SUCCESS;
        const DWORD value = Query(key, &status);
        if (status != ERROR_SUCCESS || value < floor) ++older;
      }
      RegCloseKey(key);
    });
  }
  for (DWORD v = 2; v <= 200; ++v) {
    arcwise_test::SetDword(HKEY_CURRENT_USER, kPath, W("V"), v);
    written.store(v);
  }
  done.store(true);
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(older.load(), 0);
  EXPECT_EQ(Read(), 200u);
}

// A path of several keys is kept as one look-up; keys made and deleted by
// another writer must show in the next open all the same, the new key's
// values included.
TEST_F(RegistryReadCacheTest, WholePathsFollowKeysMadeAndDeletedElsewhere) {
  const WString deep = kPath + W("\\A\\B");
  auto open = [&](DWORD* value) {
    HKEY key = nullptr;
    // Below the open key: a root would find another database object since
    // the environment named the other file, and with it an empty cache.
    const LSTATUS status = RegOpenKeyExW(m_key, W("A\\B"), 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
      LSTATUS read = ERROR_SUCCESS;
      *value = Query(key, &read);
      EXPECT_EQ(read, ERROR_SUCCESS);
      RegCloseKey(key);
    }
    return status;
  };
  struct Case {
    const char* name;
    bool make;  // else delete
    LSTATUS expected;
  };
  const Case cases[] = {
      {"made elsewhere: the path opens", true, ERROR_SUCCESS},
      {"deleted elsewhere: the path is gone", false, ERROR_FILE_NOT_FOUND},
      {"made again: the new key opens, with its own value", true, ERROR_SUCCESS},
  };
  DWORD value = 0;
  ASSERT_EQ(open(&value), ERROR_FILE_NOT_FOUND);  // the missing path is kept too
  DWORD step = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++step;
    {
      ScopedEnv other("ARCWISE_REGISTRY", m_folder + "/other.db");
      if (c.make) {
        arcwise_test::SetDword(HKEY_CURRENT_USER, deep, W("V"), step);
      } else {
        ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, (kPath + W("\\A")).c_str()), ERROR_SUCCESS);
      }
    }
    Counters now = ReadCounters(m_db);
    ++now.begun;
    ++now.ended;
    WriteCounters(m_db, now);
    value = 0;
    EXPECT_EQ(open(&value), c.expected);
    if (c.expected == ERROR_SUCCESS) {
      EXPECT_EQ(value, step);
    }
  }
}
