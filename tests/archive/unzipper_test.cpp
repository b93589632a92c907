// CUnzipper: entry descriptions and extraction of crafted archives, including
// the faults it must refuse (CRC mismatch, wrong length, encryption, unsafe
// names, links) and the flat-path numbering.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/EntryPath.h"
#include "archive/Unzipper.h"
#include "archive_test_util.h"
#include "support/scoped_env.h"
#include "support/test_env.h"
#include "support/zip_writer.h"

namespace fs = std::filesystem;
using namespace arcwise_test;

namespace {

std::atomic<int> g_fileReads{0};

}  // namespace

// Stands in for the platform's ReadFile in this test program only: counts
// the reads that reach the system and hands each to the platform library.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPVOID lpOverlapped) {
  using Function = BOOL (*)(HANDLE, LPVOID, DWORD, LPDWORD, LPVOID);
  static const auto platform = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "ReadFile"));
  if (!platform) abort();
  ++g_fileReads;
  return platform(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

namespace {

class UnzipperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = MakeTestFolder(std::string("unz-") + info->name());
    m_archive = m_folder + "/test.zip";
    m_out = m_folder + "/out";
    fs::create_directories(m_out);
  }
  arcwise_test::ScopedEnv m_acp{"ARCWISE_ACP", nullptr};

  // Writes the archive and opens it; the test fails when it does not open.
  void OpenArchive(const ZipWriter& writer) {
    ASSERT_TRUE(writer.WriteTo(m_archive));
    ASSERT_TRUE(m_unzipper.Open(WidePath(m_archive).c_str()));
    ASSERT_TRUE(m_unzipper.MoveToFirstEntry());
  }

  // Describes and extracts every entry in order.
  std::vector<std::pair<EntryInfo, bool>> ExtractAll(BYTE flattenPaths) {
    std::vector<std::pair<EntryInfo, bool>> results;
    const WString out = WidePath(m_out);
    do {
      EntryInfo info;
      EXPECT_TRUE(m_unzipper.GetCurrentEntryInfo(info, flattenPaths));
      const bool extracted = m_unzipper.ExtractCurrentEntry(out.c_str(), flattenPaths);
      results.emplace_back(info, extracted);
    } while (m_unzipper.MoveToNextEntry());
    return results;
  }

  std::string m_folder;
  std::string m_archive;
  std::string m_out;
  CUnzipper m_unzipper;
};

TEST_F(UnzipperTest, ClosedReaderAnswersFalseEverywhere) {
  EntryInfo info;
  EXPECT_FALSE(m_unzipper.Close());
  EXPECT_EQ(m_unzipper.GetEntryCount(), 0u);
  EXPECT_FALSE(m_unzipper.MoveToFirstEntry());
  EXPECT_FALSE(m_unzipper.MoveToNextEntry());
  EXPECT_FALSE(m_unzipper.GetCurrentEntryInfo(info, 0));
  EXPECT_FALSE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 0));
  EXPECT_FALSE(m_unzipper.Open(nullptr));
  EXPECT_FALSE(m_unzipper.Open(WidePath(m_folder + "/missing.zip").c_str()));
  WriteAll(m_archive, "this is not a zip archive at all");
  EXPECT_FALSE(m_unzipper.Open(WidePath(m_archive).c_str()));
}

TEST_F(UnzipperTest, DescribesEntriesFromTheCentralDirectory) {
  ZipEntrySpec entry;
  entry.name = "dir/file.txt";
  entry.data = "hello";
  entry.comment = "a comment";
  entry.madeBy = (3 << 8) | 30;
  entry.externalAttributes = 0100644u << 16;
  OpenArchive(ZipWriter().Add(entry).Add("dir/sub/", ""));
  EXPECT_EQ(m_unzipper.GetEntryCount(), 2u);
  EntryInfo info;
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 0));
  EXPECT_EQ(info.name, u"dir\\file.txt");
  EXPECT_EQ(info.extractPath, u"dir\\file.txt");
  EXPECT_EQ(info.comment, u"a comment");
  EXPECT_EQ(info.crc, Crc32("hello"));
  EXPECT_EQ(info.uncompressedSize, 5u);
  EXPECT_EQ(info.compressionMethod, 0u);
  EXPECT_EQ(info.versionMadeBy, static_cast<DWORD>((3 << 8) | 30));
  EXPECT_EQ(info.externalAttributes, 0100644u << 16);
  EXPECT_FALSE(info.isFolder);
  EXPECT_FALSE(info.IsSymbolicLink());
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 0));
  EXPECT_EQ(info.name, u"dir\\sub\\");
  EXPECT_TRUE(info.isFolder);
  EXPECT_FALSE(m_unzipper.MoveToNextEntry());
  EXPECT_TRUE(m_unzipper.Close());
}

