// Byte-range locks between handles and between processes (a killed holder
// gives its locks up), and renames that replace a file in one step.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

#include "support/test_env.h"

namespace {

using arcwise_test::kShareAll;

class FilesLock : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
    std::ofstream(m_folder + "/lock") << "";
    std::ofstream(m_folder + "/from") << "new";
    std::ofstream(m_folder + "/to") << "old";
  }
  WString Name(const char* name) const { return arcwise_test::WideFolder(m_folder) + Utf8ToUtf16(name); }
  HANDLE Open(DWORD access, DWORD share = kShareAll, const char* name = "lock") const {
    return CreateFileW(Name(name).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  static DWORD TryLock(HANDLE file, DWORD flags) {
    OVERLAPPED at = {};
    at.OffsetHigh = 0x40000000;
    SetLastError(0);
    return LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) ? ERROR_SUCCESS : GetLastError();
  }
  std::string m_folder;
};

TEST_F(FilesLock, SharedLocksAdmitEachOtherAndHoldExclusiveOnesBack) {
  HANDLE reader = Open(GENERIC_READ);
  HANDLE second = Open(GENERIC_READ);
  HANDLE writer = Open(GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(ERROR_SUCCESS, TryLock(reader, 0));
  EXPECT_EQ(ERROR_SUCCESS, TryLock(second, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_LOCK_VIOLATION), TryLock(writer, LOCKFILE_EXCLUSIVE_LOCK));
  HANDLE readOnly = Open(GENERIC_READ);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), TryLock(readOnly, LOCKFILE_EXCLUSIVE_LOCK));
  CloseHandle(readOnly);
  OVERLAPPED at = {};
  at.OffsetHigh = 0x40000000;
  EXPECT_TRUE(UnlockFileEx(reader, 0, 1, 0, &at));
  CloseHandle(second);  // closing gives the lock up too
  EXPECT_EQ(ERROR_SUCCESS, TryLock(writer, LOCKFILE_EXCLUSIVE_LOCK));
  EXPECT_EQ(static_cast<DWORD>(ERROR_LOCK_VIOLATION), TryLock(reader, 0));
  OVERLAPPED beyond = {};
  beyond.Offset = 0xFFFFFFFF;
  beyond.OffsetHigh = 0xFFFFFFFF;
  EXPECT_FALSE(LockFileEx(reader, 0, 0, 2, 0, &beyond));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  CloseHandle(reader);
  CloseHandle(writer);
}

TEST_F(FilesLock, AKilledProcessGivesItsLocksUp) {
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  const pid_t child = fork();
  if (child == 0) {
    HANDLE held = Open(GENERIC_READ);
    const char byte = TryLock(held, 0) == ERROR_SUCCESS ? 'y' : 'n';
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    pause();
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  ASSERT_EQ('y', byte);
  HANDLE writer = Open(GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(static_cast<DWORD>(ERROR_LOCK_VIOLATION), TryLock(writer, LOCKFILE_EXCLUSIVE_LOCK));
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_EQ(ERROR_SUCCESS, TryLock(writer, LOCKFILE_EXCLUSIVE_LOCK));
  CloseHandle(writer);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(FilesLock, MoveFileExReplacesOnlyWhenAskedAndHonoursShareModes) {
  EXPECT_FALSE(MoveFileExW(Name("from").c_str(), Name("to").c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  HANDLE noDelete = Open(GENERIC_READ, FILE_SHARE_READ, "to");
  EXPECT_FALSE(MoveFileExW(Name("from").c_str(), Name("to").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  CloseHandle(noDelete);
  EXPECT_TRUE(MoveFileExW(Name("from").c_str(), Name("to").c_str(), MOVEFILE_REPLACE_EXISTING));
  std::ifstream moved(m_folder + "/to");
  EXPECT_EQ("new", std::string(std::istreambuf_iterator<char>(moved), {}));
  EXPECT_FALSE(std::filesystem::exists(m_folder + "/from"));
  EXPECT_FALSE(MoveFileExW(Name("from").c_str(), Name("other").c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_TRUE(MoveFileExW(Name("to").c_str(), Name("other").c_str(), 0));
}

}  // namespace
