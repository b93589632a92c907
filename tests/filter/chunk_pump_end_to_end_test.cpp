// The filter object end to end, driven as an indexing host drives it, with
// the stock filters and the filter class itself registered for their types:
// an archive mixing text files, a compound document with summary
// information, a nested archive, a folder entry and an entry that cannot be
// extracted gives one exact chunk sequence; a 1,000-deep chain of archives
// in archives stops at the nesting bound.
#include "filter_test_util.h"

namespace filter_test {
namespace {

class PumpEndToEnd : public PumpTest {};

TEST_F(PumpEndToEnd, MixedArchiveGivesTheExactChunkSequence) {
  arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Quarterly figures")
      .I4(PIDSI_PAGECOUNT, 7)
      .Lpstr(PIDSI_SUBJECT, "")
      .Lpstr(PIDSI_AUTHOR, "Ada");
  const std::string document = CompoundDocument(summary);

  arcwise_test::ZipWriter inner;
  inner.Add("deep.txt", "delta");

  arcwise_test::ZipEntrySpec broken;
  broken.name = "broken.txt";
  broken.data = "never extracted";
  broken.crc = 0x12345678;  // the data does not match: the entry is listed, not extracted

  arcwise_test::ZipWriter outer;
  outer.Add("notes.txt", "alpha beta")
      .Add("docs/", "")
      .Add("docs/readme.txt", "gamma")
      .Add("report.doc", document)
      .Add("inner.zip", inner.Bytes())
      .Add(broken)
      .Add("last.txt", "omega");
  const std::string folder = arcwise_test::MakeTestFolder("archives");
  const std::string path = folder + "/mixed.zip";
  ASSERT_TRUE(outer.WriteTo(path));

  {
    ComPtr<IFilter> filter = LoadArchive(path);
    ASSERT_TRUE(filter);
    ASSERT_EQ(S_OK, InitDefault(filter.Get()));
    HRESULT end = S_OK;
    const std::vector<Chunk> chunks = Drain(filter.Get(), &end);
    const std::vector<Chunk> expected = {
        TextChunk(1, CHUNK_EOP, "alpha beta"),          // notes.txt
        TextChunk(2, CHUNK_EOP, "gamma"),               // docs\readme.txt
        ValueChunk(3, PIDSI_TITLE, "Quarterly figures"),  // report.doc, read by the caller
        ValueChunk(4, PIDSI_AUTHOR, "Ada"),
        TextChunk(5, CHUNK_EOP, "delta"),     // inner.zip: its deep.txt ...
        TextChunk(6, CHUNK_EOP, "deep.txt"),  // ... and its entry name
        TextChunk(7, CHUNK_EOP, "omega"),     // last.txt
        TextChunk(8, CHUNK_EOP, "notes.txt"),
        TextChunk(9, CHUNK_EOP, "docs\\"),
        TextChunk(10, CHUNK_EOP, "docs\\readme.txt"),
        TextChunk(11, CHUNK_EOP, "report.doc"),
        TextChunk(12, CHUNK_EOP, "inner.zip"),
        TextChunk(13, CHUNK_EOP, "broken.txt"),
        TextChunk(14, CHUNK_EOP, "last.txt"),
    };
    EXPECT_EQ(expected, chunks);
    EXPECT_EQ(FILTER_E_END_OF_CHUNKS, end);
    // The nested archive has an extraction folder of its own while it lives.
    EXPECT_EQ(1u, WorkEntries("aw").size()) << "only the outer archive keeps its extraction folder";
  }
  EXPECT_TRUE(WorkEntries("aw").empty());
  EXPECT_EQ(0, LiveObjects());
}

// Archive k of the chain holds archive k+1 under the name "aNNNN.zip"; the
// last one holds a text file.
std::string WriteChain(const std::string& folder, int length) {
  std::string bytes;
  {
    arcwise_test::ZipWriter bottom;
    bottom.Add("bottom.txt", "the end of the chain");
    bytes = bottom.Bytes();
  }
  for (int level = length - 1; level >= 1; --level) {
    char name[32];
    snprintf(name, sizeof name, "a%04d.zip", level);
    arcwise_test::ZipWriter writer;
    writer.Add(name, bytes);
    bytes = writer.Bytes();
  }
  const std::string path = folder + "/chain.zip";
  arcwise_test::WriteAll(path, bytes);
  return path;
}

TEST_F(PumpEndToEnd, ThousandDeepChainStopsAtTheNestingBound) {
  const std::string path = WriteChain(arcwise_test::MakeTestFolder("chain"), 1000);
  {
    ComPtr<IFilter> filter = LoadArchive(path);
    ASSERT_TRUE(filter);
    ASSERT_EQ(S_OK, InitDefault(filter.Get()));
    // Sixteen archive levels are open at once: the host's and fifteen
    // nested ones, each with its extraction folder.
    EXPECT_EQ(16u, WorkEntries("aw").size());

    HRESULT end = S_OK;
    const std::vector<Chunk> chunks = Drain(filter.Get(), &end);
    // The sixteenth nested archive has no filter; every name above it is
    // emitted, the innermost first as each level relays the one below.
    std::vector<Chunk> expected;
    for (ULONG level = 16; level >= 1; --level) {
      char name[32];
      snprintf(name, sizeof name, "a%04u.zip", level);
      expected.push_back(TextChunk(17 - level, CHUNK_EOP, name));
    }
    EXPECT_EQ(expected, chunks);
    EXPECT_EQ(FILTER_E_END_OF_CHUNKS, end);
    EXPECT_EQ(1u, CountLines(m_capture.Lines(), W("ERROR: archives nested deeper than 16 levels")));
  }
  EXPECT_TRUE(WorkEntries("aw").empty()) << "an extraction folder survived its filter";
  EXPECT_EQ(0, LiveObjects());
}

// A nested archive draws on the budget of the document the host loaded, and
// a second walk pays for its nested archives only once.
TEST_F(PumpEndToEnd, NestedArchivesShareTheHostDocumentsBudget) {
  SetProductDword(W("MaxExtractedEntries"), 5);
  arcwise_test::ZipWriter inner;
  inner.Add("c.txt", "gamma").Add("d.txt", "delta").Add("e.txt", "epsilon").Add("f.txt", "phi");
  arcwise_test::ZipWriter outer;
  outer.Add("a.txt", "alpha").Add("b.txt", "beta").Add("inner.zip", inner.Bytes());
  const std::string path = arcwise_test::MakeTestFolder("budget") + "/outer.zip";
  ASSERT_TRUE(outer.WriteTo(path));
  const std::vector<std::string> texts = {"alpha", "beta", "gamma", "delta", "c.txt", "d.txt", "e.txt", "f.txt",
                                          "a.txt", "b.txt", "inner.zip"};
  std::vector<Chunk> expected;
  for (const std::string& text : texts) expected.push_back(TextChunk(ULONG(expected.size() + 1), CHUNK_EOP, text));
  {
    ComPtr<IFilter> filter = LoadArchive(path);
    ASSERT_TRUE(filter);
    for (int walk = 0; walk < 2; ++walk) {
      SCOPED_TRACE(walk);
      ASSERT_EQ(S_OK, InitDefault(filter.Get()));
      HRESULT end = S_OK;
      EXPECT_EQ(expected, Drain(filter.Get(), &end));
    }
    EXPECT_EQ(2u, CountLines(m_capture.Lines(), W("ERROR: limit MaxExtractedEntries (5 entries) reached in ")))
        << "one line in each walk";
  }
  EXPECT_EQ(0, LiveObjects());
}

}  // namespace
}  // namespace filter_test