TEST_F(UnzipperTest, EmptyEntryWithFolderAttributeIsAFolder) {
  // As MS-DOS tools write them: no trailing separator, only the attribute.
  ZipEntrySpec dosFolder;
  dosFolder.name = "def";
  dosFolder.madeBy = 20;
  dosFolder.externalAttributes = FILE_ATTRIBUTE_DIRECTORY;
  ZipEntrySpec unixFolder;
  unixFolder.name = "ghi";
  unixFolder.madeBy = (3 << 8) | 30;
  unixFolder.externalAttributes = 0040755u << 16;
  ZipEntrySpec notEmpty = dosFolder;
  notEmpty.name = "data";
  notEmpty.data = "a file whatever its attributes say";
  OpenArchive(ZipWriter().Add(dosFolder).Add("def/foo", "inside").Add(unixFolder).Add(notEmpty));
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_TRUE(results[0].first.isFolder);
  EXPECT_EQ(results[0].first.name, u"def");
  EXPECT_TRUE(results[1].second);
  EXPECT_TRUE(results[2].first.isFolder);
  EXPECT_FALSE(results[3].first.isFolder);
  EXPECT_TRUE(results[3].second);
  EXPECT_EQ(ReadAll(m_out + "/def/foo"), "inside");
  EXPECT_FALSE(fs::exists(m_out + "/ghi"));
}

TEST_F(UnzipperTest, NestedPathCreatesMarkedParents) {
  OpenArchive(ZipWriter().Add("a/b/c.txt", "nested"));
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 0));
  EXPECT_EQ(ReadAll(m_out + "/a/b/c.txt"), "nested");
  EXPECT_TRUE(fs::is_directory(m_out + "/a"));
  EXPECT_TRUE(HasNotIndexedMark(m_out + "/a"));
  EXPECT_TRUE(HasNotIndexedMark(m_out + "/a/b"));
  EXPECT_TRUE(HasNotIndexedMark(m_out + "/a/b/c.txt"));
}

TEST_F(UnzipperTest, ExtractionFolderIsCreatedWhenMissing) {
  OpenArchive(ZipWriter().Add("f.txt", "x"));
  const std::string deep = m_folder + "/new/deeper";
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(deep).c_str(), 0));
  EXPECT_EQ(ReadAll(deep + "/f.txt"), "x");
  EXPECT_TRUE(HasNotIndexedMark(m_folder + "/new"));
}

TEST_F(UnzipperTest, ExistingFileIsReplaced) {
  WriteAll(m_out + "/x.txt", "an older and much longer content");
  OpenArchive(ZipWriter().Add("x.txt", "new"));
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 0));
  EXPECT_EQ(ReadAll(m_out + "/x.txt"), "new");
}

TEST_F(UnzipperTest, Bit11NamesAreUtf8AndOthersFollowTheAnsiCodePage) {
  m_acp.Set("1252");
  ZipEntrySpec utf8;
  utf8.name = "\xCE\x9A\xCF\x8C\xCF\x83\xCE\xBC\xCE\xBF\xCF\x82/\xC3\xA9.txt";
  utf8.data = "greek";
  utf8.flags = kZipFlagUtf8Names;
  ZipEntrySpec ansi;
  ansi.name = "caf\xE9.txt";
  ansi.data = "latin";
  OpenArchive(ZipWriter().Add(utf8).Add(ansi));
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].first.name, u"\u039a\u03cc\u03c3\u03bc\u03bf\u03c2\\\u00e9.txt");
  EXPECT_EQ(results[1].first.name, u"caf\u00e9.txt");
  EXPECT_TRUE(results[0].second);
  EXPECT_TRUE(results[1].second);
  // The files carry the decoded names (the platform stores names as UTF-8).
  EXPECT_EQ(ReadAll(m_out + "/\xCE\x9A\xCF\x8C\xCF\x83\xCE\xBC\xCE\xBF\xCF\x82/\xC3\xA9.txt"), "greek");
  EXPECT_EQ(ReadAll(m_out + "/caf\xC3\xA9.txt"), "latin");
}

