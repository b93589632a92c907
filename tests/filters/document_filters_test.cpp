// The stock document filters (HTML, PDF, Office Open XML and OpenDocument),
// each registered through its own DllRegisterServer and obtained as a host
// obtains it, with LoadIFilter on files the tests write: the text in reading
// order, the summary properties, damaged and password-protected files, and
// the bounds each filter keeps.
#include <zlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "DocumentContent.h"
#include "filters/stock_filter_test_util.h"
#include "support/document_writer.h"

namespace stock_filter_test {
namespace {

namespace fs = std::filesystem;
using arcwise_test::Docx;
using arcwise_test::MinimalPdf;
using arcwise_test::Odt;
using arcwise_test::Package;
using arcwise_test::WordParagraph;
using arcwise_test::Xlsx;

const char* const kModules[] = {ARCWISE_HTML_FILTER_MODULE, ARCWISE_PDF_FILTER_MODULE, ARCWISE_OFFICE_FILTER_MODULE};

using Properties = std::vector<std::pair<PROPID, std::string>>;

// What a host reads from one filter: the text of its contents chunks (a
// chunk that opens a paragraph begins on a new line), its values, and the
// chunk count.
struct Filtered {
  HRESULT init = E_FAIL;
  std::string text;
  Properties properties;
  size_t textChunks = 0;
  bool laterChunksOpenParagraphs = true;
};

Filtered ReadFilter(IFilter* filter) {
  Filtered result;
  ULONG flags = 99;
  result.init = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS, 0, nullptr, &flags);
  if (FAILED(result.init)) return result;
  EXPECT_EQ(0u, flags);
  WString text;
  for (;;) {
    STAT_CHUNK stat = {};
    HRESULT hr = filter->GetChunk(&stat);
    if (hr == FILTER_E_END_OF_CHUNKS) break;
    EXPECT_EQ(S_OK, hr);
    if (hr != S_OK) break;
    EXPECT_EQ(FMTID_SummaryInformation == stat.attribute.guidPropSet, stat.flags == CHUNK_VALUE);
    if (stat.flags == CHUNK_VALUE) {
      PROPVARIANT* value = nullptr;
      EXPECT_EQ(S_OK, filter->GetValue(&value));
      if (!value) continue;
      EXPECT_EQ(VT_LPWSTR, value->vt);
      result.properties.push_back({stat.attribute.psProperty.propid, Utf16ToUtf8(value->pwszVal)});
      PropVariantClear(value);
      CoTaskMemFree(value);
      PROPVARIANT* again = nullptr;
      EXPECT_EQ(FILTER_E_NO_MORE_VALUES, filter->GetValue(&again));
      continue;
    }
    EXPECT_EQ(FMTID_Storage, stat.attribute.guidPropSet);
    if (result.textChunks > 0 && stat.breakType != CHUNK_EOP) result.laterChunksOpenParagraphs = false;
    if (result.textChunks++ > 0 && stat.breakType == CHUNK_EOP) text += u"\n";
    WCHAR buffer[1000];
    for (;;) {
      ULONG cwc = 1000;
      hr = filter->GetText(&cwc, buffer);
      if (hr != S_OK && hr != FILTER_S_LAST_TEXT) break;
      text.append(buffer, cwc);
      if (hr == FILTER_S_LAST_TEXT) break;
    }
  }
  result.text = Utf16ToUtf8(text);
  return result;
}

// 2 MiB of one paragraph repeated, deflated: far more than 100 times
// smaller than it claims to be, as a bomb is.
std::string DeflatedBombPart() {
  std::string xml = std::string("<w:document ") + arcwise_test::kWordNamespace + "><w:body>";
  while (xml.size() < 2 * 1024 * 1024) xml += WordParagraph("bomb");
  xml += "</w:body></w:document>";
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(xml.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(xml.data());
  z.avail_in = uInt(xml.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  arcwise_test::ZipEntrySpec part;
  part.name = "word/document.xml";
  part.data = out;
  part.method = 8;
  part.crc = arcwise_test::Crc32(xml);
  part.uncompressedSize = uint32_t(xml.size());
  arcwise_test::ZipWriter zip;
  zip.Add("[Content_Types].xml", "<Types/>").Add(part).Add("docProps/core.xml",
                                                          arcwise_test::CoreProperties("Still read", "Bo"));
  return zip.Bytes();
}

std::string Slide(const std::string& text) {
  return "<p:sld xmlns:p=\"p\" xmlns:a=\"a\"><p:cSld><p:spTree><p:sp><p:txBody><a:p><a:r><a:t>" + text +
         "</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

class DocumentFiltersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    for (const char* module : kModules) ASSERT_EQ(S_OK, CallExport(module, "DllRegisterServer")) << module;
    m_folder = arcwise_test::MakeTestFolder("documents");
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    for (const char* module : kModules) {
      EXPECT_FALSE(IsLoaded(module)) << module << " is still loaded after the test";
      EXPECT_EQ(S_OK, CallExport(module, "DllUnregisterServer")) << module;
    }
    CoUninitialize();
  }

  // The file written under `name`, then filtered through LoadIFilter.
  Filtered Filter(const std::string& name, const std::string& bytes, HRESULT* load = nullptr) {
    const std::string path = m_folder + "/" + name;
    arcwise_test::WriteAll(path, bytes);
    return FilterPath(path, load);
  }
  Filtered FilterPath(const std::string& path, HRESULT* load = nullptr) {
    ComPtr<IUnknown> object;
    const HRESULT hr = LoadIFilter(Utf8ToUtf16(path).c_str(), nullptr, reinterpret_cast<void**>(&object));
    if (load) *load = hr;
    ComPtr<IFilter> filter;
    if (object) object.As(&filter);
    if (!filter) {
      Filtered failed;
      failed.init = hr;
      return failed;
    }
    return ReadFilter(filter.Get());
  }

  std::string m_folder;
};

struct DocumentCase {
  const char* what;
  const char* name;
  std::string bytes;
  HRESULT init;
  std::string text;
  Properties properties;
};

TEST_F(DocumentFiltersTest, EachFormatGivesItsTextInReadingOrderAndItsProperties) {
  const std::string w = arcwise_test::kWordNamespace;
  const DocumentCase cases[] = {
      {"html: visible text only, entities decoded, blocks and cells apart", "page.html",
       "<html><head><title> Q3 \n report </title><meta name=\"Author\" content=\"Ann Lee\">"
       "<style>p { color: red }</style><script>var secret = 1;</script></head><body>"
       "<h1>Caf&eacute; &amp; bar</h1><p>One <b>bold</b>\n   word.</p><!-- not shown -->"
       "<table><tr><td>a</td><td>b</td></tr></table><pre>x  y\nz</pre><noscript>no</noscript></body></html>",
       S_OK, "Caf\xC3\xA9 & bar\nOne bold word.\na b\nx  y\nz", {{PIDSI_TITLE, "Q3 report"}, {PIDSI_AUTHOR, "Ann Lee"}}},
      {"html: the charset its meta element declares", "latin.htm",
       "<html><head><meta charset=\"windows-1252\"></head><body><p>caf\xE9 \x80</p></body></html>", S_OK,
       "caf\xC3\xA9 \xE2\x82\xAC", {}},
      {"xhtml: the encoding of its XML declaration", "chapter.xhtml",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
       "<title>Chapter</title></head><body><p>na\xEFve</p><br/><p>end</p></body></html>",
       S_OK, "na\xC3\xAFve\nend", {{PIDSI_TITLE, "Chapter"}}},
      {"html: not HTML at all still gives what text there is", "noise.html", std::string("\x01\x02 plain words", 14),
       S_OK, "plain words", {}},
      {"pdf: each page in order, the document information", "report.pdf",
       MinimalPdf({"Hello page one", "Second page"},
                  "/Title (Q3 plan) /Author (Pat Doe) /Subject (Budget) /Keywords (alpha beta)"),
       S_OK, "Hello page one\nSecond page",
       {{PIDSI_TITLE, "Q3 plan"}, {PIDSI_SUBJECT, "Budget"}, {PIDSI_AUTHOR, "Pat Doe"}, {PIDSI_KEYWORDS, "alpha beta"}}},
      {"pdf: damaged", "broken.pdf", "%PDF-1.4\n1 0 obj << /Type /Cat", FILTER_E_UNKNOWNFORMAT, "", {}},
      {"pdf: needs a password", "locked.pdf", MinimalPdf({"secret text"}, "/Title (Hidden)", true), FILTER_E_PASSWORD,
       "", {}},
      {"docx: runs, tabs, cells; no deleted text, field codes or tab stops", "memo.docx",
       Docx("<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr><w:r><w:t xml:space=\"preserve\">"
            "Hello </w:t></w:r><w:r><w:t>world</w:t><w:tab/><w:t>after tab</w:t></w:r></w:p>"
            "<w:tbl><w:tr><w:tc>" + WordParagraph("cell one") + "</w:tc><w:tc>" + WordParagraph("cell two") +
            "</w:tc></w:tr></w:tbl><w:p><w:r><w:delText>removed</w:delText><w:instrText>PAGE</w:instrText>"
            "<w:t>last</w:t><w:br/><w:t>line</w:t></w:r></w:p>",
            "Memo", "Ann"),
       S_OK, "Hello world\tafter tab\ncell one\ncell two\nlast\nline", {{PIDSI_TITLE, "Memo"}, {PIDSI_AUTHOR, "Ann"}}},
      {"xlsx: the shared strings", "book.xlsx", Xlsx({"Region", "North &amp; South", "Total"}), S_OK,
       "Region\nNorth & South\nTotal", {}},
      {"pptx: slides in their numeric order, then the notes", "deck.pptx",
       Package({{"[Content_Types].xml", "<Types/>"},
                {"ppt/presentation.xml", "<p:presentation xmlns:p=\"p\"/>"},
                {"ppt/slides/slide10.xml", Slide("tenth")},
                {"ppt/slides/slide2.xml", Slide("second")},
                {"ppt/slides/slide1.xml", Slide("first")},
                {"ppt/notesSlides/notesSlide1.xml", Slide("speaker note")}}),
       S_OK, "first\nsecond\ntenth\nspeaker note", {}},
      {"odt: headings, spans, counted spaces; no tracked deletions", "letter.odt",
       Odt("<text:tracked-changes><text:changed-region><text:p>deleted</text:p></text:changed-region>"
           "</text:tracked-changes><text:h>Dear  reader</text:h><text:p>a<text:s text:c=\"3\"/>b "
           "<text:span>in span</text:span><text:tab/>t<text:line-break/>next</text:p>",
           "Letter"),
       S_OK, "Dear reader\na   b in span\tt\nnext", {{PIDSI_TITLE, "Letter"}}},
      {"docx: a part cut short keeps what came before the cut", "cut.docx",
       Package({{"[Content_Types].xml", "<Types/>"},
                {"word/document.xml", "<w:document " + w + "><w:body>" + WordParagraph("kept") + "<w:p><w:r><w:t"}}),
       S_OK, "kept", {}},
      {"docx: a part that claims a bomb's expansion is not read; the rest is", "bomb.docx", DeflatedBombPart(), S_OK,
       "", {{PIDSI_TITLE, "Still read"}, {PIDSI_AUTHOR, "Bo"}}},
      {"office: not a ZIP archive", "fake.docx", "this is not a package", FILTER_E_UNKNOWNFORMAT, "", {}},
      {"office: a ZIP archive of no known kind", "other.xlsx", Package({{"readme.txt", "hello"}}),
       FILTER_E_UNKNOWNFORMAT, "", {}},
      {"office: password-protected (a compound file)", "locked.docx",
       std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'), FILTER_E_PASSWORD, "", {}},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Filtered got = Filter(c.name, c.bytes);
    EXPECT_EQ(c.init, got.init) << std::hex << got.init;
    EXPECT_EQ(c.text, got.text);
    EXPECT_EQ(c.properties, got.properties);
  }
}

TEST_F(DocumentFiltersTest, LongTextIsCutIntoChunksAtParagraphsAndTooLargeFilesAreRefused) {
  // About 130,000 characters of shared strings: more than one chunk, each
  // later one beginning a paragraph, and nothing lost between them.
  std::vector<std::string> strings;
  std::string expected;
  for (int i = 0; i < 6000; ++i) {
    strings.push_back("string number " + std::to_string(100000 + i));
    expected += (i ? "\n" : "") + strings.back();
  }
  const Filtered big = Filter("many.xlsx", Xlsx(strings));
  EXPECT_EQ(S_OK, big.init);
  EXPECT_GE(big.textChunks, 2u);
  EXPECT_TRUE(big.laterChunksOpenParagraphs);
  EXPECT_EQ(expected, big.text);

  // A page larger than the HTML filter reads fails to load, and says why.
  const std::string huge = m_folder + "/huge.html";
  arcwise_test::WriteAll(huge, "<p>x</p>");
  fs::resize_file(huge, 65ull * 1024 * 1024);
  HRESULT load = S_OK;
  FilterPath(huge, &load);
  EXPECT_EQ(FILTER_E_TOO_BIG, load);
}

TEST(DocumentContent, CollapsesSpaceKeepsParagraphsAndStopsAtItsCeiling) {
  CDocumentContent content(24);
  content.Append(u"  one \t two\r\n", true);
  content.EndParagraph();
  content.EndParagraph();
  content.Append(u"a\x01\tb\fc", false);
  EXPECT_EQ(WString(u"one two\na\tb\nc"), content.Text());
  EXPECT_FALSE(content.Full());
  content.Append(u" and a great deal more", false);
  EXPECT_TRUE(content.Full());
  EXPECT_EQ(24u, content.Text().size());

  content.SetProperty(PIDSI_AUTHOR, u"  Ann \n Lee ");
  content.SetProperty(PIDSI_TITLE, u"Title");
  content.SetProperty(PIDSI_TITLE, u"Second title is not kept");
  content.SetProperty(PIDSI_SUBJECT, u"  ");
  ASSERT_EQ(2u, content.Properties().size());
  EXPECT_EQ(PROPID(PIDSI_TITLE), content.Properties()[0].propid);
  EXPECT_EQ(WString(u"Ann Lee"), content.Properties()[1].value);
}

}  // namespace
}  // namespace stock_filter_test
