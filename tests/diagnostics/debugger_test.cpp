// The logger: level filter, the three sinks, the start-up lines, the prefix,
// the log file's name, encoding and life, and lines from many threads.
#include "diagnostics/Debugger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/registry_util.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

const WCHAR kName[] = W("Quillmark Arcwise Filter");
const WString kPrefix = W("Quillmark Arcwise Filter:");

// A registry key of this test alone under HKEY_LOCAL_MACHINE.
class TestKey : public arcwise_test::TestKey {
 public:
  explicit TestKey(const std::string& suffix = "")
      : arcwise_test::TestKey(PathOfCurrentTest(suffix), HKEY_LOCAL_MACHINE) {}
};

using arcwise_test::IsTempName;
using arcwise_test::ReadAll;

std::vector<fs::path> FilesIn(const std::string& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  return files;
}

// Puts the process-wide logger back into its silent state.
void SilenceGlobalLogger() {
  TestKey empty("_silent");
  g_debugger.Start(empty.Path(), nullptr);
}

// Prints one line at each level.
void PrintEachLevel(Debugger& debugger) {
  debugger.Print(1, W("ERROR: level one %d \n"), 1);
  debugger.Print(2, W("INFO: level two %d \n"), 2);
  debugger.Print(3, W("INFO: level three %d \n"), 3);
}

TEST(DebuggerLevel, BeforeStartNothingIsWritten) {
  arcwise_test::DebugCapture capture;
  Debugger debugger;
  EXPECT_EQ(0, debugger.GetLevel());
  EXPECT_EQ(Debugger::SystemDebugger, debugger.GetOutputMode());
  EXPECT_TRUE(debugger.GetPrefix().empty());
  PrintEachLevel(debugger);
  EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
}

// Level 0, however it comes about, writes nothing to any sink, errors included.
TEST(DebuggerLevel, LevelZeroWritesNothingAnywhere) {
  struct Case {
    const char* name;
    void (*configure)(TestKey& key);
  };
  const Case cases[] = {
      {"absent", [](TestKey&) {}},
      {"zero", [](TestKey& key) { key.SetDword(W("DebugMode"), 0); }},
      {"four", [](TestKey& key) { key.SetDword(W("DebugMode"), 4); }},
      {"all_bits", [](TestKey& key) { key.SetDword(W("DebugMode"), 0xFFFFFFFF); }},
      {"text", [](TestKey& key) { key.SetString(W("DebugMode"), W("3")); }},
  };
  for (const Case& c : cases) {
    for (DWORD mode = 0; mode <= 2; ++mode) {
      SCOPED_TRACE(std::string(c.name) + " output mode " + std::to_string(mode));
      const std::string folder =
          arcwise_test::MakeTestFolder(std::string("silent_") + c.name + std::to_string(mode));
      TestKey key(std::string("_") + c.name + std::to_string(mode));
      c.configure(key);
      key.SetDword(W("OutputMode"), mode);
      key.SetString(W("TempPath"), arcwise_test::WideFolder(folder));

      arcwise_test::DebugCapture capture;
      ::testing::internal::CaptureStdout();
      Debugger debugger;
      debugger.Start(key.Path(), kName);
      EXPECT_EQ(0, debugger.GetLevel());
      PrintEachLevel(debugger);
      const std::string out = ::testing::internal::GetCapturedStdout();

      EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
      EXPECT_EQ("", out);
      EXPECT_TRUE(FilesIn(folder).empty());
    }
  }
}

TEST(DebuggerLevel, EachLevelAddsItsLines) {
  const std::string startLevel = "Quillmark Arcwise Filter:INFO: Debugging level is set to ";
  const std::string startMode =
      "Quillmark Arcwise Filter:INFO: Debugger outputmode is set to <SYSTEM DEBUGGER>\n";
  const std::string one = "Quillmark Arcwise Filter:ERROR: level one 1 \n";
  const std::string two = "Quillmark Arcwise Filter:INFO: level two 2 \n";
  const std::string three = "Quillmark Arcwise Filter:INFO: level three 3 \n";
  const std::map<DWORD, std::vector<std::string>> expected = {
      {1, {one}},
      {2, {startLevel + "2 \n", startMode, one, two}},
      {3, {startLevel + "3 \n", startMode, one, two, three}},
  };
  for (const auto& [level, lines] : expected) {
    SCOPED_TRACE("DebugMode " + std::to_string(level));
    TestKey key("_" + std::to_string(level));
    key.SetDword(W("DebugMode"), level);
    arcwise_test::DebugCapture capture;
    Debugger debugger;
    debugger.Start(key.Path(), kName);
    EXPECT_EQ(static_cast<INT>(level), debugger.GetLevel());
    PrintEachLevel(debugger);
    EXPECT_EQ(lines, capture.Utf8Lines());
  }
}

