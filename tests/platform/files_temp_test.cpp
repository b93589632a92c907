// Temporary names: GetTempPathW's folder and return rules, and
// GetTempFileNameW's name form, exclusive creation, uniqueness under
// concurrent callers, moving past names in use and running out of numbers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "support/scoped_env.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

std::string Utf8(const WCHAR* text) { return Utf16ToUtf8(text); }

// Splits "<folder><separator><prefix><hex>.TMP"; false unless the name has
// exactly that form with 1-4 upper-case hex digits and no leading zero.
struct TempName {
  std::string folder;
  char separator = 0;
  std::string prefix;
  unsigned number = 0;
};

bool ParseTempName(const std::string& full, size_t prefixLength, TempName* out) {
  size_t cut = full.find_last_of("\\/");
  if (cut == std::string::npos) return false;
  out->folder = full.substr(0, cut);
  out->separator = full[cut];
  std::string name = full.substr(cut + 1);
  if (name.size() < prefixLength + 5 || name.compare(name.size() - 4, 4, ".TMP") != 0) return false;
  out->prefix = name.substr(0, prefixLength);
  std::string hex = name.substr(prefixLength, name.size() - prefixLength - 4);
  if (hex.empty() || hex.size() > 4 || hex[0] == '0') return false;
  for (char c : hex) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  out->number = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
  return true;
}

TEST(FilesTempPath, FollowsTmpdirAndEndsInASeparator) {
  const std::string tmpdir = getenv("TMPDIR");
  arcwise_test::ScopedEnv guard("TMPDIR", tmpdir);
  WCHAR buffer[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, buffer);
  EXPECT_EQ(tmpdir + "/", Utf8(buffer));
  EXPECT_EQ(static_cast<DWORD>(tmpdir.size() + 1), length);

  guard.Set((tmpdir + "/").c_str());  // already ending in one: not doubled
  GetTempPathW(MAX_PATH, buffer);
  EXPECT_EQ(tmpdir + "/", Utf8(buffer));

  // Empty or unset falls back to the user's own folder below /tmp.
  const std::string own = "/tmp/arcwise-" + std::to_string(geteuid()) + "/";
  guard.Set("");
  GetTempPathW(MAX_PATH, buffer);
  EXPECT_EQ(own, Utf8(buffer));
  guard.Set(nullptr);
  EXPECT_EQ(static_cast<DWORD>(own.size()), GetTempPathW(MAX_PATH, buffer));
  EXPECT_EQ(own, Utf8(buffer));
  struct stat st;
  ASSERT_EQ(0, lstat(own.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(0700u, st.st_mode & 0777u);
  EXPECT_EQ(geteuid(), st.st_uid);
}

// What may serve as a private folder: made 0700, or an existing folder of
// the user's own (narrowed to 0700); never a link, a file or another user's
// folder, which an attacker could have planted under the expected name.
TEST(FilesTempPath, PrivateFolderIsTheUsersOwnOrRefused) {
  const std::string root = arcwise_test::MakeTestFolder("private-folders");
  std::ofstream(root + "/file") << "x";
  mkdir((root + "/wide").c_str(), 0777);
  chmod((root + "/wide").c_str(), 0777);
  mkdir((root + "/elsewhere").c_str(), 0700);
  symlink((root + "/elsewhere").c_str(), (root + "/link").c_str());
  const bool rootUser = geteuid() == 0;
  if (rootUser) {
    mkdir((root + "/foreign").c_str(), 0700);
    EXPECT_EQ(0, chown((root + "/foreign").c_str(), 65534, 65534));
  }
  const struct {
    const char* name;
    DWORD error;
  } cases[] = {{"new", ERROR_SUCCESS},        {"wide", ERROR_SUCCESS},        {"file", ERROR_ACCESS_DENIED},
               {"link", ERROR_ACCESS_DENIED}, {"foreign", ERROR_ACCESS_DENIED}, {"missing/below", ERROR_PATH_NOT_FOUND}};
  arcwise_test::DebugCapture capture;
  for (const auto& c : cases) {
    if (std::string(c.name) == "foreign" && !rootUser) continue;  // only root can give a folder away
    const std::string path = root + "/" + c.name;
    EXPECT_EQ(c.error, ArcwiseEnsurePrivateFolder(path.c_str())) << c.name;
    struct stat st;
    if (c.error == ERROR_SUCCESS && lstat(path.c_str(), &st) == 0) {
      EXPECT_EQ(0700u, st.st_mode & 0777u) << c.name;
    }
  }
  EXPECT_EQ(rootUser ? 3u : 2u, capture.Lines().size()) << "one line saying why for each refusal";
  // The link's target was left as it was.
  struct stat target;
  ASSERT_EQ(0, stat((root + "/elsewhere").c_str(), &target));
  EXPECT_EQ(0700u, target.st_mode & 0777u);
}

TEST(FilesTempPath, ShortBufferGetsTheSizeNeeded) {
  arcwise_test::ScopedEnv guard("TMPDIR", "/var/tmp");  // "/var/tmp/": 9 units
  WCHAR buffer[16];
  buffer[0] = u'?';
  EXPECT_EQ(10u, GetTempPathW(9, buffer));  // no room for the terminator
  EXPECT_EQ(10u, GetTempPathW(0, nullptr));
  EXPECT_EQ(9u, GetTempPathW(10, buffer));
  EXPECT_EQ("/var/tmp/", Utf8(buffer));
}

class FilesTempName : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
  }
  size_t CountFiles() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()));
  }
  std::string m_folder;
};

