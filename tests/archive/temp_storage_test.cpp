// Temporary storage: unique folders and file names with their error lines,
// recursive emptying of a folder, and the not-content-indexed mark.
#include "archive/TempStorage.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "diagnostics/Debugger.h"
#include "support/files.h"
#include "support/registry_util.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

// How many of the next calls fail, as a racing process or a locked file
// would make them fail.
std::atomic<int> g_failDeleteFile{0};
std::atomic<int> g_failCreateDirectory{0};

template <typename Function>
Function PlatformDefinition(const char* symbol) {
  auto function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
  if (!function) {
    ADD_FAILURE() << "platform function not found: " << symbol;
    abort();
  }
  return function;
}

bool TakeFailure(std::atomic<int>& counter) {
  int left = counter.load();
  while (left > 0) {
    if (counter.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

}  // namespace

// These definitions stand in for the platform's in this test program only:
// they fail on request and otherwise hand the call to the platform library.
BOOL DeleteFileW(LPCWSTR lpFileName) {
  static const auto platform = PlatformDefinition<BOOL (*)(LPCWSTR)>("DeleteFileW");
  if (TakeFailure(g_failDeleteFile)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return platform(lpFileName);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  static const auto platform =
      PlatformDefinition<BOOL (*)(LPCWSTR, LPSECURITY_ATTRIBUTES)>("CreateDirectoryW");
  if (TakeFailure(g_failCreateDirectory)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return platform(lpPathName, lpSecurityAttributes);
}

namespace {

const std::string kPrefix = "Quillmark Arcwise Filter:";

using arcwise_test::IsTempName;
using arcwise_test::NamesIn;

std::string LastComponent(const WString& path) {
  const std::string text = Utf16ToUtf8(path);
  return text.substr(text.find_last_of("\\/") + 1);
}

// Files below top, each with its content, and the folders they need.
void WriteTree(const std::string& top, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, content] : files) {
    fs::create_directories(fs::path(top + "/" + name).parent_path());
    arcwise_test::WriteAll(top + "/" + name, content);
  }
}

class TempStorage : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_keyPath = W("SOFTWARE\\Quillmark\\ArcwiseTest\\Storage\\") + Utf8ToUtf16(info->name());
    arcwise_test::SetDword(HKEY_LOCAL_MACHINE, m_keyPath, W("DebugMode"), 1);
    g_debugger.Start(m_keyPath.c_str(), W("Quillmark Arcwise Filter"));
    m_folder = arcwise_test::MakeTestFolder(info->name());
    m_wideFolder = arcwise_test::WideFolder(m_folder);
    m_capture = std::make_unique<arcwise_test::DebugCapture>();
  }
  void TearDown() override {
    m_capture.reset();
    g_failDeleteFile = 0;
    g_failCreateDirectory = 0;
    g_debugger.Start((m_keyPath + W("\\silent")).c_str(), nullptr);
  }
  std::vector<std::string> Lines() const { return m_capture->Utf8Lines(); }
  // The folder as the module passes it to DeleteDirectoryContent.
  WString DirArgument(const std::string& posixFolder) const {
    WString dir = arcwise_test::WideFolder(posixFolder);
    dir.pop_back();
    return dir;
  }

  WString m_keyPath;
  std::string m_folder;
  WString m_wideFolder;
  std::unique_ptr<arcwise_test::DebugCapture> m_capture;
};

TEST_F(TempStorage, CreateTempDirectoryMakesEmptyNotIndexedFolder) {
  WString dir;
  TempClaim claim;
  ASSERT_TRUE(CreateTempDirectory(m_wideFolder.c_str(), W("aw"), dir, claim));
  EXPECT_EQ(0u, dir.find(m_wideFolder)) << Utf16ToUtf8(dir);
  const std::string name = LastComponent(dir);
  EXPECT_TRUE(IsTempName(name, "aw", "TMP")) << name;

  // The folder holds the reserved name, its claim's lock file is beside it;
  // the folder is empty, marked and private.
  EXPECT_EQ((std::vector<std::string>{name, name + ".lock"}), NamesIn(m_folder));
  EXPECT_EQ(fs::perms::owner_all, fs::status(m_folder + "/" + name).permissions());
  EXPECT_TRUE(fs::is_directory(m_folder + "/" + name));
  EXPECT_TRUE(fs::is_empty(m_folder + "/" + name));
  const DWORD attributes = GetFileAttributesW(dir.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  EXPECT_TRUE(Lines().empty());

  // A second folder gets a name of its own.
  WString second;
  TempClaim secondClaim;
  ASSERT_TRUE(CreateTempDirectory(m_wideFolder.c_str(), W("aw"), second, secondClaim));
  EXPECT_NE(dir, second);
  claim.Release();
  EXPECT_FALSE(fs::exists(m_folder + "/" + name + ".lock"));
}

TEST_F(TempStorage, CreateTempDirectoryReportsEachFailure) {
  const WString missing = arcwise_test::WideFolder(m_folder + "/missing");
  const std::string line = kPrefix + "ERROR: CreateTempDirectory() failed for ";
  WString dir = W("unchanged");
  TempClaim claim;

  EXPECT_FALSE(CreateTempDirectory(nullptr, W("aw"), dir, claim));
  EXPECT_FALSE(CreateTempDirectory(W(""), W("aw"), dir, claim));
  EXPECT_FALSE(CreateTempDirectory(missing.c_str(), W("aw"), dir, claim));
  g_failDeleteFile = 1;
  EXPECT_FALSE(CreateTempDirectory(m_wideFolder.c_str(), W("aw"), dir, claim));
  g_failCreateDirectory = 1;
  EXPECT_FALSE(CreateTempDirectory(m_wideFolder.c_str(), W("aw"), dir, claim));
  EXPECT_EQ(W("unchanged"), dir);

  const std::string folder = Utf16ToUtf8(m_wideFolder);
  const std::vector<std::string> expected = {
      line + "(null). Error descr: = tempPath parameter is not defined \n",
      line + ". Error descr: = tempPath parameter is not defined \n",
      line + Utf16ToUtf8(missing) + ". Error descr: = Error getting temp file name \n",
      line + folder + ". Error descr: = Error deleting auto generated temp file \n",
      line + folder + ". Error descr: = Error creating temp directory \n"};
  EXPECT_EQ(expected, Lines());

  // The undeletable reserving file stays; the failed folder left nothing,
  // not even its lock file.
  EXPECT_FALSE(claim.Held());
  const std::vector<std::string> names = NamesIn(m_folder);
  ASSERT_EQ(1u, names.size());
  EXPECT_TRUE(fs::is_regular_file(m_folder + "/" + names[0]));
}

TEST_F(TempStorage, CreateTempFileReservesNameWithExtension) {
  WString fileName;
  ASSERT_TRUE(CreateTempFile(m_wideFolder, fileName, W("log")));
  EXPECT_EQ(0u, fileName.find(m_wideFolder)) << Utf16ToUtf8(fileName);
  const std::string name = LastComponent(fileName);
  EXPECT_TRUE(IsTempName(name, "qmk", "log")) << name;
  // Neither the returned name nor the reserving TMP file exists.
  EXPECT_TRUE(NamesIn(m_folder).empty());

  WString plain;
  ASSERT_TRUE(CreateTempFile(m_wideFolder, plain, nullptr));
  EXPECT_TRUE(IsTempName(LastComponent(plain), "qmk", "TMP"))
      << Utf16ToUtf8(plain);
  EXPECT_TRUE(NamesIn(m_folder).empty());
  EXPECT_TRUE(Lines().empty());
}

TEST_F(TempStorage, CreateTempFileReportsEachFailure) {
  const WString missing = arcwise_test::WideFolder(m_folder + "/missing");
  WString fileName = W("unchanged");
  EXPECT_FALSE(CreateTempFile(missing, fileName, W("log")));
  g_failDeleteFile = 1;
  EXPECT_FALSE(CreateTempFile(m_wideFolder, fileName, W("log")));
  EXPECT_EQ(W("unchanged"), fileName);

  const std::string line = kPrefix + "ERROR: CreateTempFile() failed for ";
  const std::vector<std::string> expected = {
      line + Utf16ToUtf8(missing) + ". Error descr: = Error getting temp file name \n",
      line + Utf16ToUtf8(m_wideFolder) +
          ". Error descr: = Error deleting auto generated temp file \n"};
  EXPECT_EQ(expected, Lines());
}

TEST_F(TempStorage, DeleteDirectoryContentEmptiesThreeLevels) {
  const std::string top = m_folder + "/top";
  fs::create_directories(top + "/empty");
  WriteTree(top, {{"readme.txt", "1"},
                  {"NOEXT", "2"},
                  {".hidden", "3"},
                  {"a/one.bin", "4"},
                  {"a/b/two", "5"},
                  {"a/b/c/three.dat", "6"},
                  {"a/b/c/100%d.txt", "7"}});

  EXPECT_TRUE(DeleteDirectoryContent(DirArgument(top)));
  EXPECT_TRUE(fs::is_directory(top));
  EXPECT_TRUE(fs::is_empty(top));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(TempStorage, DeleteDirectoryContentOfMissingFolderSucceeds) {
  EXPECT_TRUE(DeleteDirectoryContent(DirArgument(m_folder + "/missing")));
  EXPECT_FALSE(fs::exists(m_folder + "/missing"));
  EXPECT_TRUE(Lines().empty());
}

// One undeletable file: everything else goes, that file is logged, and the
// folder holding it stays; the result is false.
TEST_F(TempStorage, DeleteDirectoryContentGoesOnPastUndeletableFile) {
  const std::string top = m_folder + "/top";
  WriteTree(top, {{"first.txt", "1"},
                  {"a/before.txt", "2"},
                  {"a/b/locked.txt", "3"},
                  {"a/b/after.txt", "4"},
                  {"z/last.txt", "5"}});
  const WString dir = DirArgument(top);
  const WString locked = dir + W("\\a\\b\\locked.txt");
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_FALSE(DeleteDirectoryContent(dir));
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL));

  EXPECT_EQ((std::set<std::string>{"a", "a/b", "a/b/locked.txt"}), arcwise_test::ListTree(top));
  EXPECT_EQ(std::vector<std::string>{kPrefix + "ERROR: DeleteDirectoryContent->DeleteFile failed for " +
                                     Utf16ToUtf8(locked) + " \n"},
            Lines());
}

TEST_F(TempStorage, MarkNotContentIndexedAddsTheBit) {
  const std::string file = m_folder + "/data.bin";
  arcwise_test::WriteAll(file, "x");
  const WString path = Utf8ToUtf16(file);
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  MarkNotContentIndexed(path.c_str());
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED),
            GetFileAttributesW(path.c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
  MarkNotContentIndexed(path.c_str());
  EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));

  const WString missing = Utf8ToUtf16(m_folder + "/missing.bin");
  MarkNotContentIndexed(missing.c_str());
  MarkNotContentIndexed(nullptr);
  EXPECT_FALSE(fs::exists(m_folder + "/missing.bin"));
}

}  // namespace