TEST(DebuggerSinks, OutputModeOutOfRangeMeansSystemDebugger) {
  for (DWORD mode : {3u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(mode);
    TestKey key("_" + std::to_string(mode));
    key.SetDword(W("DebugMode"), 2);
    key.SetDword(W("OutputMode"), mode);
    arcwise_test::DebugCapture capture;
    ::testing::internal::CaptureStdout();
    Debugger debugger;
    debugger.Start(key.Path(), kName);
    debugger.Print(1, W("INFO: DLL was loaded \n"));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(Debugger::SystemDebugger, debugger.GetOutputMode());
    EXPECT_EQ("", out);
    const std::vector<std::string> lines = {
        "Quillmark Arcwise Filter:INFO: Debugging level is set to 2 \n",
        "Quillmark Arcwise Filter:INFO: Debugger outputmode is set to <SYSTEM DEBUGGER>\n",
        "Quillmark Arcwise Filter:INFO: DLL was loaded \n"};
    EXPECT_EQ(lines, capture.Utf8Lines());
  }
}

// Console: the announcements went to the debug channel; later lines reach
// standard output as they are, a "%d" of a file name included.
TEST(DebuggerSinks, ConsoleWritesLinesUnchanged) {
  TestKey key;
  key.SetDword(W("DebugMode"), 3);
  key.SetDword(W("OutputMode"), 1);
  arcwise_test::DebugCapture capture;
  ::testing::internal::CaptureStdout();
  Debugger debugger;
  debugger.Start(key.Path(), kName);
  const std::string atStart = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ("", atStart);
  EXPECT_EQ(Debugger::Console, debugger.GetOutputMode());
  const std::vector<std::string> startLines = {
      "Quillmark Arcwise Filter:INFO: Debugging level is set to 3 \n",
      "Quillmark Arcwise Filter:INFO: Debugger outputmode is set to <CONSOLE>\n"};
  EXPECT_EQ(startLines, capture.Utf8Lines());

  ::testing::internal::CaptureStdout();
  debugger.Print(1, W("INFO: Loading file %s \n"), W("C:\\in\\report%d %s 100%.zip"));
  debugger.Print(3, W("INFO: entry %s\n"), W("Z\u00FCrich \u20AC"));
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(
      "Quillmark Arcwise Filter:INFO: Loading file C:\\in\\report%d %s 100%.zip \n"
      "Quillmark Arcwise Filter:INFO: entry Z\xC3\xBCrich \xE2\x82\xAC\n",
      out);
  EXPECT_EQ(startLines, capture.Utf8Lines());
}

TEST(DebuggerSinks, SystemDebuggerGetsWholeLines) {
  TestKey key;
  key.SetDword(W("DebugMode"), 1);
  arcwise_test::DebugCapture capture;
  Debugger debugger;
  debugger.Start(key.Path(), kName);
  const WString longName(10000, u'x');
  debugger.Print(1, W("ERROR: Load failed for %s. hr = 0x%08x \n"), longName.c_str(),
                 static_cast<INT>(E_FAIL));
  debugger.Print(1, W("ERROR: cannot write to file. Error = %d"), -5);
  const std::vector<WString> lines = {
      kPrefix + W("ERROR: Load failed for ") + longName + W(". hr = 0x80004005 \n"),
      kPrefix + W("ERROR: cannot write to file. Error = -5")};
  EXPECT_EQ(lines, capture.Lines());
}

TEST(DebuggerPrefix, NameRules) {
  TestKey key;
  key.SetDword(W("DebugMode"), 1);
  arcwise_test::DebugCapture capture;
  Debugger debugger;

  debugger.Start(key.Path(), nullptr);
  EXPECT_EQ(W("Quillmark:"), debugger.GetPrefix());
  debugger.Print(1, W("INFO: one \n"));

  debugger.Start(key.Path(), W(""));
  EXPECT_EQ(W(":"), debugger.GetPrefix());
  debugger.Print(1, W("INFO: two \n"));

  // Without a product key only the prefix changes: the level stays.
  capture.Clear();
  debugger.Start(nullptr, W("Other"));
  EXPECT_EQ(1, debugger.GetLevel());
  debugger.Print(1, W("INFO: three \n"));
  EXPECT_EQ(std::vector<WString>{W("Other:INFO: three \n")}, capture.Lines());
}

TEST(DebuggerPrefix, LinesBeforeStartFindSilence) {
  Debugger fresh;
  arcwise_test::DebugCapture capture;
  fresh.Start(nullptr, kName);  // prefix only: the level stays 0
  fresh.Print(1, W("ERROR: early \n"));
  EXPECT_TRUE(capture.Lines().empty());
}

class DebuggerFile : public ::testing::Test {
 protected:
  void StartInFileMode(Debugger& debugger, DWORD level) {
    m_folder = arcwise_test::MakeTestFolder("log");
    m_key.SetDword(W("DebugMode"), level);
    m_key.SetDword(W("OutputMode"), 2);
    // No trailing separator: the reader adds it.
    m_key.SetString(W("TempPath"), Utf8ToUtf16(m_folder));
    debugger.Start(m_key.Path(), kName);
  }
  fs::path LogPath(const Debugger& debugger) const {
    const std::string name = Utf16ToUtf8(debugger.GetLogFileName());
    return fs::path(m_folder) / name.substr(name.find_last_of("\\/") + 1);
  }

  TestKey m_key;
  std::string m_folder;
};

// The log file name is drawn at start; the file appears with the first line.
TEST_F(DebuggerFile, FirstLineAfterStartCreatesQmkLog) {
  arcwise_test::DebugCapture capture;
  Debugger debugger;
  StartInFileMode(debugger, 3);
  ASSERT_EQ(Debugger::File, debugger.GetOutputMode());

  const std::string name = Utf16ToUtf8(debugger.GetLogFileName());
  EXPECT_EQ(0u, name.find(m_folder + "\\")) << name;
  EXPECT_TRUE(IsTempName(name.substr(m_folder.size() + 1), "qmk", "log"))
      << name;
  // Neither the reserving file nor the log exists yet.
  EXPECT_TRUE(FilesIn(m_folder).empty());

  const std::vector<std::string> startLines = {
      "Quillmark Arcwise Filter:INFO: Debugging level is set to 3 \n",
      "Quillmark Arcwise Filter:INFO:  Debugger outputmode is set to <FILE>\n",
      "Quillmark Arcwise Filter:INFO: LOG file full name is: " + name + " \n"};
  EXPECT_EQ(startLines, capture.Utf8Lines());

  debugger.Print(1, W("INFO: DLL was loaded \n"));
  const std::vector<fs::path> files = FilesIn(m_folder);
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(LogPath(debugger), files[0]);
  EXPECT_EQ("Quillmark Arcwise Filter:INFO: DLL was loaded \r\n", ReadAll(files[0]));
  // The log may hold paths and names from the archives: the owner's alone.
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(files[0]).permissions());
  // Nothing more reached the debug channel.
  EXPECT_EQ(startLines, capture.Utf8Lines());
}

