// Folder search: which names a pattern yields (".", ".." first, wildcards and
// plain names, case-insensitive), what each record says (directory bit, DOS
// bits, size, times), and the errors at the ends.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

struct Listing {
  DWORD firstError = 0;  // last error when FindFirstFileW failed
  std::vector<std::string> names;  // in the order given
  std::map<std::string, WIN32_FIND_DATAW> records;
  DWORD endError = 0;
};

Listing List(const WString& pattern) {
  Listing listing;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    listing.firstError = GetLastError();
    return listing;
  }
  do {
    std::string name = Utf16ToUtf8(data.cFileName);
    listing.names.push_back(name);
    listing.records[name] = data;
  } while (FindNextFileW(find, &data));
  listing.endError = GetLastError();
  // Past the end it stays at the end.
  if (FindNextFileW(find, &data)) listing.endError = 0;
  EXPECT_TRUE(FindClose(find));
  return listing;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class FilesFind : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
    std::ofstream(m_folder + "/a.txt") << "12345";
    std::ofstream(m_folder + "/B.TXT") << "";
    std::ofstream(m_folder + "/noext") << "1";
    std::ofstream(m_folder + "/ab.txt") << "1";
    fs::create_directory(m_folder + "/sub");
  }
  WString Win(const char* tail) const { return arcwise_test::WideFolder(m_folder) + Utf8ToUtf16(tail); }
  std::string m_folder;
};

TEST_F(FilesFind, StarListsEveryNameWithDotsFirst) {
  for (const char* pattern : {"*", "*.*"}) {
    Listing listing = List(Win(pattern));
    ASSERT_EQ(0u, listing.firstError) << pattern;
    ASSERT_EQ(7u, listing.names.size()) << pattern;
    EXPECT_EQ(".", listing.names[0]);
    EXPECT_EQ("..", listing.names[1]);
    EXPECT_EQ((std::vector<std::string>{".", "..", "B.TXT", "a.txt", "ab.txt", "noext", "sub"}),
              Sorted(listing.names));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), listing.endError);
  }
}

TEST_F(FilesFind, RecordsCarryDirectoryBitSizeAndTimes) {
  // 2000-01-01T00:00:00Z is 125911584000000000 ticks of 100 ns after 1601.
  struct timespec times[2] = {{946684800, 0}, {946684800, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, (m_folder + "/a.txt").c_str(), times, 0));
  Listing listing = List(Win("*"));
  ASSERT_EQ(0u, listing.firstError);
  const WIN32_FIND_DATAW& file = listing.records["a.txt"];
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), file.dwFileAttributes);
  EXPECT_EQ(5u, file.nFileSizeLow);
  EXPECT_EQ(0u, file.nFileSizeHigh);
  unsigned long long written =
      (static_cast<unsigned long long>(file.ftLastWriteTime.dwHighDateTime) << 32) | file.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(125911584000000000ULL, written);
  EXPECT_TRUE(listing.records["sub"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(listing.records["."].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(listing.records[".."].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesFind, RecordsCarryStoredDosBits) {
  if (!SetFileAttributesW(Win("a.txt").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) ||
      GetFileAttributesW(Win("a.txt").c_str()) != FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) {
    GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
  }
  ASSERT_TRUE(SetFileAttributesW(Win("sub").c_str(), FILE_ATTRIBUTE_HIDDEN));
  Listing listing = List(Win("*"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), listing.records["a.txt"].dwFileAttributes);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
            listing.records["sub"].dwFileAttributes);
}

TEST_F(FilesFind, WildcardsMatchTheLastComponentIgnoringCase) {
  EXPECT_EQ((std::vector<std::string>{"B.TXT", "a.txt", "ab.txt"}), Sorted(List(Win("*.txt")).names));
  EXPECT_EQ((std::vector<std::string>{"B.TXT", "a.txt"}), Sorted(List(Win("?.TxT")).names));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "ab.txt"}), Sorted(List(Win("A*")).names));
  EXPECT_EQ((std::vector<std::string>{"B.TXT", "ab.txt"}), Sorted(List(Win("*b*.t?t")).names));
  EXPECT_EQ((std::vector<std::string>{"ab.txt"}), Sorted(List(Win("?b*.t?t")).names));
  EXPECT_EQ((std::vector<std::string>{"noext"}), Sorted(List(Win("n*t")).names));
}

// Names may hold '*' and '?' themselves (POSIX allows them, and so does a
// ZIP entry): a wildcard in the pattern still matches them.
TEST_F(FilesFind, NamesThatHoldWildcardCharactersAreMatchedLikeAnyOther) {
  for (const char* name : {"*", "*x", "x*", "?", "?q.txt", "**.*"}) std::ofstream(m_folder + "/" + name) << "";
  const std::vector<std::string> all = Sorted(List(Win("*")).names);
  for (const char* name : {"*", "*x", "x*", "?", "?q.txt", "**.*"}) {
    EXPECT_TRUE(std::binary_search(all.begin(), all.end(), name)) << name;
  }
  EXPECT_EQ((std::vector<std::string>{"*x", "..", "x*"}), Sorted(List(Win("??")).names));
  EXPECT_EQ((std::vector<std::string>{"*x"}), Sorted(List(Win("?x")).names));
}

TEST_F(FilesFind, PlainNameYieldsThatOneEntryUnderItsOwnSpelling) {
  Listing file = List(Win("b.txt"));
  ASSERT_EQ(1u, file.names.size());
  EXPECT_EQ("B.TXT", file.names[0]);
  Listing folder = List(Utf8ToUtf16(m_folder + "/sub"));
  ASSERT_EQ(1u, folder.names.size());
  EXPECT_TRUE(folder.records["sub"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesFind, ForwardSlashesAndEmptyFoldersWork) {
  Listing listing = List(Utf8ToUtf16(m_folder + "/sub/*"));
  EXPECT_EQ((std::vector<std::string>{".", ".."}), listing.names);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), listing.endError);
}

TEST_F(FilesFind, FailuresNameTheirCause) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), List(Win("*.zip")).firstError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), List(Win("sub\\nothing")).firstError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), List(Win("missing\\*")).firstError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), List(Win("missing\\deeper\\*")).firstError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), List(Win("a.txt\\*")).firstError);
  WIN32_FIND_DATAW data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(nullptr, &data));
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(Win("*").c_str(), nullptr));
}

TEST_F(FilesFind, NamesOutsideAsciiComeBackAsUtf16) {
  std::ofstream(m_folder + "/sub/\xC3\xA9t\xC3\xA9.txt") << "x";  // "été.txt"
  Listing listing = List(Win("sub\\\xC3\x89T\xC3\x89.TXT"));      // "ÉTÉ.TXT": found ignoring case
  ASSERT_EQ(1u, listing.names.size());
  EXPECT_EQ("\xC3\xA9t\xC3\xA9.txt", listing.names[0]);
}

}  // namespace
