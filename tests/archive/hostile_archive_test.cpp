// Archives as an attacker makes them: each limit of the work budget, entries
// that share their data, names longer than the file system takes, a failing
// duplicate, names of every character, the privacy of what extraction
// writes, and the sweep that removes what killed processes left behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipDocument.h"
#include "archive_test_util.h"
#include "diagnostics/Debugger.h"
#include "support/registry_util.h"
#include "support/test_env.h"
#include "support/zip_writer.h"

namespace fs = std::filesystem;
using namespace arcwise_test;

namespace {

const WString kLogKey = W("SOFTWARE\\Quillmark\\ArcwiseTest\\Hostile");

class HostileArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    arcwise_test::SetDword(HKEY_LOCAL_MACHINE, kLogKey, W("DebugMode"), 1);
    g_debugger.Start(kLogKey.c_str(), W("Quillmark Arcwise Filter"));
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = MakeTestFolder(std::string("hostile-") + info->name());
    m_appTemp = m_folder + "/apptemp";
    fs::create_directories(m_appTemp);
    m_archive = m_folder + "/test.zip";
    m_capture = std::make_unique<DebugCapture>();
  }
  void TearDown() override {
    m_capture.reset();
    g_debugger.Start((kLogKey + W("\\silent")).c_str(), nullptr);
  }

  std::unique_ptr<ZipDocument> Open(const ZipWriter& writer, ExtractionBudget* budget = nullptr) {
    EXPECT_TRUE(writer.WriteTo(m_archive));
    return std::make_unique<ZipDocument>(WidePath(m_archive).c_str(), WidePath(m_appTemp).c_str(), 0, budget);
  }
  // The walk's files, relative to the extraction folder, each checked to be
  // complete on disk when handed out.
  static std::vector<std::string> Walk(ZipDocument& document) {
    std::vector<std::string> files;
    const std::string base = PosixOf(document.GetArcTempDir()) + "/";
    for (WString next = document.NextFile(); !next.empty(); next = document.NextFile()) {
      const std::string path = PosixOf(next);
      EXPECT_TRUE(fs::is_regular_file(path)) << path;
      files.push_back(path.substr(base.size()));
    }
    return files;
  }
  size_t LinesWith(const std::string& needle) const {
    size_t count = 0;
    for (const WString& line : m_capture->Lines()) count += Utf16ToUtf8(line).find(needle) != std::string::npos;
    return count;
  }

  std::string m_folder;
  std::string m_appTemp;
  std::string m_archive;
  std::unique_ptr<DebugCapture> m_capture;
};

ZipEntrySpec Lying(const std::string& name, uint32_t declaredSize) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = std::string(1024, 'z');
  entry.uncompressedSize = declaredSize;
  return entry;
}

// Each limit at its edge: what is extracted, the names (always all of them),
// and the one line that names the limit.
TEST_F(HostileArchiveTest, EachLimitStopsWhatItBoundsAndNamesItself) {
  const std::string twoMiB(2 * 1024 * 1024, 'r');
  const struct {
    const char* label;
    ExtractionLimits limits;
    ZipWriter archive;
    size_t names;
    std::vector<std::string> extracted;
    const char* line;  // once in the log; null: no limit line
  } cases[] = {
      {"entries", {0, 2, 0},
       ZipWriter().Add("a", "1").Add("b", "2").Add("c", "3").Add("d", "4"), 4, {"a", "b"},
       "limit MaxExtractedEntries (2 entries) reached in "},
      // Folders an entry needs count as entries: they cost as much to make.
      {"folders", {0, 3, 0}, ZipWriter().Add("x", "1").Add("a/b/c.txt", "2").Add("y", "3"), 3, {"x"},
       "limit MaxExtractedEntries (3 entries) reached in "},
      // b does not fit in what a left; c would, but the rest stays unextracted.
      {"bytes", {10, 0, 0},
       ZipWriter().Add("a", "123456").Add("b", "123456").Add("c", "1"), 3, {"a"},
       "limit MaxExtractedMB (10 bytes) reached in "},
      // Only the large entry that claims too much is skipped; small ones of any
      // ratio, and large ones within it, are extracted.
      {"ratio", {0, 0, 100},
       ZipWriter().Add(Lying("bomb", 4 * 1024 * 1024)).Add("big", twoMiB).Add(Lying("tiny", 1000 * 1000)),
       3, {"big"}, "limit MaxExpansionRatio (100) refuses entry bomb of "},
      {"none", {0, 0, 0}, ZipWriter().Add("a", "1").Add("big", twoMiB), 2, {"a", "big"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    m_capture->Clear();
    auto budget = std::make_shared<ExtractionBudget>(c.limits);
    auto document = Open(c.archive, budget.get());
    ASSERT_TRUE(document->IsOpen());
    EXPECT_EQ(c.extracted, Walk(*document));
    EXPECT_EQ(c.names, static_cast<size_t>(std::distance(document->EntryNamesBegin(), document->EntryNamesEnd())));
    if (c.line) {
      EXPECT_EQ(1u, LinesWith(c.line)) << m_capture->Text();
    }
    EXPECT_EQ(c.line ? 1u : 0u, LinesWith("ERROR: limit ")) << m_capture->Text();
  }
}

// Archives nested in one document share its budget: the second draws on
// what the first left.
TEST_F(HostileArchiveTest, DocumentsGivenOneBudgetShareIt) {
  auto budget = std::make_shared<ExtractionBudget>(ExtractionLimits{0, 5, 0});
  const ZipWriter archive = ZipWriter().Add("a", "1").Add("b", "2").Add("c", "3");
  auto outer = Open(archive, budget.get());
  auto inner = Open(archive, budget.get());
  EXPECT_EQ(3u, Walk(*outer).size());
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), Walk(*inner));
  EXPECT_EQ(5u, budget->Used().entries);
}

