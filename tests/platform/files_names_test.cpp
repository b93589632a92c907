// Names in the file system: DeleteFileW, CreateDirectoryW, RemoveDirectoryW
// and _waccess with the error codes Windows gives, through either separator.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <io.h>
#include <windows.h>

#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

class FilesNames : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
  }
  WString Win(const char* name) const { return arcwise_test::WideFolder(m_folder) + Utf8ToUtf16(name); }
  void Touch(const char* name) const { std::ofstream(m_folder + "/" + name) << "x"; }
  std::string m_folder;
};

TEST_F(FilesNames, CreateDirectoryReportsExistingNamesAndMissingParents) {
  EXPECT_TRUE(CreateDirectoryW(Win("made").c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(m_folder + "/made"));
  EXPECT_FALSE(CreateDirectoryW(Win("made").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  Touch("file");
  EXPECT_FALSE(CreateDirectoryW(Win("file").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_FALSE(CreateDirectoryW(Win("missing\\child").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_FALSE(CreateDirectoryW(Win("file\\child").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  // Forward slashes and a trailing separator, as callers write folder names.
  EXPECT_TRUE(CreateDirectoryW(Utf8ToUtf16(m_folder + "/made/inner/").c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(m_folder + "/made/inner"));
}

TEST_F(FilesNames, RemoveDirectoryOnlyRemovesEmptyFolders) {
  fs::create_directories(m_folder + "/full/sub");
  EXPECT_FALSE(RemoveDirectoryW(Win("full").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
  EXPECT_TRUE(fs::exists(m_folder + "/full/sub"));
  EXPECT_TRUE(RemoveDirectoryW(Win("full\\sub").c_str()));
  EXPECT_TRUE(RemoveDirectoryW(Utf8ToUtf16(m_folder + "/full").c_str()));
  EXPECT_FALSE(fs::exists(m_folder + "/full"));

  EXPECT_FALSE(RemoveDirectoryW(Win("full").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(RemoveDirectoryW(Win("full\\sub").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  Touch("plain");
  EXPECT_FALSE(RemoveDirectoryW(Win("plain").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
  EXPECT_TRUE(fs::exists(m_folder + "/plain"));
}

TEST_F(FilesNames, DeleteFileRemovesFilesButNotFolders) {
  Touch("a.txt");
  Touch("b.txt");
  EXPECT_TRUE(DeleteFileW(Win("a.txt").c_str()));
  EXPECT_FALSE(fs::exists(m_folder + "/a.txt"));
  EXPECT_TRUE(DeleteFileW(Utf8ToUtf16(m_folder + "/b.txt").c_str()));
  EXPECT_FALSE(fs::exists(m_folder + "/b.txt"));

  EXPECT_FALSE(DeleteFileW(Win("a.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(DeleteFileW(Win("nowhere\\a.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

  fs::create_directory(m_folder + "/folder");
  EXPECT_FALSE(DeleteFileW(Win("folder").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(fs::is_directory(m_folder + "/folder"));

  EXPECT_FALSE(DeleteFileW(nullptr));
  EXPECT_FALSE(DeleteFileW(W("")));
}

TEST_F(FilesNames, AccessCheckFollowsExistenceAndTheReadOnlyBit) {
  Touch("here.txt");
  fs::create_directory(m_folder + "/dir");
  EXPECT_EQ(0, _waccess(Win("here.txt").c_str(), F_OK_W));
  EXPECT_EQ(0, _waccess(Win("here.txt").c_str(), R_OK_W | W_OK_W));
  EXPECT_EQ(0, _waccess(Win("dir").c_str(), F_OK_W));

  errno = 0;
  EXPECT_EQ(-1, _waccess(Win("gone.txt").c_str(), F_OK_W));
  EXPECT_EQ(ENOENT, errno);
  errno = 0;
  EXPECT_EQ(-1, _waccess(Win("here.txt").c_str(), 1));
  EXPECT_EQ(EINVAL, errno);

  if (!SetFileAttributesW(Win("here.txt").c_str(), FILE_ATTRIBUTE_READONLY) ||
      !(GetFileAttributesW(Win("here.txt").c_str()) & FILE_ATTRIBUTE_READONLY)) {
    GTEST_SKIP() << "the test folder's file system keeps no user extended attributes";
  }
  errno = 0;
  EXPECT_EQ(-1, _waccess(Win("here.txt").c_str(), W_OK_W));
  EXPECT_EQ(EACCES, errno);
  EXPECT_EQ(0, _waccess(Win("here.txt").c_str(), R_OK_W));
  EXPECT_TRUE(SetFileAttributesW(Win("here.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(0, _waccess(Win("here.txt").c_str(), W_OK_W));
}

TEST(FilesPathTranslation, BackslashesBecomeSlashesAndTextBecomesUtf8) {
  EXPECT_EQ("/a/b/c.txt", PosixPathFromWide(W("\\a\\b/c.txt")));
  EXPECT_EQ("rel/\xC3\xA9t\xC3\xA9.txt", PosixPathFromWide(W("rel\\\u00E9t\u00E9.txt")));
  EXPECT_EQ("", PosixPathFromWide(nullptr));
}

}  // namespace
