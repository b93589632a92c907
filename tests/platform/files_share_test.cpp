// Share modes between the handles of this process: each side's rights must
// be shared by the other side, deletion needs FILE_SHARE_DELETE from every
// open, and a refused open changes nothing on disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "support/files.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

using arcwise_test::kShareAll;

class FilesShare : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
    m_posix = m_folder + "/shared.txt";
    arcwise_test::WriteAll(m_posix, "content");
    m_name = arcwise_test::WideFolder(m_folder) + W("shared.txt");
  }

  HANDLE Open(DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
    return CreateFileW(m_name.c_str(), access, share, nullptr, disposition, 0, nullptr);
  }

  // Opens expecting a sharing violation; closes the handle if it opened anyway.
  void ExpectViolation(DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
    SetLastError(0);
    HANDLE h = Open(access, share, disposition);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "access " << std::hex << access << " share " << share;
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
    } else {
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
  }

  void ExpectOpens(DWORD access, DWORD share) {
    HANDLE h = Open(access, share);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << "access " << std::hex << access << " share " << share;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }

  std::string m_folder, m_posix;
  WString m_name;
};

TEST_F(FilesShare, ReaderThatDeniesWritingKeepsWritersOut) {
  HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  ExpectViolation(GENERIC_WRITE, kShareAll);
  ExpectViolation(FILE_APPEND_DATA, kShareAll);
  ExpectViolation(GENERIC_READ | GENERIC_WRITE, kShareAll);
  ExpectOpens(GENERIC_READ, FILE_SHARE_READ);
  ExpectOpens(GENERIC_READ, kShareAll);
  // A second reader must itself share reading with the first.
  ExpectViolation(GENERIC_READ, FILE_SHARE_WRITE);
  ASSERT_TRUE(CloseHandle(reader));
  ExpectOpens(GENERIC_WRITE, 0);
}

TEST_F(FilesShare, WriterKeepsOutOpenersThatDenyWriting) {
  HANDLE writer = Open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  // The writer shares reading, but this reader refuses to let anyone write.
  ExpectViolation(GENERIC_READ, FILE_SHARE_READ);
  ExpectOpens(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ExpectOpens(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(CloseHandle(writer));
  ExpectOpens(GENERIC_READ, FILE_SHARE_READ);
}

TEST_F(FilesShare, ExclusiveOpenKeepsEveryDataOpenOutButNotAttributeOpens) {
  HANDLE exclusive = Open(GENERIC_READ | GENERIC_WRITE, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
  ExpectViolation(GENERIC_READ, kShareAll);
  ExpectViolation(GENERIC_WRITE, kShareAll);
  ExpectOpens(0, 0);  // no data rights: not subject to sharing, as on Windows
  ASSERT_TRUE(CloseHandle(exclusive));
  ExpectOpens(GENERIC_READ | GENERIC_WRITE, 0);
}

TEST_F(FilesShare, RefusedTruncatingOpenLeavesTheContent) {
  HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  ExpectViolation(GENERIC_WRITE, kShareAll, CREATE_ALWAYS);
  ExpectViolation(GENERIC_WRITE, kShareAll, TRUNCATE_EXISTING);
  // Overwriting writes even when the caller asks only to read.
  ExpectViolation(GENERIC_READ, kShareAll, CREATE_ALWAYS);
  CloseHandle(reader);
  EXPECT_EQ(7u, fs::file_size(m_posix));
}

TEST_F(FilesShare, DeleteNeedsEveryOpenToShareDelete) {
  HANDLE h = Open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(m_name.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_TRUE(fs::exists(m_posix));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_TRUE(DeleteFileW(m_name.c_str()));
  EXPECT_FALSE(fs::exists(m_posix));
}

TEST_F(FilesShare, DeleteWhileOpenSharingDeleteKeepsTheHandleUsable) {
  HANDLE h = Open(GENERIC_READ, kShareAll);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(DeleteFileW(m_name.c_str()));
  char buffer[16];
  DWORD done = 0;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ("content", std::string(buffer, done));
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FilesShare, ShareRulesFollowTheFileNotTheName) {
  std::string other = m_folder + "/other-name.txt";
  ASSERT_EQ(0, link(m_posix.c_str(), other.c_str()));
  HANDLE h = Open(GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  WString otherName = arcwise_test::WideFolder(m_folder) + W("other-name.txt");
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(otherName.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  // Forward slashes name the same file too.
  std::string forward = m_posix;
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(Utf8ToUtf16(forward).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  CloseHandle(h);
}

TEST_F(FilesShare, ConcurrentOpenersSeeAConsistentTable) {
  // Eight threads race for an exclusive open; at any moment at most one may
  // hold it, and every refusal is a sharing violation.
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> wrongErrors{0};
  std::atomic<int> successes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0);
        if (h == INVALID_HANDLE_VALUE) {
          if (GetLastError() != ERROR_SHARING_VIOLATION) ++wrongErrors;
          continue;
        }
        if (holders.fetch_add(1) != 0) ++overlaps;
        ++successes;
        holders.fetch_sub(1);
        CloseHandle(h);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(0, overlaps.load());
  EXPECT_EQ(0, wrongErrors.load());
  EXPECT_GT(successes.load(), 0);
  ExpectOpens(GENERIC_READ | GENERIC_WRITE, 0);  // nothing left registered
}

}  // namespace