// Many central records over one stream of data, the way non-recursive
// bombs multiply their output: the first is extracted, the others refused.
TEST_F(HostileArchiveTest, EntriesSharingTheirDataAreRefused) {
  ZipWriter archive;
  archive.Add("f00", std::string(4096, 'k'));
  for (const char* name : {"f01", "f02", "f03"}) {
    ZipEntrySpec shared;
    shared.name = name;
    shared.sharesDataOf = 0;
    archive.Add(shared);
  }
  archive.Add("own", "separate data");
  auto document = Open(archive);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ((std::vector<std::string>{"f00", "own"}), Walk(*document));
  EXPECT_EQ(5, std::distance(document->EntryNamesBegin(), document->EntryNamesEnd()));
  EXPECT_EQ(3u, LinesWith("its data overlaps the data of an earlier entry")) << m_capture->Text();
}

// Names far beyond what the file system takes fail alone, each with a line;
// the time and memory they cost stay bounded (the folder walk of a 64 KB
// name once took minutes and gigabytes).
TEST_F(HostileArchiveTest, OverlongNamesFailAloneAndSayWhy) {
  std::string deep;
  while (deep.size() < 64 * 1024 - 8) deep += "d/";
  deep += "x.txt";
  std::string manyLevels;
  while (manyLevels.size() < 5000) manyLevels += "e/";
  manyLevels += "y.txt";
  std::string longComponents;
  for (int i = 0; i < 20; ++i) longComponents += std::string(250, 'l') + "/";
  longComponents += "z.txt";
  const ZipWriter archive = ZipWriter()
                                .Add(deep, "1")
                                .Add(std::string(64 * 1024 - 1, 'n'), "2")
                                .Add(manyLevels, "3")
                                .Add(longComponents, "4")
                                .Add(std::string(300, 'w'), "5")
                                .Add("ok.txt", "fine");
  auto document = Open(archive);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(std::vector<std::string>{"ok.txt"}, Walk(*document));
  EXPECT_EQ(6, std::distance(document->EntryNamesBegin(), document->EntryNamesEnd()));
  EXPECT_EQ(5u, LinesWith("is not extracted: ")) << m_capture->Text();
  EXPECT_EQ(3u, LinesWith("its path is longer or deeper than the file system takes")) << m_capture->Text();
  EXPECT_EQ(2u, LinesWith("the file system refused its file or folder. Error code = 206")) << m_capture->Text();
}

