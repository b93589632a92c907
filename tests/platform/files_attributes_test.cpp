// DOS attributes kept in the extended attribute user.DOSATTRIB: round trips
// on files and folders, the text form other emulations read, lenient reading
// of what others wrote, and the read-only bit holding back deletion and
// writing as on Windows (tests run as root, so POSIX modes cannot).
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

using arcwise_test::kShareAll;

std::string RawAttribute(const std::string& path) {
  char value[64];
  ssize_t length = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
  return length < 0 ? std::string() : std::string(value, static_cast<size_t>(length));
}

class FilesAttributes : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
    std::string probe = m_folder + "/probe";
    std::ofstream(probe) << "p";
    if (setxattr(probe.c_str(), "user.arcwise-probe", "1", 1, 0) != 0) {
      GTEST_SKIP() << "the test folder's file system keeps no user extended attributes: " << strerror(errno);
    }
  }
  WString Win(const char* name) const { return arcwise_test::WideFolder(m_folder) + Utf8ToUtf16(name); }
  std::string Posix(const char* name) const { return m_folder + "/" + name; }
  void Touch(const char* name) const { std::ofstream(Posix(name)) << "x"; }
  std::string m_folder;
};

TEST_F(FilesAttributes, PlainFilesAndFoldersReportWhatTheFileSystemKnows) {
  Touch("plain.txt");
  fs::create_directory(Posix("dir"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(Win("plain.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(Win("dir").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(Utf8ToUtf16(Posix("dir/")).c_str()));
}

TEST_F(FilesAttributes, MissingNamesGiveInvalidAttributes) {
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Win("gone").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Win("gone\\deeper").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_FALSE(SetFileAttributesW(Win("gone").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FilesAttributes, NotContentIndexedRoundTripsOnFilesAndFolders) {
  Touch("f.txt");
  fs::create_directory(Posix("d"));
  ASSERT_TRUE(SetFileAttributesW(Win("f.txt").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
  ASSERT_TRUE(SetFileAttributesW(Win("d").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED), GetFileAttributesW(Win("f.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED),
            GetFileAttributesW(Utf8ToUtf16(Posix("d")).c_str()));
  // The stored form is the text other Windows emulations use; the directory
  // bit is the file system's and is not stored.
  EXPECT_EQ("0x2000", RawAttribute(Posix("f.txt")));
  EXPECT_EQ("0x2000", RawAttribute(Posix("d")));

  // Back to normal: nothing stays stored.
  ASSERT_TRUE(SetFileAttributesW(Win("f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(Win("f.txt").c_str()));
  EXPECT_EQ("", RawAttribute(Posix("f.txt")));
}

TEST_F(FilesAttributes, AttributesGivenAtCreationAreStored) {
  HANDLE h = CreateFileW(Win("new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_HIDDEN, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesW(Win("new.txt").c_str()));

  // Opening an existing file leaves its attributes; overwriting it replaces them.
  h = CreateFileW(Win("new.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesW(Win("new.txt").c_str()));
  h = CreateFileW(Win("new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                  nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_TEMPORARY), GetFileAttributesW(Win("new.txt").c_str()));
}

TEST_F(FilesAttributes, ReadOnlyBlocksDeletionAndWritingButNotReading) {
  Touch("ro.txt");
  ASSERT_TRUE(SetFileAttributesW(Win("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_FALSE(DeleteFileW(Win("ro.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(fs::exists(Posix("ro.txt")));

  for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    HANDLE h = CreateFileW(Win("ro.txt").c_str(), GENERIC_WRITE, kShareAll, nullptr, disposition, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "disposition " << disposition;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  }
  EXPECT_EQ(1u, fs::file_size(Posix("ro.txt")));

  HANDLE reader = CreateFileW(Win("ro.txt").c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  CloseHandle(reader);

  // Clearing the bit makes the file deletable again.
  ASSERT_TRUE(SetFileAttributesW(Win("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(Win("ro.txt").c_str()));
}

TEST_F(FilesAttributes, ReadOnlyFolderCannotBeRemoved) {
  fs::create_directory(Posix("keep"));
  ASSERT_TRUE(SetFileAttributesW(Win("keep").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RemoveDirectoryW(Win("keep").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  ASSERT_TRUE(SetFileAttributesW(Win("keep").c_str(), 0));
  EXPECT_TRUE(RemoveDirectoryW(Win("keep").c_str()));
}

TEST_F(FilesAttributes, ValuesWrittenByOthersAreReadLeniently) {
  Touch("nul.txt");
  Touch("upper.txt");
  Touch("binary.txt");
  // Text with a terminating NUL, as some writers store it.
  ASSERT_EQ(0, setxattr(Posix("nul.txt").c_str(), "user.DOSATTRIB", "0x22", 5, 0));
  ASSERT_EQ(0, setxattr(Posix("upper.txt").c_str(), "user.DOSATTRIB", "0X2001", 6, 0));
  // A binary record this layer does not understand counts as no bits.
  const char blob[] = {4, 0, 4, 0, 0, 0, 0x11, 0x22};
  ASSERT_EQ(0, setxattr(Posix("binary.txt").c_str(), "user.DOSATTRIB", blob, sizeof blob, 0));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesW(Win("nul.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_READONLY),
            GetFileAttributesW(Win("upper.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(Win("binary.txt").c_str()));
}

}  // namespace
