// ZipDocument: the extraction tree, the two lists, the file walk and the
// removal of the ArcTempDir, on crafted archives and on archives made by the
// zip tool (deflated entries).
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipDocument.h"
#include "archive_test_util.h"
#include "support/test_env.h"
#include "support/zip_writer.h"

namespace fs = std::filesystem;
using namespace arcwise_test;

namespace {

class ZipDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = MakeTestFolder(std::string("doc-") + info->name());
    m_appTemp = m_folder + "/apptemp";
    fs::create_directories(m_appTemp);
    m_archive = m_folder + "/test.zip";
  }

  std::unique_ptr<ZipDocument> OpenDocument(const ZipWriter& writer, BYTE flattenPaths) {
    EXPECT_TRUE(writer.WriteTo(m_archive));
    return OpenDocument(m_archive, flattenPaths);
  }
  std::unique_ptr<ZipDocument> OpenDocument(const std::string& archive, BYTE flattenPaths) {
    return std::make_unique<ZipDocument>(WidePath(archive).c_str(), WidePath(m_appTemp).c_str(),
                                         flattenPaths);
  }

  static std::vector<WString> Names(const ZipDocument& document) {
    return std::vector<WString>(document.EntryNamesBegin(), document.EntryNamesEnd());
  }
  // The whole walk, checking its contract on the way.
  static std::vector<WString> Walk(ZipDocument& document) {
    std::vector<WString> files;
    while (document.HasMoreFiles()) {
      WString next = document.NextFile();
      if (next.empty()) break;
      files.push_back(next);
    }
    EXPECT_FALSE(document.HasMoreFiles());
    return files;
  }
  WString Under(const ZipDocument& document, const char16_t* relative) {
    return document.GetArcTempDir() + u"\\" + relative;
  }

  std::string m_folder;
  std::string m_appTemp;
  std::string m_archive;
};

TEST_F(ZipDocumentTest, ExtractsIntoAMarkedPrivateFolderAndListsInOrder) {
  auto document = OpenDocument(ZipWriter()
                                   .Add("dir/", "")
                                   .Add("dir/a.txt", "alpha")
                                   .Add("b/c/d.txt", "delta")
                                   .Add("top.txt", "top"),
                               0);
  ASSERT_TRUE(document->IsOpen());
  const WString arcTempDir = document->GetArcTempDir();
  const std::string arcPosix = PosixOf(arcTempDir);
  EXPECT_EQ(fs::path(arcPosix).parent_path(), fs::path(m_appTemp));
  EXPECT_EQ(fs::path(arcPosix).filename().string().rfind("aw", 0), 0u);
  EXPECT_TRUE(HasNotIndexedMark(arcPosix));
  EXPECT_EQ(Names(*document), (std::vector<WString>{u"dir\\", u"dir\\a.txt", u"b\\c\\d.txt", u"top.txt"}));
  const std::vector<WString> files = Walk(*document);
  EXPECT_EQ(files, (std::vector<WString>{Under(*document, u"dir\\a.txt"), Under(*document, u"b\\c\\d.txt"),
                                         Under(*document, u"top.txt")}));
  EXPECT_EQ(ReadAll(arcPosix + "/b/c/d.txt"), "delta");
  EXPECT_TRUE(HasNotIndexedMark(arcPosix + "/b"));
  EXPECT_TRUE(HasNotIndexedMark(arcPosix + "/b/c"));
  EXPECT_TRUE(HasNotIndexedMark(arcPosix + "/b/c/d.txt"));
}

