// The configuration objects: defaults, range rules, the working folder
// choice with its fallback, and the lines they log.
#include "diagnostics/FilterConfiguration.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/Debugger.h"
#include "diagnostics/RegistryReaders.h"
#include "support/registry_util.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

const WCHAR kName[] = W("Quillmark Arcwise Filter");
const std::string kPrefix = "Quillmark Arcwise Filter:";

class Configuration : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = W("SOFTWARE\\Quillmark\\ArcwiseTest\\Configuration\\") + Utf8ToUtf16(info->name());
    m_key = CreateKey(m_path);
  }
  void TearDown() override {
    if (m_key) RegCloseKey(m_key);
    if (m_productKey) RegCloseKey(m_productKey);
    g_debugger.Start((m_path + W("\\silent")).c_str(), nullptr);
  }
  static HKEY CreateKey(const WString& path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
  }
  static void SetDword(HKEY key, LPCWSTR name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, arcwise_test::SetDword(key, name, value));
  }
  static void SetString(HKEY key, LPCWSTR name, const WString& text, DWORD type = REG_SZ) {
    ASSERT_EQ(ERROR_SUCCESS, arcwise_test::SetString(key, name, text, type));
  }
  // The product's own key, emptied of the values this suite sets.
  HKEY ProductKey() {
    if (!m_productKey) {
      m_productKey = CreateKey(ARCWISE_PRODUCT_KEY);
      for (LPCWSTR name : {W("TempPath"), W("MultipleInstancesMode"), W("MetadataIndexingMode"),
                           W("UseLongitudeOptomization"), W("DebugMode"), W("OutputMode")}) {
        RegDeleteValueW(m_productKey, name);
      }
    }
    return m_productKey;
  }
  // Level lines of the process-wide logger to the debug channel.
  void StartLogger(DWORD level) {
    const WString loggerKey = m_path + W("\\logger");
    HKEY key = CreateKey(loggerKey);
    SetDword(key, W("DebugMode"), level);
    RegCloseKey(key);
    g_debugger.Start(loggerKey.c_str(), kName);
  }
  static WString SystemTemp() {
    WString folder;
    EXPECT_TRUE(GetSystemTempPath(folder));
    return folder;
  }

  WString m_path;
  HKEY m_key = nullptr;
  HKEY m_productKey = nullptr;
};

TEST_F(Configuration, DefaultsWithoutAnyKey) {
  arcwise_test::DebugCapture capture;
  StartLogger(3);
  capture.Clear();
  const WString missingKey = m_path + W("\\does\\not\\exist");
  CFilterConfiguration configuration(missingKey.c_str());
  const WString systemTemp = SystemTemp();
  EXPECT_EQ(systemTemp, configuration.GetAppTempDir());
  EXPECT_EQ(missingKey, configuration.GetProductKey());
  EXPECT_EQ(0u, configuration.GetUseSingleMetadataInstance());
  EXPECT_EQ(0u, configuration.GetIndexMappedMetadataOnly());

  const std::vector<std::string> lines = {
      kPrefix + "INFO: AppTempDir is set to " + Utf16ToUtf8(systemTemp) + " \n",
      kPrefix + "INFO: UseSingleMetadataInstance Flag is set to 0\n",
      kPrefix + "INFO: IndexMappedMetadataOnly Flag is set to 0\n"};
  EXPECT_EQ(lines, capture.Utf8Lines());
}

TEST_F(Configuration, ProductDefaults) {
  ProductKey();
  ArcwiseConfiguration configuration;
  EXPECT_EQ(WString(W("SOFTWARE\\Quillmark\\Arcwise")), configuration.GetProductKey());
  EXPECT_EQ(SystemTemp(), configuration.GetAppTempDir());
  EXPECT_EQ(0u, configuration.GetUseSingleMetadataInstance());
  EXPECT_EQ(0u, configuration.GetIndexMappedMetadataOnly());
  EXPECT_FALSE(configuration.GetUseLongitudeOptomization());
}

