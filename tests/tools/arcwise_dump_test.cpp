// arcwise-dump run as a program, the way a user runs it: each test gives the
// tool a registry database that does not exist yet (so the first-run
// registration of the bundled modules happens inside the test) and a
// private TMPDIR. The archives are written by the tests: text files in
// folders, a compound document with summary properties, a nested zip.
// Shown here: each output format (the listing, plain text, JSON Lines whose
// records parse and hold the expected chunks), the same chunks through the
// stream, standard-input and class-id routes, the host reading the OLE
// properties a filter asks for, one error line per failing
// file with a non-zero exit while the other files still run, the usage
// exit code, and that first-run registration happens once and is left
// alone afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include <propidl.h>
#include <shlwapi.h>
#include <windows.h>

#include "filter/modules/fake_filter.h"
#include "support/compound_writer.h"
#include "support/document_writer.h"
#include "support/files.h"
#include "support/registry_damage.h"
#include "support/registry_util.h"
#include "support/run_process.h"
#include "support/scoped_env.h"
#include "support/test_env.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;

// ---- Reading the records ----------------------------------------------------------
// Records are read with nlohmann-json; members in the order the tool wrote
// them, which the format promises.
using Json = nlohmann::ordered_json;

// The member `key` of an object, or null when there is none.
const Json& At(const Json& value, const char* key) {
  static const Json missing;
  return value.is_object() && value.contains(key) ? value[key] : missing;
}

std::string Text(const Json& value) { return value.is_string() ? value.get<std::string>() : std::string("<not text>"); }
double Number(const Json& value) { return value.is_number() ? value.get<double>() : -1; }

// ---- Running the tool --------------------------------------------------------
using RunResult = arcwise_test::ProcessResult;
using arcwise_test::Lines;
using arcwise_test::ReadAll;
using arcwise_test::WriteAll;

const char kFirstRunPrefix[] = "arcwise-dump: first run: ";

// Standard-error lines other than the first-run notice.
std::vector<std::string> ErrorLines(const std::string& err) {
  std::vector<std::string> lines;
  for (const std::string& line : Lines(err)) {
    if (line.rfind(kFirstRunPrefix, 0) != 0) lines.push_back(line);
  }
  return lines;
}

class ArcwiseDumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = arcwise_test::MakeTestFolder(std::string("dump_") + info->name());
    m_registry = m_folder + "/registry.db";
    m_tmp = m_folder + "/tmp";
    fs::create_directories(m_tmp);
    m_files = m_folder + "/files";
    fs::create_directories(m_files);
  }

  RunResult Run(const std::vector<std::string>& args, const std::string& stdinFile = "",
                const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env = {"ARCWISE_REGISTRY=" + m_registry, "TMPDIR=" + m_tmp};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return arcwise_test::RunProcess(ARCWISE_DUMP_PATH, args, env, stdinFile);
  }

  std::string File(const std::string& name) { return m_files + "/" + name; }

  // docs/readme.txt, docs/notes/plan.md, report.doc (summary properties),
  // nested/inner.zip (inner/secret.txt).
  std::string WriteSampleArchive(const std::string& name) {
    std::string doc = m_folder + "/report.doc";
    arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation);
    summary.Lpstr(PIDSI_TITLE, "Quarterly report").Lpstr(PIDSI_AUTHOR, "Ada Lovelace");
    EXPECT_TRUE(arcwise_test::WriteSummaryInformationFile(doc, summary));
    arcwise_test::ZipWriter inner;
    inner.Add("inner/secret.txt", "the word is swordfish");
    arcwise_test::ZipWriter outer;
    outer.Add("docs/readme.txt", "hello from the readme")
        .Add("docs/notes/plan.md", "plan: ship it")
        .Add("report.doc", ReadAll(doc))
        .Add("nested/inner.zip", inner.Bytes());
    std::string path = File(name);
    WriteAll(path, outer.Bytes());
    return path;
  }

  std::vector<Json> ParseJsonLines(const std::string& out) {
    std::vector<Json> records;
    for (const std::string& line : Lines(out)) {
      Json record = Json::parse(line, nullptr, false);
      EXPECT_FALSE(record.is_discarded()) << "not JSON: " << line;
      EXPECT_TRUE(record.is_object()) << line;
      records.push_back(std::move(record));
    }
    return records;
  }

  std::string m_folder, m_registry, m_tmp, m_files;
};

