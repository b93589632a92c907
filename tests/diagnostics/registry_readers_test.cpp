// The registry readers' type, size and terminator rules, and the working
// folder probe with its error lines.
#include "diagnostics/RegistryReaders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "diagnostics/Debugger.h"
#include "support/registry_util.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

const WCHAR kName[] = W("Quillmark Arcwise Filter");

class RegistryReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = W("SOFTWARE\\Quillmark\\ArcwiseTest\\Readers\\") + Utf8ToUtf16(info->name());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &m_key, nullptr));
  }
  void TearDown() override {
    if (m_key) RegCloseKey(m_key);
    // Leave the process-wide logger silent for the next test.
    g_debugger.Start((m_path + W("\\silent")).c_str(), nullptr);
  }
  void SetRaw(LPCWSTR name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, arcwise_test::SetRaw(m_key, name, type, data, size));
  }
  void SetDword(LPCWSTR name, DWORD value) { ASSERT_EQ(ERROR_SUCCESS, arcwise_test::SetDword(m_key, name, value)); }
  void SetString(LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
    ASSERT_EQ(ERROR_SUCCESS, arcwise_test::SetString(m_key, name, text, type));
  }
  // Routes level-1 lines of the process-wide logger to the debug channel.
  void StartLogger() {
    SetDword(W("DebugMode"), 1);
    g_debugger.Start(m_path.c_str(), kName);
  }

  WString m_path;
  HKEY m_key = nullptr;
};

TEST_F(RegistryReaders, DwordOnlyFromFourByteRegDword) {
  SetDword(W("Number"), 0xFFFFFFFF);
  DWORD value = 7;
  EXPECT_TRUE(ReadRegistryDword(m_path.c_str(), W("Number"), value));
  EXPECT_EQ(0xFFFFFFFFu, value);

  const ULONGLONG qword = 1;
  const DWORD word = 1;
  const BYTE shortData[2] = {1, 0};
  SetRaw(W("Qword"), REG_QWORD, &qword, sizeof(qword));
  SetRaw(W("BigEndian"), REG_DWORD_BIG_ENDIAN, &word, sizeof(word));
  SetRaw(W("Binary"), REG_BINARY, &word, sizeof(word));
  SetRaw(W("Short"), REG_DWORD, shortData, sizeof(shortData));
  SetString(W("Text"), W("1"));  // four bytes with its terminator
  for (LPCWSTR name : {W("Qword"), W("BigEndian"), W("Binary"), W("Short"), W("Text"),
                       W("Missing")}) {
    SCOPED_TRACE(Utf16ToUtf8(name));
    DWORD untouched = 42;
    EXPECT_FALSE(ReadRegistryDword(m_path.c_str(), name, untouched));
    EXPECT_EQ(42u, untouched);
  }
  DWORD untouched = 42;
  EXPECT_FALSE(ReadRegistryDword(nullptr, W("Number"), untouched));
  EXPECT_FALSE(ReadRegistryDword(W("SOFTWARE\\Quillmark\\NoSuchKey"), W("Number"), untouched));
  EXPECT_EQ(42u, untouched);
}

TEST_F(RegistryReaders, StringOnlyFromRegSz) {
  SetString(W("Plain"), W("C:\\Temp\\"));
  SetString(nullptr, W("default text"));
  SetString(W("Empty"), W(""));
  SetString(W("Expand"), W("%TEMP%\\x"), REG_EXPAND_SZ);
  SetDword(W("Number"), 1);

  WString value;
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), W("Plain"), value));
  EXPECT_EQ(W("C:\\Temp\\"), value);
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), nullptr, value));
  EXPECT_EQ(W("default text"), value);
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), W("Empty"), value));
  EXPECT_EQ(W(""), value);

  for (LPCWSTR name : {W("Expand"), W("Number"), W("Missing")}) {
    SCOPED_TRACE(Utf16ToUtf8(name));
    WString untouched = W("keep");
    EXPECT_FALSE(ReadRegistryString(m_path.c_str(), name, untouched));
    EXPECT_EQ(W("keep"), untouched);
  }
  WString untouched = W("keep");
  EXPECT_FALSE(ReadRegistryString(nullptr, W("Plain"), untouched));
  EXPECT_EQ(W("keep"), untouched);
}

// Stored data need not be terminated, may hold a NUL early, or end in half a
// character: the result never reaches past what was stored.
TEST_F(RegistryReaders, StringStopsAtNulOrEndOfData) {
  const WCHAR unterminated[] = {u'a', u'b', u'c'};
  SetRaw(W("Unterminated"), REG_SZ, unterminated, sizeof(unterminated));
  const WCHAR embedded[] = {u'a', u'b', 0, u'c', u'd', 0};
  SetRaw(W("Embedded"), REG_SZ, embedded, sizeof(embedded));
  const BYTE odd[] = {'x', 0, 'y', 0, 'z'};
  SetRaw(W("Odd"), REG_SZ, odd, sizeof(odd));

  WString value;
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), W("Unterminated"), value));
  EXPECT_EQ(W("abc"), value);
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), W("Embedded"), value));
  EXPECT_EQ(W("ab"), value);
  EXPECT_TRUE(ReadRegistryString(m_path.c_str(), W("Odd"), value));
  EXPECT_EQ(W("xy"), value);
}