// The work budget: defaults, any stored REG_DWORD (0 is "no limit"), a value
// of another type counts as absent; each setting gets its start-up line.
TEST_F(Configuration, ExtractionLimitsComeFromTheProductKey) {
  ProductKey();
  {
    const ExtractionSettings defaults = ArcwiseConfiguration().GetExtractionSettings();
    EXPECT_EQ(2048u, defaults.maxExtractedMB);
    EXPECT_EQ(100000u, defaults.maxExtractedEntries);
    EXPECT_EQ(100u, defaults.maxExpansionRatio);
  }
  SetDword(ProductKey(), W("MaxExtractedMB"), 0);
  SetDword(ProductKey(), W("MaxExtractedEntries"), 7);
  SetString(ProductKey(), W("MaxExpansionRatio"), W("5"));
  StartLogger(3);
  arcwise_test::DebugCapture capture;
  const ExtractionSettings stored = ArcwiseConfiguration().GetExtractionSettings();
  EXPECT_EQ(0u, stored.maxExtractedMB);
  EXPECT_EQ(7u, stored.maxExtractedEntries);
  EXPECT_EQ(100u, stored.maxExpansionRatio);
  const std::vector<std::string> lines = capture.Utf8Lines();
  for (const char* line : {"INFO: MaxExtractedMB is set to 0 (no limit)\n", "INFO: MaxExtractedEntries is set to 7\n",
                           "INFO: MaxExpansionRatio is set to 100\n"}) {
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), kPrefix + line)) << line;
  }
}

// The switches compare as unsigned numbers: only 0 and 1 are accepted.
TEST_F(Configuration, FlagsAcceptOnlyZeroOrOne) {
  struct Case {
    DWORD stored;
    DWORD expected;
  };
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{2, 0}, Case{4, 0}, Case{0xFFFFFFFF, 0}}) {
    SCOPED_TRACE(c.stored);
    SetDword(m_key, W("MultipleInstancesMode"), c.stored);
    SetDword(m_key, W("MetadataIndexingMode"), c.stored);
    CFilterConfiguration configuration(m_path.c_str());
    EXPECT_EQ(c.expected, configuration.GetUseSingleMetadataInstance());
    EXPECT_EQ(c.expected, configuration.GetIndexMappedMetadataOnly());
  }
}

TEST_F(Configuration, FlagsLoggedAtLevelThree) {
  SetDword(m_key, W("MultipleInstancesMode"), 1);
  SetDword(m_key, W("MetadataIndexingMode"), 0);
  arcwise_test::DebugCapture capture;
  StartLogger(3);
  capture.Clear();
  CFilterConfiguration configuration(m_path.c_str());
  const std::vector<std::string> lines = capture.Utf8Lines();
  ASSERT_EQ(3u, lines.size()) << capture.Text();
  EXPECT_EQ(kPrefix + "INFO: UseSingleMetadataInstance Flag is set to 1\n", lines[1]);
  EXPECT_EQ(kPrefix + "INFO: IndexMappedMetadataOnly Flag is set to 0\n", lines[2]);

  // Level 1 shows the working folder only.
  StartLogger(1);
  capture.Clear();
  CFilterConfiguration quieter(m_path.c_str());
  EXPECT_EQ(std::vector<std::string>{kPrefix + "INFO: AppTempDir is set to " +
                                     Utf16ToUtf8(quieter.GetAppTempDir()) + " \n"},
            capture.Utf8Lines());
}

TEST_F(Configuration, DwordStoredAsTextIsAbsent) {
  SetString(m_key, W("MultipleInstancesMode"), W("1"));
  const DWORD one = 1;
  const ULONGLONG wide = 1;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(m_key, W("MetadataIndexingMode"), 0, REG_QWORD,
                                          reinterpret_cast<const BYTE*>(&wide), sizeof(wide)));
  CFilterConfiguration configuration(m_path.c_str());
  EXPECT_EQ(0u, configuration.GetUseSingleMetadataInstance());
  EXPECT_EQ(0u, configuration.GetIndexMappedMetadataOnly());

  SetString(ProductKey(), W("UseLongitudeOptomization"), W("1"));
  EXPECT_FALSE(ArcwiseConfiguration().GetUseLongitudeOptomization());
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(ProductKey(), W("UseLongitudeOptomization"), 0, REG_DWORD_BIG_ENDIAN,
                           reinterpret_cast<const BYTE*>(&one), sizeof(one)));
  EXPECT_FALSE(ArcwiseConfiguration().GetUseLongitudeOptomization());
}