TEST_F(UnzipperTest, UnicodePathFieldNamesTheEntryAndItsFile) {
  m_acp.Set("437");
  // As Info-ZIP's zip writes a name outside the OEM code page: "?" in the
  // header, the UTF-8 name in a 0x7075 field whose CRC is the header name's.
  const std::string header = "r?sum?.txt";
  const std::string utf8 = "r\xC3\xA9sum\xC3\xA9.txt";
  const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(header.data()), uInt(header.size())));
  std::string field = "\x75\x70";
  field += char(5 + utf8.size());
  field += '\0';
  field += '\x01';
  for (int i = 0; i < 4; ++i) field += char((crc >> (8 * i)) & 0xFF);
  field += utf8;
  ZipEntrySpec entry;
  entry.name = header;
  entry.data = "cv";
  entry.extra = field;
  OpenArchive(ZipWriter().Add(entry));
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].first.name, u"r\u00e9sum\u00e9.txt");
  EXPECT_TRUE(results[0].second);
  EXPECT_EQ(ReadAll(m_out + "/r\xC3\xA9sum\xC3\xA9.txt"), "cv");
}

// Archives extracted entry by entry: which entries are written, and what the
// extraction folder holds afterwards. A failed entry leaves no file and does
// not stop the ones after it.
struct ExtractCase {
  const char* name;
  std::vector<ZipEntrySpec> entries;
  std::vector<bool> extracted;
  std::set<std::string> tree;                       // everything below the folder
  std::vector<std::pair<std::string, std::string>> content;  // file -> bytes
};

void PrintTo(const ExtractCase& test, std::ostream* out) { *out << test.name; }

class UnzipperExtract : public UnzipperTest, public ::testing::WithParamInterface<ExtractCase> {};

TEST_P(UnzipperExtract, WritesWhatIsSoundAndNothingElse) {
  const ExtractCase& test = GetParam();
  ZipWriter writer;
  for (const ZipEntrySpec& entry : test.entries) writer.Add(entry);
  OpenArchive(writer);
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), test.entries.size());
  for (size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(test.entries[i].name);
    EXPECT_EQ(results[i].second, test.extracted[i]);
    EXPECT_EQ(results[i].first.IsEncrypted(), (test.entries[i].flags & kZipFlagEncrypted) != 0);
    if (test.entries[i].name.find('/') == std::string::npos) {
      EXPECT_EQ(Utf16ToUtf8(results[i].first.name), test.entries[i].name);
    }
  }
  EXPECT_EQ(ListTree(m_out), test.tree);
  for (const auto& [file, bytes] : test.content) {
    EXPECT_TRUE(fs::is_regular_file(m_out + "/" + file)) << file;
    EXPECT_EQ(ReadAll(m_out + "/" + file), bytes) << file;
  }
}

ZipEntrySpec Entry(std::string name, std::string data) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.data = std::move(data);
  return entry;
}

