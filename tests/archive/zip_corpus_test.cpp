// ZipDocument against archives written by other projects (shared/corpus):
// wherever Info-ZIP can list an archive, the entry names match `zipinfo -1`
// in order, and every file we extract is byte-identical to `unzip -p`.
// Archives that Info-ZIP rejects must open or fail without a crash or a leak,
// and no archive (the traversal and symlink samples above all) writes
// anything outside its ArcTempDir or leaves a link inside it.
#include <iconv.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/Unzipper.h"
#include "archive/ZipDocument.h"
#include "archive_test_util.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

#ifndef ARCWISE_CORPUS_DIR
#define ARCWISE_CORPUS_DIR ""
#endif

namespace fs = std::filesystem;
using namespace arcwise_test;

namespace {

// Decodes with the C library's iconv, independent of the platform's code
// page tables.
WString Decode(const std::string& bytes, const char* charset) {
  iconv_t converter = iconv_open("UTF-16LE", charset);
  if (converter == reinterpret_cast<iconv_t>(-1)) return WString(u"<no converter>");
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* target = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(converter, &in, &inLeft, &target, &outLeft);
  iconv_close(converter);
  if (rc == static_cast<size_t>(-1)) return WString(u"<undecodable>");
  WString text;
  for (size_t i = 0; i + 1 < out.size() - outLeft; i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                         (static_cast<unsigned char>(out[i + 1]) << 8)));
  }
  return text;
}

// An entry name as an unzip pattern that matches only itself.
std::string LiteralPattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '[' || c == ']' || c == '*' || c == '?' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  return pattern;
}

// Entry flags and extract paths in central-directory order, read directly.
std::vector<EntryInfo> DescribeEntries(const std::string& archive) {
  std::vector<EntryInfo> entries;
  CUnzipper unzipper;
  if (!unzipper.Open(WidePath(archive).c_str()) || !unzipper.MoveToFirstEntry()) return entries;
  do {
    EntryInfo info;
    if (unzipper.GetCurrentEntryInfo(info, 0)) entries.push_back(info);
  } while (unzipper.MoveToNextEntry());
  return entries;
}

std::vector<std::string> CorpusArchives(const std::string& corpus) {
  std::vector<std::string> archives;
  for (const auto& folder : fs::directory_iterator(corpus)) {
    if (!folder.is_directory()) continue;
    for (const auto& file : fs::directory_iterator(folder.path())) {
      const std::string name = file.path().filename().string();
      if (!file.is_regular_file() || name == "MANIFEST.tsv" || name.rfind("README", 0) == 0) continue;
      archives.push_back(file.path().string());
    }
  }
  std::sort(archives.begin(), archives.end());
  return archives;
}

// Where the corpus may be: the folder ARCWISE_CORPUS_DIR names, else the
// shared folder beside the source tree.
std::vector<std::string> CorpusCandidates() {
  std::vector<std::string> places;
  if (const char* named = std::getenv("ARCWISE_CORPUS_DIR"); named && *named) places.push_back(named);
  places.push_back(ARCWISE_CORPUS_DIR);
  return places;
}

std::string CorpusPlaces() {
  std::string text;
  for (const std::string& place : CorpusCandidates()) text += (text.empty() ? "" : ", ") + place;
  return text;
}

std::string FindCorpus() {
  for (const std::string& place : CorpusCandidates()) {
    if (fs::is_directory(place)) return place;
  }
  return std::string();
}

class ZipCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_corpus = FindCorpus();
    if (m_corpus.empty()) {
      // In CI a missing corpus is a broken set-up, not a reason to pass.
      const char* ci = std::getenv("CI");
      if (ci && std::string(ci) == "true") FAIL() << "no corpus of archives found; looked in " << CorpusPlaces();
      GTEST_SKIP() << "no corpus of archives found; looked in " << CorpusPlaces()
                   << " (set ARCWISE_CORPUS_DIR to its folder)";
    }
    if (!fs::exists("/usr/bin/unzip") || !fs::exists("/usr/bin/zipinfo")) {
      GTEST_SKIP() << "Info-ZIP unzip/zipinfo are not installed";
    }
    // Names without the UTF-8 flag are decoded in the ANSI code page; 437
    // maps every byte, so any name byte sequence can be compared.
    m_acp.Set("437");
    m_appTemp = MakeTestFolder("corpus-apptemp");
  }
  arcwise_test::ScopedEnv m_acp{"ARCWISE_ACP", nullptr};

  std::string m_corpus;
  std::string m_appTemp;
};