TEST_F(Configuration, LongitudeOptimisationOnlyForExactlyOne) {
  for (DWORD stored : {0u, 2u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(stored);
    SetDword(ProductKey(), W("UseLongitudeOptomization"), stored);
    EXPECT_FALSE(ArcwiseConfiguration().GetUseLongitudeOptomization());
  }
  SetDword(ProductKey(), W("UseLongitudeOptomization"), 1);
  EXPECT_TRUE(ArcwiseConfiguration().GetUseLongitudeOptomization());
}

TEST_F(Configuration, TempPathWithoutSeparatorGetsOneAndNoProbeStays) {
  const std::string folder = arcwise_test::MakeTestFolder("work");
  SetString(ProductKey(), W("TempPath"), Utf8ToUtf16(folder));
  ArcwiseConfiguration configuration;
  EXPECT_EQ(Utf8ToUtf16(folder) + W("\\"), configuration.GetAppTempDir());
  EXPECT_TRUE(fs::is_empty(folder));
}

// Too short or of the expanding type: absent, so no error line either.
TEST_F(Configuration, UnusableTempPathIsAbsentWithoutError) {
  StartLogger(1);
  const WString systemTemp = SystemTemp();
  for (DWORD type : {static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_EXPAND_SZ)}) {
    SCOPED_TRACE(type);
    const std::string folder = arcwise_test::MakeTestFolder("expand");
    SetString(m_key, W("TempPath"), type == REG_SZ ? W("x") : Utf8ToUtf16(folder), type);
    arcwise_test::DebugCapture capture;
    CFilterConfiguration configuration(m_path.c_str());
    EXPECT_EQ(systemTemp, configuration.GetAppTempDir());
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(std::vector<std::string>{kPrefix + "INFO: AppTempDir is set to " +
                                       Utf16ToUtf8(systemTemp) + " \n"},
              capture.Utf8Lines());
  }
}

TEST_F(Configuration, TempPathNamingFileFallsBackWithErrorLine) {
  const std::string root = arcwise_test::MakeTestFolder("file_as_folder");
  const std::string file = root + "/settings.txt";
  { std::ofstream(file) << "not a folder"; }
  SetString(m_key, W("TempPath"), Utf8ToUtf16(file));
  arcwise_test::DebugCapture capture;
  StartLogger(1);
  capture.Clear();
  CFilterConfiguration configuration(m_path.c_str());
  const WString systemTemp = SystemTemp();
  EXPECT_EQ(systemTemp, configuration.GetAppTempDir());

  const std::vector<std::string> lines = capture.Utf8Lines();
  ASSERT_EQ(2u, lines.size()) << capture.Text();
  // A file name with a separator appended: the file system calls it either
  // no directory or no valid path; either way the check fails at level 1.
  EXPECT_EQ(0u, lines[0].find(kPrefix + "ERROR: Path is not ")) << lines[0];
  EXPECT_NE(std::string::npos, lines[0].find(file + "\\")) << lines[0];
  EXPECT_EQ(kPrefix + "INFO: AppTempDir is set to " + Utf16ToUtf8(systemTemp) + " \n", lines[1]);
}

TEST_F(Configuration, NoUsableFolderLeavesAppTempDirEmpty) {
  const std::string gone = arcwise_test::TestRoot() + "/vanished";
  arcwise_test::DebugCapture capture;
  StartLogger(1);
  capture.Clear();
  std::optional<CFilterConfiguration> configuration;
  {
    arcwise_test::ScopedEnv tmpdir("TMPDIR", gone);
    configuration.emplace(m_path.c_str());
  }

  EXPECT_TRUE(configuration->GetAppTempDir().empty());
  const std::vector<std::string> lines = capture.Utf8Lines();
  ASSERT_EQ(2u, lines.size()) << capture.Text();
  EXPECT_EQ(0u, lines[0].find(kPrefix + "ERROR: Path is not valid: " + gone)) << lines[0];
  EXPECT_EQ(kPrefix + "INFO: AppTempDir is not defined \n", lines[1]);
}

}  // namespace