// The test reads the tool's registry through its own platform library,
// pointed at the tool's database for the one read.
// Default value of an HKCR key in the registry at `database`, or "<missing>".
std::string ClassesDefault(const std::string& database, const std::string& path) {
  arcwise_test::ScopedEnv tools("ARCWISE_REGISTRY", database);
  return Utf16ToUtf8(arcwise_test::StringOrMissing(HKEY_CLASSES_ROOT, Utf8ToUtf16(path)));
}

DWORD SubkeyCount(const std::string& database, const std::string& path) {
  arcwise_test::ScopedEnv tools("ARCWISE_REGISTRY", database);
  return arcwise_test::SubKeyCount(HKEY_CLASSES_ROOT, Utf8ToUtf16(path));
}

const char kArcwiseServerKey[] = "CLSID\\{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}\\InprocServer32";

// ---- First run -------------------------------------------------------------------

TEST_F(ArcwiseDumpTest, FirstRunRegistersTheBundledModulesOnceAndThenLeavesTheRegistryAlone) {
  WriteAll(File("note.txt"), "first run text");
  ASSERT_FALSE(fs::exists(m_registry));

  RunResult first = Run({File("note.txt")});
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out.find("first run text") != std::string::npos, true) << first.out;
  std::vector<std::string> notices;
  for (const std::string& line : Lines(first.err)) {
    if (line.rfind(kFirstRunPrefix, 0) == 0) notices.push_back(line);
  }
  ASSERT_EQ(notices.size(), 1u) << first.err;
  EXPECT_NE(notices[0].find(ARCWISE_MODULE_PATH), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find(ARCWISE_TEXT_FILTER_PATH), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find(ARCWISE_COMPOUND_FILTER_PATH), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find(m_registry), std::string::npos) << notices[0];

  EXPECT_EQ(ClassesDefault(m_registry, kArcwiseServerKey), ARCWISE_MODULE_PATH);
  EXPECT_EQ(ClassesDefault(m_registry, ".zip\\PersistentHandler"), "{08B1766D-8812-4FC9-B90A-BF012C51E66C}");
  EXPECT_NE(ClassesDefault(m_registry, ".txt\\PersistentHandler"), "<missing>");
  EXPECT_NE(ClassesDefault(m_registry, ".doc\\PersistentHandler"), "<missing>");
  DWORD classes = SubkeyCount(m_registry, "CLSID");
  EXPECT_GE(classes, 3u);

  // Set up: the second run says nothing and changes nothing.
  RunResult second = Run({File("note.txt")});
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(SubkeyCount(m_registry, "CLSID"), classes);
  EXPECT_EQ(ClassesDefault(m_registry, kArcwiseServerKey), ARCWISE_MODULE_PATH);
}

TEST_F(ArcwiseDumpTest, ARegistryWithoutTheArchiveFilterIsSetUpAgainAndNoRegisterOptsOut) {
  WriteAll(File("note.txt"), "text");
  // --no-register on a fresh machine: nothing is registered, so no filter.
  RunResult bare = Run({"--no-register", File("note.txt")});
  EXPECT_EQ(bare.exitCode, 1);
  EXPECT_EQ(bare.err, "arcwise-dump: " + File("note.txt") + ": no filter is registered for \".txt\" files\n");

  // The database now exists but holds no archive filter: set up again.
  ASSERT_TRUE(fs::exists(m_registry));
  RunResult run = Run({File("note.txt")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(kFirstRunPrefix), std::string::npos) << run.err;
  EXPECT_EQ(ClassesDefault(m_registry, kArcwiseServerKey), ARCWISE_MODULE_PATH);
}

// Processes started at the same moment on a new registry: one of them sets it
// up, and none sees half of a registration or loses its working files to
// another one's sweep.
TEST_F(ArcwiseDumpTest, SimultaneousFirstRunsAllSucceed) {
  arcwise_test::ZipWriter writer;
  writer.Add("a.txt", "hello from a");
  const std::string archive = File("s.zip");
  WriteAll(archive, writer.Bytes());
  constexpr int kRounds = 20, kProcesses = 16;
  for (int round = 0; round < kRounds; ++round) {
    m_registry = m_folder + "/registry-" + std::to_string(round) + ".db";
    std::vector<RunResult> results(kProcesses);
    std::vector<std::thread> starters;
    for (RunResult& result : results) starters.emplace_back([&] { result = Run({archive}); });
    for (std::thread& starter : starters) starter.join();
    for (const RunResult& result : results) {
      SCOPED_TRACE("round " + std::to_string(round));
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.out.find("hello from a"), std::string::npos) << result.out;
    }
    if (HasFailure()) return;
  }
}