TEST_F(ZipDocumentTest, WalkContract) {
  auto document = OpenDocument(ZipWriter().Add("one.txt", "1").Add("two.txt", "2"), 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_TRUE(document->HasMoreFiles());
  const WString first = document->NextFile();
  const WString second = document->NextFile();
  EXPECT_EQ(first, Under(*document, u"one.txt"));
  EXPECT_EQ(second, Under(*document, u"two.txt"));
  // Still true after the last path; only the next call ends the walk.
  EXPECT_TRUE(document->HasMoreFiles());
  EXPECT_EQ(document->NextFile(), WString());
  EXPECT_FALSE(document->HasMoreFiles());
  EXPECT_EQ(document->NextFile(), WString());
  document->Rewind();
  EXPECT_TRUE(document->HasMoreFiles());
  EXPECT_EQ(document->NextFile(), first);
  // Rewind in the middle of a walk starts over too.
  document->Rewind();
  EXPECT_EQ(Walk(*document), (std::vector<WString>{first, second}));
}

TEST_F(ZipDocumentTest, CloseRemovesTheFolderAndEmptiesTheLists) {
  auto document = OpenDocument(ZipWriter().Add("a/b/c.txt", "c").Add("d.txt", "d"), 0);
  ASSERT_TRUE(document->IsOpen());
  const std::string arcPosix = PosixOf(document->GetArcTempDir());
  ASSERT_TRUE(fs::exists(arcPosix + "/a/b/c.txt"));
  document->Close();
  EXPECT_FALSE(fs::exists(arcPosix));
  EXPECT_FALSE(document->IsOpen());
  EXPECT_TRUE(document->GetArcTempDir().empty());
  EXPECT_TRUE(Names(*document).empty());
  EXPECT_EQ(document->NextFile(), WString());
  EXPECT_TRUE(ListTree(m_appTemp).empty());
}

TEST_F(ZipDocumentTest, DestructionAndReopeningRemoveEarlierFolders) {
  auto document = OpenDocument(ZipWriter().Add("x.txt", "x"), 0);
  ASSERT_TRUE(document->IsOpen());
  const std::string first = PosixOf(document->GetArcTempDir());
  ASSERT_TRUE(document->Open(WidePath(m_archive).c_str(), WidePath(m_appTemp).c_str(), 0));
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(ListTree(m_appTemp).size(), 3u);  // the new folder, its file and its lock file
  document.reset();
  EXPECT_TRUE(ListTree(m_appTemp).empty());
}

TEST_F(ZipDocumentTest, ArchiveWithoutEntriesDoesNotOpen) {
  auto document = OpenDocument(ZipWriter(), 0);
  EXPECT_FALSE(document->IsOpen());
  EXPECT_TRUE(Names(*document).empty());
  document.reset();
  EXPECT_TRUE(ListTree(m_appTemp).empty());
}

TEST_F(ZipDocumentTest, MissingOrForeignArchiveDoesNotOpenAndLeavesNothing) {
  auto missing = OpenDocument(m_folder + "/missing.zip", 0);
  EXPECT_FALSE(missing->IsOpen());
  WriteAll(m_archive, std::string(1000, 'z'));
  auto foreign = OpenDocument(m_archive, 0);
  EXPECT_FALSE(foreign->IsOpen());
  missing.reset();
  foreign.reset();
  EXPECT_TRUE(ListTree(m_appTemp).empty());
  ZipDocument noFolder(WidePath(m_archive).c_str(), nullptr, 0);
  EXPECT_FALSE(noFolder.IsOpen());
  EXPECT_TRUE(noFolder.GetArcTempDir().empty());
}

TEST_F(ZipDocumentTest, OnlyFoldersOpensWithNoFiles) {
  auto document = OpenDocument(ZipWriter().Add("a/", "").Add("a/b/", "").Add("c/", ""), 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Names(*document), (std::vector<WString>{u"a\\", u"a\\b\\", u"c\\"}));
  EXPECT_TRUE(document->HasMoreFiles());
  EXPECT_EQ(document->NextFile(), WString());
  EXPECT_FALSE(document->HasMoreFiles());
  EXPECT_TRUE(ListTree(PosixOf(document->GetArcTempDir())).empty());
}

TEST_F(ZipDocumentTest, ZeroLengthEntryIsListed) {
  auto document = OpenDocument(ZipWriter().Add("empty.txt", ""), 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Walk(*document), (std::vector<WString>{Under(*document, u"empty.txt")}));
  EXPECT_EQ(fs::file_size(PosixOf(Under(*document, u"empty.txt"))), 0u);
}

TEST_F(ZipDocumentTest, DuplicatePathsAreListedTwiceAndTheLaterDataWins) {
  for (BYTE flatten : {BYTE(0), BYTE(1)}) {
    auto document = OpenDocument(ZipWriter().Add("d/same.txt", "first").Add("d/same.txt", "second"), flatten);
    ASSERT_TRUE(document->IsOpen());
    EXPECT_EQ(Names(*document), (std::vector<WString>{u"d\\same.txt", u"d\\same.txt"}));
    const WString expected = Under(*document, flatten ? u"0\\same.txt" : u"d\\same.txt");
    EXPECT_EQ(Walk(*document), (std::vector<WString>{expected, expected}));
    EXPECT_EQ(ReadAll(PosixOf(expected)), "second");
  }
}

TEST_F(ZipDocumentTest, FlatPathsOneLevelDeepNumberedByFileName) {
  auto document = OpenDocument(ZipWriter().Add("x/a.txt", "xa").Add("y/a.txt", "ya").Add("z/b.txt", "zb"), 1);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Names(*document), (std::vector<WString>{u"x\\a.txt", u"y\\a.txt", u"z\\b.txt"}));
  EXPECT_EQ(Walk(*document), (std::vector<WString>{Under(*document, u"0\\a.txt"), Under(*document, u"1\\a.txt"),
                                                   Under(*document, u"0\\b.txt")}));
  const std::string arcPosix = PosixOf(document->GetArcTempDir());
  EXPECT_EQ(ReadAll(arcPosix + "/0/a.txt"), "xa");
  EXPECT_EQ(ReadAll(arcPosix + "/1/a.txt"), "ya");
  EXPECT_EQ(ReadAll(arcPosix + "/0/b.txt"), "zb");
  EXPECT_FALSE(fs::exists(arcPosix + "/x"));
}