// A deflated entry of text, its CRC-32 and declared size those of the text
// unless a case changes them afterwards.
ZipEntrySpec Deflated(std::string name, const std::string& text) {
  z_stream z = {};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string packed(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  ZipEntrySpec entry = Entry(std::move(name), packed);
  entry.method = Z_DEFLATED;
  entry.crc = Crc32(text);
  entry.uncompressedSize = static_cast<uint32_t>(text.size());
  return entry;
}

const std::string kText = "deflated text, deflated text, and more deflated text\n";
const std::string kMiB(1024 * 1024, 'm');  // the largest entry inflated in one piece

// Small deflated entries are inflated in one piece, larger ones block by
// block; damage must count the same either way.
INSTANTIATE_TEST_SUITE_P(
    Deflated, UnzipperExtract,
    ::testing::Values(
        ExtractCase{"SmallEntryIsInflated", {Deflated("a.txt", kText)}, {true}, {"a.txt"}, {{"a.txt", kText}}},
        ExtractCase{"CrcMismatchFails",
                    {[] {
                       ZipEntrySpec bad = Deflated("bad.txt", kText);
                       bad.crc = Crc32(kText) ^ 0x1;
                       return bad;
                     }(),
                     Deflated("good.txt", "fine")},
                    {false, true},
                    {"good.txt"},
                    {{"good.txt", "fine"}}},
        ExtractCase{"ShorterThanDeclaredFails",
                    {[] {
                       ZipEntrySpec bad = Deflated("short.txt", kText);
                       bad.uncompressedSize = static_cast<uint32_t>(kText.size() + 10);
                       return bad;
                     }()},
                    {false},
                    {},
                    {}},
        // The declared length is all that is read, as it always was; its
        // CRC-32 then decides.
        ExtractCase{"LongerThanDeclaredGivesTheDeclaredPartWhenItsCrcMatches",
                    {[] {
                       ZipEntrySpec cut = Deflated("cut.txt", kText);
                       cut.uncompressedSize = 8;
                       cut.crc = Crc32(kText.substr(0, 8));
                       return cut;
                     }()},
                    {true},
                    {"cut.txt"},
                    {{"cut.txt", kText.substr(0, 8)}}},
        ExtractCase{"DataThatIsNoDeflateStreamFails",
                    {[] {
                       ZipEntrySpec bad = Entry("garbage.txt", std::string("\xff\xff\xff\xff garbage", 12));
                       bad.method = Z_DEFLATED;
                       bad.uncompressedSize = 100;
                       return bad;
                     }()},
                    {false},
                    {},
                    {}},
        ExtractCase{"EntriesEitherSideOfTheOnePieceLimit",
                    {Deflated("limit.txt", kMiB), Deflated("over.txt", kMiB + "o")},
                    {true, true},
                    {"limit.txt", "over.txt"},
                    {{"limit.txt", kMiB}, {"over.txt", kMiB + "o"}}}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Outcomes, UnzipperExtract,
    ::testing::Values(
        ExtractCase{"FolderEntryCreatesNothing", {Entry("dir/sub/", "")}, {true}, {}, {}},
        ExtractCase{"ZeroLengthEntryGivesEmptyFile", {Entry("empty.txt", "")}, {true}, {"empty.txt"},
                    {{"empty.txt", ""}}},
        ExtractCase{"FileInTheWayOfAFolderFailsThatEntryOnly",
                    {Entry("a", "file first"), Entry("a/b.txt", "blocked"), Entry("c.txt", "fine")},
                    {true, false, true},
                    {"a", "c.txt"},
                    {{"a", "file first"}, {"c.txt", "fine"}}},
        ExtractCase{"CrcMismatchFailsAndLeavesNoFile",
                    {[] {
                       ZipEntrySpec bad = Entry("bad.txt", "the data does not match");
                       bad.crc = Crc32(bad.data) ^ 0x1;
                       return bad;
                     }(),
                     Entry("good.txt", "fine")},
                    {false, true},
                    {"good.txt"},
                    {{"good.txt", "fine"}}},
        // The damaged file goes, the folder made for it stays for its neighbour.
        ExtractCase{"CrcMismatchBelowAFolderLeavesOnlyTheFolder",
                    {[] {
                       ZipEntrySpec bad = Entry("d/bad.txt", "the data does not match either");
                       bad.crc = Crc32(bad.data) ^ 0x80000000u;
                       return bad;
                     }(),
                     Entry("d/good.txt", "fine")},
                    {false, true},
                    {"d", "d/good.txt"},
                    {{"d/good.txt", "fine"}}},
        // The central directory claims more data than the entry holds.
        ExtractCase{"LengthOtherThanDeclaredFails",
                    {[] {
                       ZipEntrySpec longer = Entry("claims-more.txt", "short");
                       longer.uncompressedSize = 4096;
                       return longer;
                     }(),
                     Entry("good.txt", "fine")},
                    {false, true},
                    {"good.txt"},
                    {{"good.txt", "fine"}}},
        ExtractCase{"EncryptedEntryIsNeverWritten",
                    {[] {
                       ZipEntrySpec secret = Entry("secret.txt", "12 bytes hdr+cipher text");
                       secret.flags = kZipFlagEncrypted;
                       return secret;
                     }(),
                     Entry("plain.txt", "plain")},
                    {false, true},
                    {"plain.txt"},
                    {{"plain.txt", "plain"}}}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

TEST_F(UnzipperTest, LongNamesAreNeverCut) {
  const std::string part(150, 'p');
  const std::string longName = part + "/" + part + "/" + part + ".txt";  // 456 bytes
  const std::string tooLongComponent(300, 'c');
  OpenArchive(ZipWriter().Add(longName, "long").Add("d/" + tooLongComponent, "refused"));
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].first.name, Utf8ToUtf16(part + "\\" + part + "\\" + part + ".txt"));
  EXPECT_TRUE(results[0].second);
  EXPECT_EQ(ReadAll(m_out + "/" + longName), "long");
  // A component the file system cannot hold fails that entry; its name stays
  // whole and nothing is written under a shortened name.
  EXPECT_EQ(results[1].first.name, Utf8ToUtf16("d\\" + tooLongComponent));
  EXPECT_FALSE(results[1].second);
  for (const auto& path : ListTree(m_out)) {
    EXPECT_TRUE(path.rfind("d/", 0) != 0) << path;
  }
}

TEST_F(UnzipperTest, UnsafePathsStayInsideTheFolder) {
  const std::string absolute = "/arcwise-zip-slip-" + std::to_string(getpid()) + ".txt";
  OpenArchive(ZipWriter()
                  .Add("../../evil1.txt", "1")
                  .Add("..\\..\\evil2.txt", "2")
                  .Add(absolute, "3")
                  .Add("C:\\evil4.txt", "4")
                  .Add("C:evil5.txt", "5")
                  .Add("a/../../evil6.txt", "6")
                  .Add("../", "")
                  .Add("..", "7"));
  const std::set<std::string> before = ListTree(TestRoot());
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 8u);
  EXPECT_EQ(results[0].first.name, u"..\\..\\evil1.txt");
  EXPECT_EQ(results[1].first.name, u"..\\..\\evil2.txt");
  EXPECT_EQ(results[5].first.name, u"a\\..\\..\\evil6.txt");
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(results[i].second) << i;
  EXPECT_TRUE(results[6].second);   // a folder entry: nothing to write
  EXPECT_FALSE(results[7].second);  // nothing safe remains of ".."
  EXPECT_EQ(ReadAll(m_out + "/evil1.txt"), "1");
  EXPECT_EQ(ReadAll(m_out + "/evil2.txt"), "2");
  EXPECT_EQ(ReadAll(m_out + absolute), "3");
  EXPECT_EQ(ReadAll(m_out + "/evil4.txt"), "4");
  EXPECT_EQ(ReadAll(m_out + "/evil5.txt"), "5");
  EXPECT_EQ(ReadAll(m_out + "/a/evil6.txt"), "6");
  EXPECT_FALSE(fs::exists(absolute));
  // Outside the extraction folder nothing appeared.
  const std::string outRelative = fs::relative(m_out, TestRoot()).string();
  for (const std::string& path : ListTree(TestRoot())) {
    if (path.rfind(outRelative, 0) == 0) continue;
    EXPECT_TRUE(before.count(path)) << "written outside: " << path;
  }
}

TEST_F(UnzipperTest, SymbolicLinksBecomeFilesAndNothingPassesThroughThem) {
  const std::string outside = m_folder + "/outside";
  fs::create_directories(outside);
  OpenArchive(ZipWriter()
                  .AddSymlink("link", outside)
                  .Add("link/escaped.txt", "must not leave")
                  .AddSymlink("up", "..")
                  .Add("up/escaped2.txt", "must not leave either"));
  const auto results = ExtractAll(0);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_TRUE(results[0].first.IsSymbolicLink());
  EXPECT_TRUE(results[0].second);
  EXPECT_FALSE(results[1].second);
  EXPECT_TRUE(results[2].second);
  EXPECT_FALSE(results[3].second);
  EXPECT_FALSE(fs::is_symlink(m_out + "/link"));
  EXPECT_EQ(ReadAll(m_out + "/link"), outside);
  EXPECT_EQ(ReadAll(m_out + "/up"), "..");
  EXPECT_TRUE(ListTree(outside).empty());
  EXPECT_FALSE(fs::exists(m_folder + "/escaped2.txt"));
}

TEST_F(UnzipperTest, EmptyNameIsNotAFolderAndCannotBeWritten) {
  OpenArchive(ZipWriter().Add("", "nameless"));
  EntryInfo info;
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_FALSE(info.isFolder);
  EXPECT_TRUE(info.extractPath.empty());
  EXPECT_FALSE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 1));
  EXPECT_TRUE(ListTree(m_out).empty());
}