// A later entry of the same path replaces the earlier file only when it is
// complete itself; the walk never hands out a missing or partial file.
TEST_F(HostileArchiveTest, FailingDuplicateKeepsTheEarlierFile) {
  ZipEntrySpec damaged;
  damaged.name = "same.txt";
  damaged.data = "second, damaged";
  damaged.crc = 0x12345678;
  auto document = Open(ZipWriter().Add("same.txt", "first").Add(damaged).Add("dup.txt", "one").Add("dup.txt", "two"));
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ((std::vector<std::string>{"same.txt", "dup.txt", "dup.txt"}), Walk(*document));
  const std::string base = PosixOf(document->GetArcTempDir());
  EXPECT_EQ("first", ReadAll(base + "/same.txt"));
  EXPECT_EQ("two", ReadAll(base + "/dup.txt"));
  EXPECT_EQ((std::set<std::string>{"same.txt", "dup.txt"}), ListTree(base)) << "no partial file stays";
}

// Names of every printable character, control characters, trailing dots and
// spaces, wildcard characters: all are extracted privately, and closing the
// document leaves nothing at all.
TEST_F(HostileArchiveTest, AnyNamesAreExtractedPrivatelyAndLeaveNothing) {
  ZipWriter archive;
  for (char c = 1; c < 127; ++c) {
    if (c == '/' || c == '\\') continue;
    archive.Add(std::string(1, c), "x").Add(std::string("n") + c + "n", "y");
  }
  for (const char* name : {"*x/a.txt", "?/b.txt", "*", "a./b", "c /d", "e. ./f", "**/*?*/g"}) archive.Add(name, "z");
  auto document = Open(archive);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_LT(200u, Walk(*document).size());
  for (const auto& entry : fs::recursive_directory_iterator(m_appTemp)) {
    struct stat st;
    ASSERT_EQ(0, lstat(entry.path().c_str(), &st));
    EXPECT_EQ(S_ISDIR(st.st_mode) ? 0700u : 0600u, st.st_mode & 0777u) << entry.path();
  }
  document->Close();
  EXPECT_TRUE(ListTree(m_appTemp).empty()) << *ListTree(m_appTemp).begin();
}

// A process that holds a document and waits until told to go on.
pid_t StartHolder(const std::string& archive, const std::string& appTemp, int* release, bool killItself) {
  int ready[2];
  int go[2];
  if (pipe(ready) != 0 || pipe(go) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    ZipDocument document(WidePath(archive).c_str(), WidePath(appTemp).c_str(), 0);
    const char byte = document.IsOpen() ? 'y' : 'n';
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    if (killItself) raise(SIGKILL);
    char ignored;
    if (read(go[0], &ignored, 1) < 0) _exit(3);
    document.Close();
    _exit(0);
  }
  char byte = 0;
  if (read(ready[0], &byte, 1) != 1 || byte != 'y') return -1;
  *release = go[1];
  close(ready[0]);
  close(ready[1]);
  close(go[0]);
  return pid;
}

// The sweep removes what a killed process left, and never touches a folder
// in use, by another process or by this one.
TEST_F(HostileArchiveTest, SweepRemovesWhatKilledProcessesLeftOnly) {
  ASSERT_TRUE(ZipWriter().Add("a/b.txt", "content").WriteTo(m_archive));
  auto mine = std::make_unique<ZipDocument>(WidePath(m_archive).c_str(), WidePath(m_appTemp).c_str(), 0);
  int releaseLive = -1;
  int releaseKilled = -1;
  const pid_t live = StartHolder(m_archive, m_appTemp, &releaseLive, false);
  const pid_t killed = StartHolder(m_archive, m_appTemp, &releaseKilled, true);
  ASSERT_GT(live, 0);
  ASSERT_GT(killed, 0);
  int status = 0;
  ASSERT_EQ(killed, waitpid(killed, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(12u, ListTree(m_appTemp).size()) << "three folders (each with a/, a/b.txt) and their lock files";

  SweepStaleTempItems(WideFolder(m_appTemp));
  const std::set<std::string> left = ListTree(m_appTemp);
  EXPECT_EQ(8u, left.size()) << "two live folders (each with a/, a/b.txt) and their lock files";
  EXPECT_TRUE(left.count(Utf16ToUtf8(mine->GetArcTempDir().substr(mine->GetArcTempDir().rfind(W('\\')) + 1))));
  EXPECT_EQ(1u, LinesWith("left by a process that has ended")) << m_capture->Text();

  ASSERT_EQ(1, write(releaseLive, "g", 1));
  ASSERT_EQ(live, waitpid(live, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(releaseLive);
  close(releaseKilled);
  mine.reset();
  EXPECT_TRUE(ListTree(m_appTemp).empty());
}

}  // namespace