TEST_F(ZipCorpusTest, NamesAndContentMatchInfoZip) {
  const std::vector<std::string> archives = CorpusArchives(m_corpus);
  ASSERT_FALSE(archives.empty());
  // Where the traversal samples would land if they escaped.
  const std::vector<std::string> escapes = {"/tmp/evil.txt", "/Temp/evil.txt", "/outside",
                                            TestRoot() + "/evil.txt"};
  std::map<std::string, bool> existedBefore;
  for (const auto& path : escapes) existedBefore[path] = fs::exists(fs::symlink_status(path));

  int listed = 0;
  int rejected = 0;
  int filesCompared = 0;
  std::vector<std::string> rejectedNames;
  std::vector<std::string> notExtracted;
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    const std::string name = fs::path(archive).filename().string();
    const std::set<std::string> before = ListTree(TestRoot());

    int status = 0;
    const std::string listing =
        RunCommand("zipinfo -1 " + ShellQuote(archive) + " 2>/dev/null", &status);
    const int zipinfoCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const bool listable = (zipinfoCode == 0 || zipinfoCode == 1) && !listing.empty();

    auto document = std::make_unique<ZipDocument>(WidePath(archive).c_str(), WidePath(m_appTemp).c_str(), 0);
    const std::string arcTempDir = PosixOf(document->GetArcTempDir());

    if (!listable) {
      ++rejected;
      rejectedNames.push_back(name);
    } else {
      ++listed;
      EXPECT_TRUE(document->IsOpen());
      const std::vector<std::string> rawNames = Lines(listing);
      const std::vector<EntryInfo> entries = DescribeEntries(archive);
      ASSERT_EQ(entries.size(), rawNames.size());
      const std::vector<WString> names(document->EntryNamesBegin(), document->EntryNamesEnd());
      std::vector<WString> expected;
      for (size_t i = 0; i < rawNames.size(); ++i) {
        // zipinfo prints the raw name bytes, except that for entries made on
        // MS-DOS it reads the name as OEM (437) itself and prints it in the
        // locale's charset (or ISO-8859-1), so such a listing is compared as
        // characters instead.
        std::vector<WString> candidates = {
            Decode(rawNames[i], (entries[i].flags & 0x800) ? "UTF-8" : "CP437")};
        if ((entries[i].versionMadeBy >> 8) == 0) {
          candidates.push_back(Decode(rawNames[i], "UTF-8"));
          candidates.push_back(Decode(rawNames[i], "ISO-8859-1"));
        }
        for (WString& candidate : candidates) {
          for (WCHAR& c : candidate) {
            if (c == u'/') c = u'\\';
          }
        }
        WString chosen = candidates.front();
        for (const WString& candidate : candidates) {
          if (i < names.size() && candidate == names[i]) chosen = candidate;
        }
        expected.push_back(chosen);
      }
      EXPECT_EQ(names, expected);

      // Every extracted file against unzip -p of its entry (the last entry
      // of a path wins, as in the extraction).
      std::set<WString> extracted;
      document->Rewind();
      for (WString next = document->NextFile(); !next.empty(); next = document->NextFile()) {
        extracted.insert(next);
      }
      std::map<WString, size_t> lastEntryOfPath;
      for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].isFolder) lastEntryOfPath[document->GetArcTempDir() + u"\\" + entries[i].extractPath] = i;
      }
      for (const auto& [path, index] : lastEntryOfPath) {
        if (!extracted.count(path)) notExtracted.push_back(name + ": " + Utf16ToUtf8(entries[index].name));
      }
      for (const WString& path : extracted) {
        const auto found = lastEntryOfPath.find(path);
        ASSERT_NE(found, lastEntryOfPath.end()) << Utf16ToUtf8(path);
        const EntryInfo& entry = entries[found->second];
        EXPECT_TRUE(entry.compressionMethod == 0 || entry.compressionMethod == 8);
        int unzipStatus = 0;
        const std::string reference =
            RunCommand("timeout 60 unzip -p " + ShellQuote(archive) + " " +
                           ShellQuote(LiteralPattern(rawNames[found->second])) + " </dev/null 2>/dev/null",
                       &unzipStatus);
        EXPECT_TRUE(WIFEXITED(unzipStatus) && WEXITSTATUS(unzipStatus) <= 1)
            << "unzip refused an entry we extracted: " << Utf16ToUtf8(entry.name);
        EXPECT_EQ(ReadAll(PosixOf(path)), reference) << Utf16ToUtf8(entry.name);
        ++filesCompared;
      }
    }

    // Inside the ArcTempDir: only the extracted files and their folders,
    // never a link.
    if (!arcTempDir.empty()) {
      std::set<WString> extracted;
      document->Rewind();
      for (WString next = document->NextFile(); !next.empty(); next = document->NextFile()) {
        extracted.insert(next);
      }
      for (const std::string& relative : ListTree(arcTempDir)) {
        const std::string full = arcTempDir + "/" + relative;
        EXPECT_FALSE(fs::is_symlink(full)) << full;
        if (fs::is_regular_file(full)) {
          EXPECT_TRUE(extracted.count(WidePath(full))) << "left over: " << full;
        }
      }
    }
    document.reset();
    EXPECT_TRUE(ListTree(m_appTemp).empty()) << "the ArcTempDir outlived its document";
    // Nothing appeared anywhere else in this test's private tree.
    EXPECT_EQ(ListTree(TestRoot()), before);
  }
  for (const auto& path : escapes) {
    if (!existedBefore[path]) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << path;
    }
  }

  std::cout << "corpus: " << archives.size() << " archives, " << listed << " listed by zipinfo and compared, "
            << filesCompared << " extracted files compared byte for byte, " << rejected
            << " rejected by Info-ZIP:";
  for (const auto& name : rejectedNames) std::cout << ' ' << name;
  std::cout << std::endl << "entries not extracted (refused or unsupported):" << std::endl;
  for (const auto& line : notExtracted) std::cout << "  " << line << std::endl;
  RecordProperty("archives_compared", listed);
  RecordProperty("files_compared", filesCompared);
}

}  // namespace