TEST_F(RegistryReaders, TempPathNeedsTwoCharactersAndEndsInSeparator) {
  WString folder = W("keep");
  EXPECT_FALSE(ReadTempPath(m_path.c_str(), folder));
  SetString(W("TempPath"), W("C"));
  EXPECT_FALSE(ReadTempPath(m_path.c_str(), folder));
  SetString(W("TempPath"), W("D:\\work"), REG_EXPAND_SZ);
  EXPECT_FALSE(ReadTempPath(m_path.c_str(), folder));
  EXPECT_EQ(W("keep"), folder);

  SetString(W("TempPath"), W("C:"));
  EXPECT_TRUE(ReadTempPath(m_path.c_str(), folder));
  EXPECT_EQ(W("C:\\"), folder);
  SetString(W("TempPath"), W("D:\\work\\"));
  EXPECT_TRUE(ReadTempPath(m_path.c_str(), folder));
  EXPECT_EQ(W("D:\\work\\"), folder);
  SetString(W("TempPath"), W("/srv/work/"));
  EXPECT_TRUE(ReadTempPath(m_path.c_str(), folder));
  EXPECT_EQ(W("/srv/work/"), folder);
}

TEST_F(RegistryReaders, SystemTempPathIsTmpdirWithSeparator) {
  WString folder;
  ASSERT_TRUE(GetSystemTempPath(folder));
  ASSERT_GE(folder.size(), 2u);
  EXPECT_TRUE(folder.back() == u'/' || folder.back() == u'\\');
  const std::string tmpdir = getenv("TMPDIR");
  EXPECT_EQ(fs::weakly_canonical(tmpdir), fs::weakly_canonical(PosixPathFromWide(folder.c_str())));
}

TEST_F(RegistryReaders, CheckTempFolderAcceptsWritableFolderAndLeavesNothing) {
  const std::string folder = arcwise_test::MakeTestFolder("probe_ok");
  // A file of the old fixed probe name is someone else's: it stays as it is.
  { std::ofstream(folder + "/QMK.tmp") << "left by an earlier process"; }
  EXPECT_TRUE(CheckTempFolder(arcwise_test::WideFolder(folder).c_str()));
  EXPECT_TRUE(CheckTempFolder(arcwise_test::WideFolder(folder).c_str()));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(std::vector<std::string>{"QMK.tmp"}, names);
  EXPECT_EQ(26u, fs::file_size(folder + "/QMK.tmp"));
}

TEST_F(RegistryReaders, CheckTempFolderLogsEachFailure) {
  StartLogger();
  arcwise_test::DebugCapture capture;
  const std::string root = arcwise_test::MakeTestFolder("probe_bad");

  const WString missing = arcwise_test::WideFolder(root + "/missing");
  EXPECT_FALSE(CheckTempFolder(missing.c_str()));

  { std::ofstream(root + "/plain.txt") << "x"; }
  const WString file = Utf8ToUtf16(root + "/plain.txt");
  EXPECT_FALSE(CheckTempFolder(file.c_str()));

  // A folder where no temporary file can be made: its path leaves no room
  // for a temporary name (permissions would not stop a test run as root).
  const std::string deep = root + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
  fs::create_directories(deep);
  const WString blocked = arcwise_test::WideFolder(deep);
  EXPECT_FALSE(CheckTempFolder(blocked.c_str()));

  const std::vector<std::string> lines = capture.Utf8Lines();
  ASSERT_EQ(3u, lines.size()) << capture.Text();
  const std::string prefix = "Quillmark Arcwise Filter:";
  // The system's code for a missing folder: file or path not found.
  const std::string invalid =
      prefix + "ERROR: Path is not valid: " + Utf16ToUtf8(missing) + ". Error code = ";
  ASSERT_EQ(0u, lines[0].find(invalid)) << lines[0];
  const std::string invalidCode = lines[0].substr(invalid.size());
  EXPECT_TRUE(invalidCode == "2 \n" || invalidCode == "3 \n") << lines[0];

  EXPECT_EQ(prefix + "ERROR: Path is not a directory: " + Utf16ToUtf8(file) + " \n", lines[1]);

  const std::string denied =
      prefix + "INFO: Access denied for: " + Utf16ToUtf8(blocked) + ". Error code = ";
  ASSERT_EQ(0u, lines[2].find(denied)) << lines[2];
  const std::string deniedCode = lines[2].substr(denied.size());
  ASSERT_GE(deniedCode.size(), 3u) << lines[2];
  EXPECT_NE('0', deniedCode[0]) << lines[2];
  EXPECT_EQ(deniedCode.size() - 2, deniedCode.find_first_not_of("0123456789")) << lines[2];
  EXPECT_EQ(" \n", deniedCode.substr(deniedCode.size() - 2)) << lines[2];
}

TEST_F(RegistryReaders, FindAppTempDirPrefersTempPathThenSystemFolder) {
  const std::string folder = arcwise_test::MakeTestFolder("app_temp");
  WString systemFolder;
  ASSERT_TRUE(GetSystemTempPath(systemFolder));

  WString found;
  EXPECT_TRUE(FindAppTempDir(m_path.c_str(), found));
  EXPECT_EQ(systemFolder, found);

  SetString(W("TempPath"), Utf8ToUtf16(folder));
  EXPECT_TRUE(FindAppTempDir(m_path.c_str(), found));
  EXPECT_EQ(Utf8ToUtf16(folder) + W("\\"), found);

  SetString(W("TempPath"), Utf8ToUtf16(folder + "/gone"));
  EXPECT_TRUE(FindAppTempDir(m_path.c_str(), found));
  EXPECT_EQ(systemFolder, found);

  EXPECT_TRUE(FindAppTempDir(nullptr, found));
  EXPECT_EQ(systemFolder, found);
}

}  // namespace