TEST_F(FilesTempName, NameHasThreePrefixCharactersHexAndTmp) {
  WCHAR name[MAX_PATH];
  const WString folder = Utf8ToUtf16(m_folder);  // no trailing separator: one is added
  UINT unique = GetTempFileNameW(folder.c_str(), W("arcwise"), 0, name);
  ASSERT_NE(0u, unique);
  const std::string full = Utf8(name);
  TempName parsed;
  ASSERT_TRUE(ParseTempName(full, 3, &parsed)) << full;
  EXPECT_EQ(m_folder, parsed.folder);
  EXPECT_EQ('\\', parsed.separator);
  EXPECT_EQ("arc", parsed.prefix);
  EXPECT_EQ(unique, parsed.number);
  const std::string posix = PosixPathFromWide(name);
  ASSERT_TRUE(fs::is_regular_file(posix)) << posix;
  EXPECT_EQ(0u, fs::file_size(posix));

  // A folder already ending in either separator gets no second one; short
  // and missing prefixes are used as they are.
  const WString withBackslash = arcwise_test::WideFolder(m_folder);
  unique = GetTempFileNameW(withBackslash.c_str(), W("z"), 0, name);
  ASSERT_NE(0u, unique);
  ASSERT_TRUE(ParseTempName(Utf8(name), 1, &parsed)) << Utf8(name);
  EXPECT_EQ(Utf16ToUtf8(withBackslash), parsed.folder + parsed.separator);
  EXPECT_EQ("z", parsed.prefix);
  EXPECT_EQ(unique, parsed.number);
  const WString withSlash = Utf8ToUtf16(m_folder + "/");
  ASSERT_NE(0u, GetTempFileNameW(withSlash.c_str(), nullptr, 0, name));
  ASSERT_TRUE(ParseTempName(Utf8(name), 0, &parsed)) << Utf8(name);
  EXPECT_EQ(m_folder + "/", parsed.folder + parsed.separator);
  EXPECT_EQ(3u, CountFiles());
}

TEST_F(FilesTempName, GivenNumberFormsANameWithoutCreatingIt) {
  WCHAR name[MAX_PATH];
  const WString folder = arcwise_test::WideFolder(m_folder);
  EXPECT_EQ(0xBEEFu, GetTempFileNameW(folder.c_str(), W("ab"), 0xBEEF, name));
  EXPECT_EQ(Utf16ToUtf8(folder) + "abBEEF.TMP", Utf8(name));
  EXPECT_EQ(0x2Au, GetTempFileNameW(folder.c_str(), W("pre"), 0x2A, name));
  EXPECT_EQ(Utf16ToUtf8(folder) + "pre2A.TMP", Utf8(name));
  EXPECT_EQ(0u, CountFiles());
}

TEST_F(FilesTempName, MissingFolderOrFileAsFolderFails) {
  WCHAR name[MAX_PATH];
  SetLastError(0);
  EXPECT_EQ(0u, GetTempFileNameW(Utf8ToUtf16(m_folder + "/absent").c_str(), W("x"), 0, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
  std::ofstream(m_folder + "/file") << "x";
  EXPECT_EQ(0u, GetTempFileNameW(Utf8ToUtf16(m_folder + "/file").c_str(), W("x"), 0, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
  WString tooLong(MAX_PATH - 13, u'a');
  EXPECT_EQ(0u, GetTempFileNameW(tooLong.c_str(), W("x"), 0, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetLastError());
  EXPECT_EQ(1u, CountFiles());
}

TEST_F(FilesTempName, ConcurrentCallersGetDistinctFiles) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 500;
  const WString folder = arcwise_test::WideFolder(m_folder);
  std::mutex mutex;
  std::vector<std::string> names;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::string> mine;
      WCHAR name[MAX_PATH];
      for (int i = 0; i < kPerThread; ++i) {
        if (GetTempFileNameW(folder.c_str(), W("thr"), 0, name) == 0) {
          ++failures[t];
        } else {
          mine.push_back(Utf8(name));
        }
      }
      std::lock_guard<std::mutex> lock(mutex);
      names.insert(names.end(), mine.begin(), mine.end());
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, failures[t]) << "thread " << t;
  std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(static_cast<size_t>(kThreads * kPerThread), distinct.size());
  EXPECT_EQ(static_cast<size_t>(kThreads * kPerThread), CountFiles());
  for (const std::string& name : distinct) {
    ASSERT_TRUE(fs::is_regular_file(PosixPathFromWide(Utf8ToUtf16(name).c_str()))) << name;
  }
}

TEST_F(FilesTempName, MovesPastNamesInUseAndFailsWhenAllAreTaken) {
  // Every number but one is taken, so whatever number the call starts from,
  // it has to walk (and wrap) to the free one.
  constexpr unsigned kFree = 0x1234;
  for (unsigned n = 1; n <= 0xFFFF; ++n) {
    if (n == kFree) continue;
    char name[32];
    snprintf(name, sizeof name, "/t%X.TMP", n);
    int fd = open((m_folder + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << name;
    close(fd);
  }
  const WString folder = arcwise_test::WideFolder(m_folder);
  WCHAR name[MAX_PATH];
  EXPECT_EQ(kFree, GetTempFileNameW(folder.c_str(), W("t"), 0, name));
  EXPECT_EQ(Utf16ToUtf8(folder) + "t1234.TMP", Utf8(name));
  SetLastError(0);
  EXPECT_EQ(0u, GetTempFileNameW(folder.c_str(), W("t"), 0, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  EXPECT_EQ(0xFFFFu, CountFiles());
}

}  // namespace