TEST_F(UnzipperTest, FlatPathsNumberEachFileNameAndRememberEntries) {
  OpenArchive(ZipWriter()
                  .Add("x/a.txt", "xa")
                  .Add("y/a.txt", "ya")
                  .Add("z/b.txt", "zb")
                  .Add("deep/er/A.txt", "upper")
                  .Add("w/", ""));
  EntryInfo info;
  // Describing the first entry several times gives one answer and one number.
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.extractPath, u"0\\a.txt");
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.extractPath, u"0\\a.txt");
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 1));
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.name, u"y\\a.txt");
  EXPECT_EQ(info.extractPath, u"1\\a.txt");
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 1));
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), 1));
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.extractPath, u"0\\b.txt");
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.extractPath, u"0\\A.txt");  // names compare exactly
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_TRUE(info.isFolder);
  EXPECT_EQ(info.extractPath, u"w");  // folders are never flattened
  EXPECT_EQ(ReadAll(m_out + "/0/a.txt"), "xa");
  EXPECT_EQ(ReadAll(m_out + "/1/a.txt"), "ya");
  EXPECT_EQ(ReadAll(m_out + "/0/b.txt"), "zb");

  // Numbering starts again with the next archive.
  ASSERT_TRUE(m_unzipper.Open(WidePath(m_archive).c_str()));
  ASSERT_TRUE(m_unzipper.MoveToFirstEntry());
  ASSERT_TRUE(m_unzipper.MoveToNextEntry());
  ASSERT_TRUE(m_unzipper.GetCurrentEntryInfo(info, 1));
  EXPECT_EQ(info.extractPath, u"0\\a.txt");
}