TEST_F(ZipDocumentTest, RefusedEntriesKeepTheirNamesOnly) {
  ZipEntrySpec badCrc;
  badCrc.name = "bad.txt";
  badCrc.data = "damaged";
  badCrc.crc = 0;
  ZipEntrySpec encrypted;
  encrypted.name = "secret.txt";
  encrypted.data = "cipher bytes";
  encrypted.flags = 1;
  const std::string slip = "../../../../slip.txt";
  auto document = OpenDocument(ZipWriter().Add(badCrc).Add(encrypted).Add(slip, "slip").Add("ok.txt", "ok"), 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Names(*document),
            (std::vector<WString>{u"bad.txt", u"secret.txt", u"..\\..\\..\\..\\slip.txt", u"ok.txt"}));
  EXPECT_EQ(Walk(*document), (std::vector<WString>{Under(*document, u"slip.txt"), Under(*document, u"ok.txt")}));
  EXPECT_EQ(ListTree(PosixOf(document->GetArcTempDir())), (std::set<std::string>{"slip.txt", "ok.txt"}));
}

class ZipToolTest : public ZipDocumentTest {
 protected:
  void SetUp() override {
    ZipDocumentTest::SetUp();
    if (!fs::exists("/usr/bin/zip")) GTEST_SKIP() << "the zip tool is not installed";
  }
};

TEST_F(ZipToolTest, DeflatedTreeComesOutByteForByte) {
  const std::string source = m_folder + "/src";
  fs::create_directories(source + "/docs/deep");
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of some text\n";
  std::string binary;
  for (int i = 0; i < 100000; ++i) binary.push_back(static_cast<char>((i * 131 + i / 7) & 0xFF));
  WriteAll(source + "/docs/deep/text.txt", text);
  WriteAll(source + "/docs/bin.dat", binary);
  WriteAll(source + "/empty", "");
  int status = 0;
  RunCommand("cd " + ShellQuote(source) + " && zip -q -r " + ShellQuote(m_archive) + " docs empty", &status);
  ASSERT_EQ(status, 0);

  auto document = OpenDocument(m_archive, 0);
  ASSERT_TRUE(document->IsOpen());
  const std::string arcPosix = PosixOf(document->GetArcTempDir());
  EXPECT_EQ(Walk(*document).size(), 3u);
  EXPECT_EQ(ReadAll(arcPosix + "/docs/deep/text.txt"), text);
  EXPECT_EQ(ReadAll(arcPosix + "/docs/bin.dat"), binary);
  EXPECT_EQ(ReadAll(arcPosix + "/empty"), "");
}

TEST_F(ZipToolTest, DamagedDeflateStreamFailsThatEntryOnly) {
  const std::string source = m_folder + "/src";
  fs::create_directories(source);
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "row " + std::to_string(i * 31 % 977) + " text text\n";
  WriteAll(source + "/damaged.txt", text);
  WriteAll(source + "/intact.txt", text);
  int status = 0;
  RunCommand("cd " + ShellQuote(source) + " && zip -q " + ShellQuote(m_archive) + " damaged.txt intact.txt",
             &status);
  ASSERT_EQ(status, 0);
  // Overwrite the middle of the first entry's deflate stream.
  std::string bytes = ReadAll(m_archive);
  ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
  const size_t nameLength = static_cast<unsigned char>(bytes[26]) | (static_cast<unsigned char>(bytes[27]) << 8);
  const size_t extraLength = static_cast<unsigned char>(bytes[28]) | (static_cast<unsigned char>(bytes[29]) << 8);
  const size_t compressed = static_cast<unsigned char>(bytes[18]) | (static_cast<unsigned char>(bytes[19]) << 8) |
                            (static_cast<unsigned char>(bytes[20]) << 16);
  ASSERT_GT(compressed, 64u);
  const size_t middle = 30 + nameLength + extraLength + compressed / 2;
  for (size_t i = 0; i < 16; ++i) bytes[middle + i] = static_cast<char>(0xA5 ^ i);
  WriteAll(m_archive, bytes);

  auto document = OpenDocument(m_archive, 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Names(*document), (std::vector<WString>{u"damaged.txt", u"intact.txt"}));
  EXPECT_EQ(Walk(*document), (std::vector<WString>{Under(*document, u"intact.txt")}));
  EXPECT_FALSE(fs::exists(PosixOf(Under(*document, u"damaged.txt"))));
  EXPECT_EQ(ReadAll(PosixOf(Under(*document, u"intact.txt"))), text);
}

TEST_F(ZipToolTest, InnerArchiveIsOneFile) {
  const std::string inner = m_folder + "/inner.zip";
  ASSERT_TRUE(ZipWriter().Add("inside.txt", "inside").WriteTo(inner));
  int status = 0;
  RunCommand("cd " + ShellQuote(m_folder) + " && zip -q " + ShellQuote(m_archive) + " inner.zip", &status);
  ASSERT_EQ(status, 0);
  auto document = OpenDocument(m_archive, 0);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(Names(*document), (std::vector<WString>{u"inner.zip"}));
  EXPECT_EQ(Walk(*document), (std::vector<WString>{Under(*document, u"inner.zip")}));
  EXPECT_EQ(ReadAll(PosixOf(Under(*document, u"inner.zip"))), ReadAll(inner));
}

}  // namespace
