// CreateFileW dispositions and their last error, reading, writing, seeking
// and sizes through handles, delete-on-close, final path names, and the
// behaviour on handles that are not (or no longer) valid.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

#include "support/files.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

// Backslash-joined wide path, as the module writes them.
WString WinPath(const std::string& folder, const char* name) {
  return arcwise_test::WideFolder(folder) + Utf8ToUtf16(name);
}

using arcwise_test::ReadAll;
using arcwise_test::WriteAll;

HANDLE Open(const WString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

using arcwise_test::kShareAll;

class FilesHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = arcwise_test::MakeFolderOfCurrentTest();
  }
  std::string m_folder;
};

TEST_F(FilesHandles, OpenExistingTellsMissingFileFromMissingFolder) {
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(WinPath(m_folder, "absent.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            Open(WinPath(m_folder, "nofolder\\absent.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  WriteAll(m_folder + "/plain", "x");
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            Open(WinPath(m_folder, "plain\\inside.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesHandles, DispositionsCreateTruncateAndReportExistingNames) {
  const WString name = WinPath(m_folder, "d.txt");
  const std::string posix = m_folder + "/d.txt";

  SetLastError(12345);
  HANDLE h = Open(name, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(fs::exists(posix));

  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name, GENERIC_WRITE, 0, CREATE_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

  WriteAll(posix, "old content");
  h = Open(name, GENERIC_READ, kShareAll, OPEN_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  CloseHandle(h);
  EXPECT_EQ("old content", ReadAll(posix));

  h = Open(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  CloseHandle(h);
  EXPECT_EQ(0u, fs::file_size(posix));

  WriteAll(posix, "again");
  h = Open(name, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_EQ(0u, fs::file_size(posix));

  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(WinPath(m_folder, "none"), GENERIC_WRITE, 0, TRUNCATE_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  SetLastError(12345);
  h = Open(WinPath(m_folder, "fresh1"), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  CloseHandle(h);
  SetLastError(12345);
  h = Open(WinPath(m_folder, "fresh2"), GENERIC_READ, 0, OPEN_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  CloseHandle(h);
  EXPECT_TRUE(fs::exists(m_folder + "/fresh1"));
  EXPECT_TRUE(fs::exists(m_folder + "/fresh2"));
}

TEST_F(FilesHandles, ReadWriteSeekSizeAndEndOfFile) {
  HANDLE h = Open(WinPath(m_folder, "rw.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &done, nullptr));
  EXPECT_EQ(11u, done);

  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(11, size.QuadPart);

  // At the end, a read succeeds with nothing read, as Windows signals end of file.
  char buffer[32] = {};
  done = 99;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(0u, done);

  LARGE_INTEGER move{}, where{};
  move.QuadPart = 6;
  ASSERT_TRUE(SetFilePointerEx(h, move, &where, FILE_BEGIN));
  EXPECT_EQ(6, where.QuadPart);
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ("world", std::string(buffer, done));

  move.QuadPart = -5;
  ASSERT_TRUE(SetFilePointerEx(h, move, &where, FILE_END));
  EXPECT_EQ(6, where.QuadPart);
  move.QuadPart = -2;
  ASSERT_TRUE(SetFilePointerEx(h, move, &where, FILE_CURRENT));
  EXPECT_EQ(4, where.QuadPart);

  // A move before the start fails and leaves the position alone.
  move.QuadPart = -100;
  EXPECT_FALSE(SetFilePointerEx(h, move, &where, FILE_CURRENT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
  move.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(h, move, &where, FILE_CURRENT));
  EXPECT_EQ(4, where.QuadPart);
  EXPECT_FALSE(SetFilePointerEx(h, move, &where, 7));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

  // Writing past the end fills the gap with zeros.
  move.QuadPart = 20;
  ASSERT_TRUE(SetFilePointerEx(h, move, nullptr, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(h, "!", 1, &done, nullptr));
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(21, size.QuadPart);

  move.QuadPart = 5;
  ASSERT_TRUE(SetFilePointerEx(h, move, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(h));
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(5, size.QuadPart);
  EXPECT_TRUE(FlushFileBuffers(h));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ("hello", ReadAll(m_folder + "/rw.bin"));
}

TEST_F(FilesHandles, RightsOfTheHandleAreEnforced) {
  WriteAll(m_folder + "/r.txt", "data");
  HANDLE reader = Open(WinPath(m_folder, "r.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  DWORD done = 7;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(0u, done);
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(reader);

  HANDLE writer = Open(WinPath(m_folder, "r.txt"), GENERIC_WRITE, kShareAll, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  char c;
  EXPECT_FALSE(ReadFile(writer, &c, 1, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(writer);
  EXPECT_EQ("data", ReadAll(m_folder + "/r.txt"));
}

TEST_F(FilesHandles, AppendOnlyRightsWriteAtTheEnd) {
  WriteAll(m_folder + "/log.txt", "one\n");
  HANDLE h = Open(WinPath(m_folder, "log.txt"), FILE_APPEND_DATA, kShareAll, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  LARGE_INTEGER zero{};
  ASSERT_TRUE(SetFilePointerEx(h, zero, nullptr, FILE_BEGIN));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, "two\n", 4, &done, nullptr));
  CloseHandle(h);
  EXPECT_EQ("one\ntwo\n", ReadAll(m_folder + "/log.txt"));
}

TEST_F(FilesHandles, FoldersCannotBeOpenedAsFiles) {
  fs::create_directory(m_folder + "/sub");
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(WinPath(m_folder, "sub"), GENERIC_READ, kShareAll, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(WinPath(m_folder, "sub"), GENERIC_WRITE, kShareAll, OPEN_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(WinPath(m_folder, "sub"), GENERIC_WRITE, kShareAll, CREATE_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  EXPECT_TRUE(fs::is_directory(m_folder + "/sub"));
}

TEST_F(FilesHandles, BothSeparatorsNameTheSameFile) {
  std::string mixed = m_folder + "/a\\b.txt";  // module-style tail on a POSIX head
  fs::create_directory(m_folder + "/a");
  HANDLE h = Open(Utf8ToUtf16(mixed), GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD done;
  WriteFile(h, "sep", 3, &done, nullptr);
  CloseHandle(h);
  EXPECT_EQ("sep", ReadAll(m_folder + "/a/b.txt"));
  h = Open(WinPath(m_folder, "a\\b.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING);
  EXPECT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
}

// Names already in normal form take a short way to the POSIX path; every
// spelling of one file must still end at the same absolute path.
TEST_F(FilesHandles, EverySpellingOfANameGivesOneFinalPath) {
  WriteAll(m_folder + "/final.txt", "f");
  const WString expected = Utf8ToUtf16(m_folder + "/final.txt");
  for (const char* name : {"final.txt", "sub\\..\\final.txt", ".\\final.txt", "sub\\\\..\\final.txt",
                           "..\\" "FOLDER\\final.txt"}) {
    SCOPED_TRACE(name);
    std::string spelled = name;
    const size_t folder = spelled.find("FOLDER");
    if (folder != std::string::npos) spelled.replace(folder, 6, m_folder.substr(m_folder.rfind('/') + 1));
    HANDLE h = Open(WinPath(m_folder, spelled.c_str()), GENERIC_READ, kShareAll, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    WCHAR path[1024];
    const DWORD length = GetFinalPathNameByHandleW(h, path, 1024, 0);
    EXPECT_EQ(expected, WString(path, length));
    CloseHandle(h);
  }
}

TEST_F(FilesHandles, FinalPathIsAbsoluteAndOpensAgain) {
  WriteAll(m_folder + "/final.txt", "f");
  // ".." is resolved on the name, as Win32 does: "sub" need not exist.
  HANDLE h = Open(WinPath(m_folder, "sub\\.\\..\\final.txt"), GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);

  const WString expected = Utf8ToUtf16(m_folder + "/final.txt");
  WCHAR small[4];
  EXPECT_EQ(expected.size() + 1, GetFinalPathNameByHandleW(h, small, 4, 0));
  std::vector<WCHAR> exact(expected.size() + 1);
  EXPECT_EQ(expected.size(), GetFinalPathNameByHandleW(h, exact.data(), static_cast<DWORD>(exact.size()), 0));
  EXPECT_EQ(expected, WString(exact.data()));
  CloseHandle(h);

  HANDLE again = Open(WString(exact.data()), GENERIC_READ, kShareAll, OPEN_EXISTING);
  EXPECT_NE(INVALID_HANDLE_VALUE, again);
  CloseHandle(again);
}

TEST_F(FilesHandles, DeleteOnCloseRemovesTheFileWithItsLastHandle) {
  const WString name = WinPath(m_folder, "doc.tmp");
  HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
                  FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  // The delete-on-close handle holds delete rights: only openers sharing delete get in.
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  HANDLE second = Open(name, GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, second);

  ASSERT_TRUE(CloseHandle(h));
  EXPECT_TRUE(fs::exists(m_folder + "/doc.tmp"));  // still open through the second handle
  // Pending deletion: no new opens.
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name, GENERIC_READ, kShareAll, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  ASSERT_TRUE(CloseHandle(second));
  EXPECT_FALSE(fs::exists(m_folder + "/doc.tmp"));

  // A new file of the same name is not touched by the old request.
  h = Open(name, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  EXPECT_TRUE(fs::exists(m_folder + "/doc.tmp"));
}

TEST_F(FilesHandles, InvalidHandlesFailWithoutCrashing) {
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  int notAHandle = 0;
  EXPECT_FALSE(CloseHandle(&notAHandle));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  HANDLE h = Open(WinPath(m_folder, "c.txt"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_FALSE(FindClose(h));  // a file handle is not a search
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));  // closed twice
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  char buffer[4];
  DWORD done = 5;
  LARGE_INTEGER value{};
  EXPECT_FALSE(ReadFile(h, buffer, 4, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0u, done);
  EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buffer, 4, &done, nullptr));
  EXPECT_FALSE(GetFileSizeEx(nullptr, &value));
  EXPECT_FALSE(SetFilePointerEx(h, value, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(h));
  EXPECT_FALSE(FlushFileBuffers(h));
  WCHAR path[8];
  EXPECT_EQ(0u, GetFinalPathNameByHandleW(h, path, 8, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(WinPath(m_folder, "*").c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  EXPECT_FALSE(CloseHandle(find));  // searches close with FindClose only
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