TEST_F(UnzipperTest, FlatPathOfAnUnsafeNameUsesItsSafeFileName) {
  OpenArchive(ZipWriter().Add("../../a.txt", "up").Add("sub/..", "dots"));
  const auto results = ExtractAll(1);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].first.extractPath, u"0\\a.txt");
  EXPECT_TRUE(results[0].second);
  EXPECT_EQ(results[1].first.extractPath, u"0\\sub");
  EXPECT_TRUE(results[1].second);
  EXPECT_EQ(ReadAll(m_out + "/0/a.txt"), "up");
}

// A central record whose extra field runs far past the end of a small file:
// minizip reads such a field byte by byte and goes on after each failed
// read, so every read past the end must be answered without the system, or a
// few hundred bytes cost tens of thousands of reads each time the record is
// looked at.
TEST_F(UnzipperTest, HeaderFieldsPastTheEndCostNoReadEach) {
  struct Case {
    const char* what;
    size_t record;  // which central record claims the long fields
    uint16_t extraLength;
    uint16_t commentLength;
  };
  const Case cases[] = {
      {"first record, extra field", 0, 0xFFFF, 0},
      {"last record, extra field and comment", 2, 0xFF00, 0xFFFF},
  };
  for (const Case& c : cases) {
    std::string bytes = ZipWriter().Add("a.txt", "alpha").Add("b.txt", "beta").Add("c.txt", "gamma").Bytes();
    size_t at = 0;
    for (size_t i = 0; i <= c.record; ++i) at = bytes.find("PK\x01\x02", i == 0 ? 0 : at + 4);
    ASSERT_NE(at, std::string::npos) << c.what;
    bytes[at + 30] = static_cast<char>(c.extraLength & 0xFF);
    bytes[at + 31] = static_cast<char>(c.extraLength >> 8);
    bytes[at + 32] = static_cast<char>(c.commentLength & 0xFF);
    bytes[at + 33] = static_cast<char>(c.commentLength >> 8);
    WriteAll(m_archive, bytes);

    g_fileReads = 0;
    std::vector<WString> names;
    if (m_unzipper.Open(WidePath(m_archive).c_str()) && m_unzipper.MoveToFirstEntry()) {
      do {
        EntryInfo info;
        if (!m_unzipper.GetCurrentEntryInfo(info, 0)) break;
        names.push_back(info.name);
        m_unzipper.ExtractCurrentEntry(WidePath(m_out).c_str(), info);
      } while (m_unzipper.MoveToNextEntry());
    }
    m_unzipper.Close();
    EXPECT_GE(names.size(), c.record) << c.what;  // the records before the damaged one
    EXPECT_LE(g_fileReads.load(), 16) << c.what;
  }
}

}  // namespace