TEST_F(ArcwiseDumpTest, AReadOnlyRegistrySaysWhyNothingCouldBeRegistered) {
  WriteAll(File("note.txt"), "text");
  RunResult run = Run({File("note.txt")}, "", {"ARCWISE_REGISTRY_READONLY=1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("arcwise-dump: first run: the registry " + m_registry + " could not be written: "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("arcwise-dump: " + File("note.txt") + ": no filter is registered for \".txt\" files"),
            std::string::npos)
      << run.err;
}

// ---- Output formats ----------------------------------------------------------------

TEST_F(ArcwiseDumpTest, JsonLinesParseAndHoldEveryChunkOfTheArchive) {
  std::string archive = WriteSampleArchive("sample.zip");
  RunResult run = Run({"--json", archive});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;
  std::vector<Json> records = ParseJsonLines(run.out);
  ASSERT_FALSE(records.empty());

  std::vector<std::string> texts, names;
  std::map<std::string, std::string> values;
  for (size_t i = 0; i < records.size(); ++i) {
    const Json& r = records[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(Text(At(r, "file")), archive);
    EXPECT_EQ(Number(At(r, "id")), double(i + 1));  // ids run from 1 without gaps
    EXPECT_EQ(Number(At(r, "idChunkSource")), Number(At(r, "id")));
    EXPECT_TRUE(At(r, "locale").is_number_unsigned());
    ASSERT_TRUE(At(r, "attribute").contains("fmtid"));
    if (Text(At(r, "flags")) == "TEXT") {
      ASSERT_TRUE(At(r, "text").is_string());
      EXPECT_FALSE(r.contains("value"));
      EXPECT_EQ(Text(At(At(r, "attribute"), "fmtid")), "{B725F130-47EF-101A-A5F1-02608C9EEBAC}");
      EXPECT_EQ(Number(At(At(r, "attribute"), "propid")), 19);
      EXPECT_EQ(Text(At(At(r, "attribute"), "label")), "Storage.Contents");
      texts.push_back(Text(At(r, "text")));
    } else {
      ASSERT_EQ(Text(At(r, "flags")), "VALUE");
      EXPECT_EQ(Text(At(At(r, "attribute"), "fmtid")), "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}");
      EXPECT_EQ(Text(At(At(r, "value"), "type")), "VT_LPSTR");
      values[Text(At(At(r, "attribute"), "label"))] = Text(At(At(r, "value"), "value"));
    }
  }
  // Contents of the text files (the nested archive's too), then the names.
  auto has = [&](const std::string& text) {
    for (const std::string& t : texts)
      if (t == text) return true;
    return false;
  };
  EXPECT_TRUE(has("hello from the readme"));
  EXPECT_TRUE(has("plan: ship it"));
  EXPECT_TRUE(has("the word is swordfish"));
  for (const char* name : {"docs\\readme.txt", "docs\\notes\\plan.md", "report.doc", "nested\\inner.zip"})
    EXPECT_TRUE(has(name)) << name;
  EXPECT_EQ(values["Summary.Title"], "Quarterly report");
  EXPECT_EQ(values["Summary.Author"], "Ada Lovelace");
  EXPECT_EQ(Text(At(records.front(), "breakType")), "EOP");

  // Nothing of the extraction is left in the temporary folder.
  for (const auto& entry : fs::directory_iterator(m_tmp))
    EXPECT_FALSE(entry.is_directory()) << entry.path();
}

TEST_F(ArcwiseDumpTest, JsonEscapesControlCharactersQuotesAndKeepsUnicode) {
  const std::string text = "tab\there \"quoted\" back\\slash\x01\x7f caf\xC3\xA9 \xF0\x9F\x98\x80";
  WriteAll(File("odd.txt"), text);
  RunResult run = Run({"--json", File("odd.txt")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<Json> records = ParseJsonLines(run.out);
  ASSERT_EQ(records.size(), 1u) << run.out;
  EXPECT_EQ(Text(At(records[0], "text")), text);
  // Control characters (DEL too) escaped, everything else as UTF-8.
  for (const char* written : {"\\t", "\\\"quoted\\\"", "\\\\", "\\u0001\\u007f", "caf\xC3\xA9 \xF0\x9F\x98\x80"})
    EXPECT_NE(run.out.find(written), std::string::npos) << written << " in " << run.out;
  // The members in the order the README gives.
  std::vector<std::string> keys;
  for (const auto& member : records[0].items()) keys.push_back(member.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"file", "id", "breakType", "flags", "locale", "attribute",
                                             "idChunkSource", "cwcStartSource", "cwcLenSource", "text"}));
}

// GetText pieces that split surrogate pairs, from the scriptable fake
// filter: it hands out as much as the tool's buffer of 65,536 units takes,
// so a pair after 65,535 units is cut in two. A pair split between two
// pieces comes out whole; a lone half is U+FFFD at the end of a chunk, but
// pairs with the first unit of a NO_BREAK chunk the plain text joins on.
TEST_F(ArcwiseDumpTest, SurrogatePairsSplitBetweenPiecesComeOutWhole) {
  {
    arcwise_test::ScopedEnv tools("ARCWISE_REGISTRY", m_registry);
    ASSERT_EQ(arcwise_fake::RegisterFakeClass(CLSID_ArcwiseFakeFilter, Utf8ToUtf16(ARCWISE_FAKE_FILTER_MODULE)),
              ERROR_SUCCESS);
  }
  const std::string run(65535, 'x');
  WriteAll(File("split.fake"), "chunk text " + run + "\\uD83D\\uDE00 tail\\uD800\nchunk text \\uDC00lone\n");
  const std::string face = "\xF0\x9F\x98\x80", replacement = "\xEF\xBF\xBD", joinedPair = "\xF0\x90\x80\x80";
  const std::string clsid = Utf16ToUtf8(GuidToString(CLSID_ArcwiseFakeFilter));

  RunResult json = Run({"--no-register", "--json", "--clsid", clsid, File("split.fake")});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  std::vector<Json> records = ParseJsonLines(json.out);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(Text(At(records[0], "text")) == run + face + " tail" + replacement) << "the first chunk's text differs";
  EXPECT_EQ(Text(At(records[1], "text")), replacement + "lone");

  RunResult text = Run({"--no-register", "--text", "--clsid", clsid, File("split.fake")});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_TRUE(text.out == run + face + " tail" + joinedPair + "lone\n") << "the plain text differs";
}

TEST_F(ArcwiseDumpTest, TextOutputIsOnlyTheTextWithBlankLinesBetweenChunks) {
  arcwise_test::ZipWriter writer;
  writer.Add("a.txt", "alpha one").Add("b/c.txt", "beta two\n");
  WriteAll(File("two.zip"), writer.Bytes());
  RunResult run = Run({"--text", File("two.zip")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "alpha one\n\nbeta two\n\na.txt\n\nb\\c.txt\n");
}

TEST_F(ArcwiseDumpTest, TextOutputJoinsTheContinuationChunksOfALongTextExactly) {
  // Far longer than one chunk of the text filter, which cuts anywhere (also
  // inside a word) and marks the following pieces CHUNK_NO_BREAK.
  std::string big;
  for (int i = 0; big.size() < 300 * 1024; ++i) big += "word" + std::to_string(i) + (i % 13 ? " " : "\n");
  big += "\n";
  WriteAll(File("big.txt"), big);
  WriteAll(File("small.txt"), "after\n");
  RunResult loose = Run({"--text", File("big.txt"), File("small.txt")});
  ASSERT_EQ(loose.exitCode, 0) << loose.err;
  EXPECT_TRUE(loose.out == big + "\nafter\n") << "output differs from the file's text; sizes " << loose.out.size()
                                              << " and " << big.size();

  arcwise_test::ZipWriter writer;
  writer.Add("big.txt", big);
  WriteAll(File("big.zip"), writer.Bytes());
  RunResult archived = Run({"--text", File("big.zip")});
  ASSERT_EQ(archived.exitCode, 0) << archived.err;
  EXPECT_TRUE(archived.out == big + "\nbig.txt\n") << "sizes " << archived.out.size() << " and " << big.size();
}

TEST_F(ArcwiseDumpTest, TheListingHasAHeaderLinePerChunkThenItsTextOrValue) {
  std::string archive = WriteSampleArchive("sample.zip");
  RunResult run = Run({archive});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "=== " + archive);
  EXPECT_EQ(lines[1], "[1] EOP TEXT locale=0x0409 Storage.Contents");
  EXPECT_EQ(lines[2], "hello from the readme");
  EXPECT_EQ(lines[3], "");
  auto contains = [&](const std::string& line) {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  };
  EXPECT_TRUE(contains("= VT_LPSTR: Quarterly report")) << run.out;
  EXPECT_TRUE(contains("the word is swordfish")) << run.out;
  // Every chunk header is numbered in order.
  int expected = 1;
  for (const std::string& line : lines) {
    if (line.rfind("[", 0) == 0) {
      EXPECT_EQ(line.rfind("[" + std::to_string(expected) + "] ", 0), 0u) << line;
      ++expected;
    }
  }
  EXPECT_GT(expected, 8);
}

TEST_F(ArcwiseDumpTest, TheSampleArchiveOfTheQuickStartShowsEveryKindOfContent) {
  std::string sample = m_folder + "/sample.zip";
  std::string command = std::string("TMPDIR='") + m_tmp + "' bash '" ARCWISE_SAMPLE_SCRIPT "' '" ARCWISE_BUILD_DIR "' '" +
                        sample + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  RunResult run = Run({"--json", sample});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<Json> records = ParseJsonLines(run.out);
  std::string texts;
  std::map<std::string, std::string> values;
  for (const Json& r : records) {
    if (r.contains("text")) texts += Text(At(r, "text")) + "\n";
    if (r.contains("value")) values[Text(At(At(r, "attribute"), "label"))] = Text(At(At(r, "value"), "value"));
  }
  EXPECT_NE(texts.find("Welcome to the Arcwise sample archive."), std::string::npos) << texts;  // docs/readme.txt
  EXPECT_NE(texts.find("# Planning meeting"), std::string::npos);                                // a folder deeper
  EXPECT_NE(texts.find("swordfish"), std::string::npos);                                         // the nested zip
  EXPECT_NE(texts.find("nested\\inner.zip"), std::string::npos);                                // entry names
  EXPECT_EQ(values["Summary.Title"], "Quarterly report Q3");
  EXPECT_EQ(values["Summary.Author"], "Ada Lovelace");
  // The script cleans up after itself.
  for (const auto& entry : fs::directory_iterator(m_tmp)) EXPECT_FALSE(entry.is_directory()) << entry.path();
}

TEST_F(ArcwiseDumpTest, AFilterAskingForOlePropertiesGetsThemReadByTheHost) {
  // The compound-document filter emits nothing itself and asks its caller
  // for the summary information, so these chunks come from the tool.
  arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation);
  summary.Lpstr(PIDSI_TITLE, "Budget").I4(PIDSI_PAGECOUNT, 12).Lpstr(PIDSI_AUTHOR, "Grace Hopper");
  ASSERT_TRUE(arcwise_test::WriteSummaryInformationFile(File("budget.doc"), summary));
  RunResult run = Run({"--json", File("budget.doc")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<Json> records = ParseJsonLines(run.out);
  ASSERT_EQ(records.size(), 3u) << run.out;
  std::map<std::string, const Json*> byLabel;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(Number(At(records[i], "id")), double(i + 1));
    EXPECT_EQ(Text(At(records[i], "flags")), "VALUE");
    EXPECT_FALSE(records[i].contains("text"));
    byLabel[Text(At(At(records[i], "attribute"), "label"))] = &records[i];
  }
  ASSERT_TRUE(byLabel.count("Summary.Title") && byLabel.count("Summary.Author") && byLabel.count("Summary.PageCount"))
      << run.out;
  EXPECT_EQ(Text(At(At((*byLabel["Summary.Title"]), "value"), "value")), "Budget");
  EXPECT_EQ(Text(At(At((*byLabel["Summary.Author"]), "value"), "value")), "Grace Hopper");
  EXPECT_EQ(Text(At(At((*byLabel["Summary.PageCount"]), "value"), "type")), "VT_I4");
  EXPECT_EQ(Number(At(At((*byLabel["Summary.PageCount"]), "value"), "value")), 12);
  EXPECT_EQ(Text(At(records[0], "breakType")), "EOP");
}

TEST_F(ArcwiseDumpTest, DocumentsOfEveryStockFormatAndBoundContainersGiveTheirTextInWalkOrder) {
  // The ZIP-based container types are bound to the archive filter by the
  // example registry file, imported as the README says.
  const RunResult import = arcwise_test::RunProcess(ARCWISE_REG_PATH, {"import", ARCWISE_CONTAINERS_REG},
                                                    {"ARCWISE_REGISTRY=" + m_registry});
  ASSERT_EQ(import.exitCode, 0) << import.err;

  arcwise_test::ZipWriter jar;
  jar.Add("META-INF/MANIFEST.MF", "Main-Class: org.example.JarMain").Add("docs/help.html", "<p>help from the jar</p>");
  arcwise_test::ZipWriter epub;
  epub.Add("mimetype", "application/epub+zip")
      .Add("OEBPS/chapter1.xhtml",
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
           "<p>It was a dark and stormy night</p></body></html>");
  arcwise_test::ZipWriter outer;
  outer.Add("page.html", "<html><head><title>Page</title><script>hidden()</script></head><body>html body words</body></html>")
      .Add("report.pdf", arcwise_test::MinimalPdf({"pdf page text"}, "/Title (Pdf title)"))
      .Add("broken.pdf", "%PDF-1.7 not really")
      .Add("memo.docx", arcwise_test::Docx(arcwise_test::WordParagraph("docx paragraph"), "Memo title", "Ann"))
      .Add("book.xlsx", arcwise_test::Xlsx({"xlsx shared string"}))
      .Add("letter.odt", arcwise_test::Odt("<text:p>odt paragraph</text:p>"))
      .Add("lib/library.jar", jar.Bytes())
      .Add("novel.epub", epub.Bytes());
  WriteAll(File("documents.zip"), outer.Bytes());

  RunResult run = Run({"--json", File("documents.zip")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ErrorLines(run.err).empty()) << run.err;
  std::vector<std::string> texts;
  std::map<std::string, std::string> values;
  for (const Json& r : ParseJsonLines(run.out)) {
    if (r.contains("text")) texts.push_back(Text(At(r, "text")));
    if (r.contains("value")) values[Text(At(At(r, "attribute"), "label"))] += Text(At(At(r, "value"), "value")) + ";";
  }
  // Every document's text, in the order of the entries; the damaged PDF
  // gives nothing and the walk goes on past it.
  const std::vector<std::string> expected = {"html body words",     "pdf page text",  "docx paragraph",
                                             "xlsx shared string",  "odt paragraph",  "Main-Class: org.example.JarMain",
                                             "help from the jar",   "It was a dark and stormy night",
                                             "broken.pdf"};
  size_t at = 0;
  for (const std::string& want : expected) {
    const auto found = std::find_if(texts.begin() + std::ptrdiff_t(at), texts.end(),
                                    [&](const std::string& t) { return t.find(want) != std::string::npos; });
    ASSERT_NE(found, texts.end()) << "\"" << want << "\" missing or out of order in:\n" << run.out;
    at = size_t(found - texts.begin()) + 1;
  }
  for (const std::string& text : texts) EXPECT_EQ(text.find("hidden()"), std::string::npos) << text;
  EXPECT_EQ(values["Summary.Title"], "Page;Pdf title;Memo title;");
  EXPECT_EQ(values["Summary.Author"], "Ann;");
}

// ---- Loading routes ----------------------------------------------------------------

TEST_F(ArcwiseDumpTest, StreamStdinAndClassIdRoutesGiveTheSameChunks) {
  std::string archive = WriteSampleArchive("sample.zip");
  RunResult byPath = Run({"--text", archive});
  ASSERT_EQ(byPath.exitCode, 0) << byPath.err;
  ASSERT_NE(byPath.out.find("swordfish"), std::string::npos);

  RunResult byStream = Run({"--text", "--stream", archive});
  EXPECT_EQ(byStream.exitCode, 0) << byStream.err;
  EXPECT_EQ(byStream.out, byPath.out);

  RunResult byStdin = Run({"--text", "--stdin"}, archive);
  EXPECT_EQ(byStdin.exitCode, 0) << byStdin.err;
  EXPECT_EQ(byStdin.out, byPath.out);

  // A name the registry knows nothing of, with the class given directly.
  fs::copy_file(archive, File("archive.bin"));
  RunResult byClass = Run({"--text", "--clsid", "{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}", File("archive.bin")});
  EXPECT_EQ(byClass.exitCode, 0) << byClass.err;
  EXPECT_EQ(byClass.out, byPath.out);
}

// ---- Errors ------------------------------------------------------------------------

TEST_F(ArcwiseDumpTest, EachFailingFileGetsOneLineNamingItsCauseAndTheOthersStillRun) {
  WriteAll(File("good.txt"), "still dumped");
  WriteAll(File("bad.zip"), "this is not a zip archive at all");
  WriteAll(File("data.xyz"), "no filter for this");
  fs::create_directories(File("folder.txt"));
  RunResult run = Run({"--text", File("missing.txt"), File("data.xyz"), File("bad.zip"), File("folder.txt"),
                       File("good.txt")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "still dumped\n");
  std::vector<std::string> errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 4u) << run.err;
  EXPECT_EQ(errors[0], "arcwise-dump: " + File("missing.txt") + ": not found");
  EXPECT_EQ(errors[1], "arcwise-dump: " + File("data.xyz") + ": no filter is registered for \".xyz\" files");
  EXPECT_EQ(errors[2], "arcwise-dump: " + File("bad.zip") +
                           ": not a ZIP archive, or a damaged one: load failed with 0x80004005 (Unspecified error)");
  EXPECT_EQ(errors[3], "arcwise-dump: " + File("folder.txt") + ": is a folder, not a file");
}

TEST_F(ArcwiseDumpTest, AFilterClassThatIsNotRegisteredIsNamedWithItsCode) {
  WriteAll(File("note.txt"), "text");
  RunResult run = Run({"--clsid", "{00000000-1111-2222-3333-444444444444}", File("note.txt")});
  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> errors = ErrorLines(run.err);
  ASSERT_EQ(errors.size(), 1u) << run.err;
  EXPECT_EQ(errors[0], "arcwise-dump: " + File("note.txt") +
                           ": the filter class {00000000-1111-2222-3333-444444444444} is not registered "
                           "(0x80040154 (Class not registered))");
}

TEST_F(ArcwiseDumpTest, AFullDiskOrAMissingWorkingFolderIsNamedNotTakenForADamagedArchive) {
  const std::string archive = WriteSampleArchive("sample.zip");
  std::vector<std::string> fullDisk = arcwise_test::PreloadEnvironment(ARCWISE_DISK_FULL_PRELOAD);
  fullDisk.push_back("ARCWISE_TEST_DISK_FULL_AFTER=0");
  const std::string noSpace = "no space left in " + m_tmp + "/: load failed with 0x80070070 (There is not enough "
                              "space on the disk)";
  const std::string notFound = "the working folder " + m_tmp + "/ is not found: load failed with 0x80070003 (The "
                               "system cannot find the path specified)";
  const struct {
    std::vector<std::string> args;
    std::string stdinFile;
    bool folderGone;
    std::string cause;
  } cases[] = {
      {{archive}, "", false, noSpace},
      {{"--stream", archive}, "", false, noSpace},
      {{"--stdin"}, archive, false, noSpace},
      {{archive}, "", true, notFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.folderGone ? " without a working folder" : " on a full disk"));
    if (c.folderGone) fs::remove_all(m_tmp);
    RunResult run = Run(c.args, c.stdinFile, c.folderGone ? std::vector<std::string>() : fullDisk);
    EXPECT_EQ(run.exitCode, 1);
    const std::string name = c.stdinFile.empty() ? archive : "(stdin)";
    EXPECT_EQ(ErrorLines(run.err), std::vector<std::string>{"arcwise-dump: " + name + ": " + c.cause}) << run.err;
    if (!c.folderGone) {
      EXPECT_TRUE(fs::is_empty(m_tmp));
    }
  }
}

TEST_F(ArcwiseDumpTest, ADamagedOrHeldRegistryIsNamedAsSuch) {
  WriteAll(File("note.txt"), "text");
  arcwise_test::WriteGarbageRegistry(m_registry);
  RunResult damaged = Run({File("note.txt")});
  const std::string cause = "the registry " + m_registry + " is damaged: file is not a database";
  EXPECT_EQ(damaged.err, std::string(kFirstRunPrefix) + cause + "\narcwise-dump: " + File("note.txt") + ": " +
                             cause + "\n");

  // A database without registrations, so the next run registers, and meets
  // the lock.
  fs::remove(m_registry);
  ASSERT_EQ(Run({"--no-register", File("note.txt")}).exitCode, 1);
  arcwise_test::RegistryWriteLock lock(m_registry);
  ASSERT_TRUE(lock.Held());
  RunResult held = Run({File("note.txt")}, "", {"ARCWISE_REGISTRY_BUSY_TIMEOUT_MS=100"});
  EXPECT_EQ(Lines(held.err).front(),
            std::string(kFirstRunPrefix) + "the registry " + m_registry + " is busy (locked by another process)");
}

TEST_F(ArcwiseDumpTest, BadCommandLinesExitWithTwoAndTouchNothing) {
  const struct {
    std::vector<std::string> args;
    std::string error;  // the first line on standard error
  } cases[] = {
      {{}, "no FILE given"},
      {{"--bogus", "a.txt"}, "unknown option --bogus"},
      {{"--bogus=1", "a.txt"}, "unknown option --bogus"},
      {{"--tex", "a.txt"}, "unknown option --tex"},  // no abbreviations
      {{"--s", "a.txt"}, "unknown option --s"},      // nor ambiguous ones
      {{"-x", "a.txt"}, "unknown option -x"},
      {{"--text=yes", "a.txt"}, "--text takes no value"},
      {{"--text", "--json", "a.txt"}, "--text and --json cannot be combined"},
      {{"a.txt", "--clsid"}, "--clsid needs a value"},
      {{"--clsid", "not-a-guid", "a.txt"},
       "--clsid needs a class id such as {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}, not \"not-a-guid\""},
      {{"--init-flags=NOT_A_FLAG", "a.txt"},
       "--init-flags needs a number or IFILTER_INIT names joined by '|', not \"NOT_A_FLAG\""},
      {{"--attribute", "{B725F130-47EF-101A-A5F1-02608C9EEBAC}", "a.txt"},
       "--attribute needs {FMTID},PROPID (a number or a property name), not "
       "\"{B725F130-47EF-101A-A5F1-02608C9EEBAC}\""},
      {{"--stdin", "a.txt"}, "--stdin reads one archive from standard input and takes no FILE"},
      {{"--stdin", "--stream"}, "--stdin already loads through a stream; leave out --stream"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    RunResult run = Run(c.args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "arcwise-dump: " + c.error);
    EXPECT_NE(run.err.find("Usage: arcwise-dump"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(m_registry));
  for (const char* help : {"--help", "-h"}) {
    RunResult run = Run({"a.txt", help});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: arcwise-dump", 0), 0u);
  }
}

TEST_F(ArcwiseDumpTest, InitFlagsAndAttributesAreAccepted) {
  WriteAll(File("note.txt"), "flagged text");
  RunResult run = Run({"--text", "--init-flags", "CANON_PARAGRAPHS|INDEXING_ONLY", "--attribute",
                       "{B725F130-47EF-101A-A5F1-02608C9EEBAC},19", File("note.txt")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "flagged text\n");

  // Options between and after the files, values after '='.
  WriteAll(File("other.txt"), "other text");
  run = Run({File("note.txt"), "--init-flags=0x3", File("other.txt"), "--text",
             "--attribute={B725F130-47EF-101A-A5F1-02608C9EEBAC},19"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "flagged text\n\nother text\n");
}

}  // namespace