TEST_F(DebuggerFile, EncodingIsLatin1WithCrLf) {
  Debugger debugger;
  StartInFileMode(debugger, 1);
  ASSERT_EQ(Debugger::File, debugger.GetOutputMode());
  debugger.Print(1, W("INFO: file %s \n"), W("caf\u00E9 \u00FF"));
  // Above U+00FF: '?' in place of the character, the rest of the line kept.
  debugger.Print(1, W("INFO: file %s done\n"), W("\u20AC-\u0100-\u4E2D"));
  // A text without its own line feed runs on into the next line.
  debugger.Print(1, W("ERROR: cannot write to file. Error = %d"), 5);
  debugger.Print(1, W("INFO: two\nlines\n"));
  EXPECT_EQ(
      "Quillmark Arcwise Filter:INFO: file caf\xE9 \xFF \r\n"
      "Quillmark Arcwise Filter:INFO: file ?-?-? done\r\n"
      "Quillmark Arcwise Filter:ERROR: cannot write to file. Error = 5"
      "Quillmark Arcwise Filter:INFO: two\r\nlines\r\n",
      ReadAll(LogPath(debugger)));
}

// No handle stays open: the file may be deleted or moved between lines.
TEST_F(DebuggerFile, FileMayGoAwayBetweenLines) {
  Debugger debugger;
  StartInFileMode(debugger, 1);
  ASSERT_EQ(Debugger::File, debugger.GetOutputMode());
  const fs::path log = LogPath(debugger);
  debugger.Print(1, W("INFO: first \n"));
  fs::rename(log, fs::path(m_folder) / "moved.log");
  debugger.Print(1, W("INFO: second \n"));
  fs::remove(log);
  debugger.Print(1, W("INFO: third \n"));
  debugger.Print(1, W("INFO: fourth \n"));
  EXPECT_EQ("Quillmark Arcwise Filter:INFO: first \r\n",
            ReadAll(fs::path(m_folder) / "moved.log"));
  EXPECT_EQ(
      "Quillmark Arcwise Filter:INFO: third \r\n"
      "Quillmark Arcwise Filter:INFO: fourth \r\n",
      ReadAll(log));
}

TEST_F(DebuggerFile, LinesOfEightThreadsNeverInterleave) {
  Debugger debugger;
  StartInFileMode(debugger, 1);
  ASSERT_EQ(Debugger::File, debugger.GetOutputMode());
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  // Long lines, so a torn write would show.
  const WString padding(700, u'#');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        debugger.Print(1, W("INFO: thread %d line %d %s end\n"), t, i, padding.c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();

  const std::string content = ReadAll(LogPath(debugger));
  const std::string pad(700, '#');
  std::map<std::string, int> seen;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find("\r\n", start);
    ASSERT_NE(std::string::npos, end) << "unterminated tail";
    ++seen[content.substr(start, end - start)];
    start = end + 2;
  }
  ASSERT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "Quillmark Arcwise Filter:INFO: thread " + std::to_string(t) +
                               " line " + std::to_string(i) + " " + pad + " end";
      EXPECT_EQ(1, seen[line]) << "thread " << t << " line " << i;
    }
  }
}

TEST(DebuggerFileFailure, NoTempPathStaysOnSystemDebugger) {
  TestKey key;
  key.SetDword(W("DebugMode"), 1);
  key.SetDword(W("OutputMode"), 2);
  arcwise_test::DebugCapture capture;
  Debugger debugger;
  debugger.Start(key.Path(), kName);
  EXPECT_EQ(Debugger::SystemDebugger, debugger.GetOutputMode());
  debugger.Print(1, W("INFO: DLL was loaded \n"));
  const std::vector<std::string> lines = {
      "Quillmark Arcwise Filter:ERROR: Failure to create LOG file in the TempPath folder: NOT "
      "DEFINED \n",
      "Quillmark Arcwise Filter:INFO: DLL was loaded \n"};
  EXPECT_EQ(lines, capture.Utf8Lines());
}

// The process-wide logger, so the temporary-file error line shows too.
TEST(DebuggerFileFailure, MissingTempFolderIsReportedTwice) {
  TestKey key;
  const std::string missing = arcwise_test::TestRoot() + "/no/such/folder";
  key.SetDword(W("DebugMode"), 1);
  key.SetDword(W("OutputMode"), 2);
  key.SetString(W("TempPath"), Utf8ToUtf16(missing));
  arcwise_test::DebugCapture capture;
  g_debugger.Start(key.Path(), kName);
  EXPECT_EQ(Debugger::SystemDebugger, g_debugger.GetOutputMode());
  const std::vector<std::string> lines = {
      "Quillmark Arcwise Filter:ERROR: CreateTempFile() failed for " + missing +
          "\\. Error descr: = Error getting temp file name \n",
      "Quillmark Arcwise Filter:ERROR: Failure to create LOG file in the TempPath folder: " +
          missing + "\\ \n"};
  EXPECT_EQ(lines, capture.Utf8Lines());
  SilenceGlobalLogger();
}

}  // namespace
