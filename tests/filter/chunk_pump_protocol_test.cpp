// The IFilter protocol of the chunk pump on filter objects made directly,
// with the scriptable fake filter (and the compound filter, whose files' properties
// the pump reads itself) as nested filters: chunk numbering across relayed,
// value and name chunks, break types, the file-name chunks and their text in
// pieces, answers against the chunk's kind, restarting with Init, the end of
// chunks, nested failures, and the stream route.
#include "filter_test_util.h"

namespace filter_test {
namespace {

class PumpProtocol : public PumpTest {
 protected:
  std::string Archive(const std::string& name, const std::vector<std::pair<std::string, std::string>>& entries) {
    return MakeArchive(name, entries);
  }

  static Chunk FakeText(ULONG id, CHUNK_BREAKTYPE breakType, const std::string& text, LCID locale = 0x409) {
    Chunk chunk = TextChunk(id, breakType, text);
    chunk.locale = locale;
    return chunk;
  }
  static Chunk FakeValue(ULONG id, CHUNK_BREAKTYPE breakType, const std::string& text) {
    Chunk chunk = ValueChunk(id, PIDSI_TITLE, text);
    chunk.breakType = breakType;
    chunk.locale = 0x409;
    return chunk;
  }

  // The one extracted copy of a file named name in the working folder.
  std::filesystem::path ExtractedCopy(const std::string& name) const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_work)) {
      if (entry.path().filename() == name) return entry.path();
    }
    return {};
  }

  static bool CanOpenForWriting(const std::filesystem::path& path) {
    HANDLE handle = CreateFileW(Utf8ToUtf16(path.string()).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
  }
};

TEST_F(PumpProtocol, IdsRunWithoutGapsAndOnlyEachFilesFirstChunkBreaksParagraph) {
  arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Budget").Lpstr(PIDSI_AUTHOR, "Grace");
  const std::string path = Archive(
      "ids.zip", {{"a.fake", "chunk text one\nchunk text two\nbreak eow\nchunk value v1\n"},
                  {"report.doc", CompoundDocument(summary)},
                  {"b.fake", "chunk text three\nbreak eos\nlocale 0x407\nchunk text four\nbreak eoc\n"}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  const std::vector<Chunk> expected = {
      FakeText(1, CHUNK_EOP, "one"),  // the fake's own break (none) becomes EOP
      FakeText(2, CHUNK_EOW, "two"),
      FakeValue(3, CHUNK_NO_BREAK, "v1"),
      ValueChunk(4, PIDSI_TITLE, "Budget"),  // report.doc, before b.fake's first chunk
      ValueChunk(5, PIDSI_AUTHOR, "Grace"),
      FakeText(6, CHUNK_EOP, "three", 0x407),  // EOS replaced on the first chunk only
      FakeText(7, CHUNK_EOC, "four"),
      TextChunk(8, CHUNK_EOP, "a.fake"),
      TextChunk(9, CHUNK_EOP, "report.doc"),
      TextChunk(10, CHUNK_EOP, "b.fake"),
  };
  HRESULT end = S_OK;
  EXPECT_EQ(expected, Drain(filter.Get(), &end));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, end);
}

TEST_F(PumpProtocol, NameChunkTextComesInPiecesAndThenNoMore) {
  const std::string path = Archive("names.zip", {{"abcdefg.none", "x"}, {"gh", "y"}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));

  STAT_CHUNK stat = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(1u, stat.idChunk);
  EXPECT_EQ(1u, stat.idChunkSource);
  EXPECT_EQ(CHUNK_TEXT, stat.flags);
  EXPECT_EQ(CHUNK_EOP, stat.breakType);
  EXPECT_TRUE(IsEqualGUID(kFmtidStorage, stat.attribute.guidPropSet));
  EXPECT_EQ(ULONG(PRSPEC_PROPID), stat.attribute.psProperty.ulKind);
  EXPECT_EQ(19u, stat.attribute.psProperty.propid);
  EXPECT_EQ(GetSystemDefaultLCID(), stat.locale);

  PROPVARIANT* value = nullptr;
  EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
  WCHAR buffer[16] = {};
  ULONG count = 0;
  EXPECT_EQ(S_OK, filter->GetText(&count, buffer));
  EXPECT_EQ(0u, count);
  count = 3;
  EXPECT_EQ(S_OK, filter->GetText(&count, buffer));
  EXPECT_EQ(WString(W("abc")), WString(buffer, count));
  count = 3;
  EXPECT_EQ(S_OK, filter->GetText(&count, buffer));
  EXPECT_EQ(WString(W("def")), WString(buffer, count));
  count = 16;
  EXPECT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&count, buffer));
  EXPECT_EQ(WString(W("g.none")), WString(buffer, count));
  count = 16;
  EXPECT_EQ(FILTER_E_NO_MORE_TEXT, filter->GetText(&count, buffer));

  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(2u, stat.idChunk);
  count = 2;  // an exact fit is the last piece at once
  EXPECT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&count, buffer));
  EXPECT_EQ(WString(W("gh")), WString(buffer, count));
  EXPECT_EQ(FILTER_E_NO_MORE_TEXT, filter->GetText(&count, buffer));
  EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
  EXPECT_EQ(nullptr, value);
}

TEST_F(PumpProtocol, ValueChunksRefuseTextAndGiveTheirValueOnce) {
  arcwise_test::PropertySetWriter summary(FMTID_SummaryInformation, 1252);
  summary.Lpstr(PIDSI_TITLE, "Only title");
  const std::string path = Archive("values.zip", {{"only.doc", CompoundDocument(summary)}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  STAT_CHUNK stat = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(CHUNK_VALUE, stat.flags);
  EXPECT_EQ(1u, stat.idChunk);
  EXPECT_EQ(1u, stat.idChunkSource);
  WCHAR buffer[8];
  ULONG count = 8;
  EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&count, buffer));
  PROPVARIANT* value = nullptr;
  ASSERT_EQ(S_OK, filter->GetValue(&value));
  EXPECT_EQ("Only title", TakeString(value));
  value = nullptr;
  EXPECT_EQ(FILTER_E_NO_MORE_VALUES, filter->GetValue(&value));
  EXPECT_EQ(nullptr, value);
  // Then the name, under the next id.
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(2u, stat.idChunk);
  EXPECT_EQ(CHUNK_TEXT, stat.flags);
}

TEST_F(PumpProtocol, SecondInitRestartsAtIdOneWithTheSameSequence) {
  const std::string path =
      Archive("again.zip", {{"a.fake", "chunk text first\nchunk value second\n"}, {"b.fake", "chunk text third\n"}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  const std::vector<Chunk> first = Drain(filter.Get());
  ASSERT_EQ(5u, first.size());
  EXPECT_EQ(1u, first.front().id);

  // Restarting in the middle of the walk as well as after its end.
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  STAT_CHUNK stat = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  EXPECT_EQ(first, Drain(filter.Get()));
}

TEST_F(PumpProtocol, EndOfChunksIsStickyAndCallsOutOfOrderAreRefused) {
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  STAT_CHUNK stat = {};
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
  ULONG flags = 0;
  EXPECT_EQ(E_FAIL, filter->Init(0, 0, nullptr, &flags));
  WCHAR buffer[4];
  ULONG count = 4;
  EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&count, buffer));

  const std::string path = Archive("end.zip", {{"only.none", "x"}});
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, filter.As(&file));
  ASSERT_EQ(S_OK, file->Load(Utf8ToUtf16(path).c_str(), 0));
  EXPECT_EQ(E_INVALIDARG, filter->Init(0, 2, nullptr, &flags));
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
  EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&count, buffer));
  PROPVARIANT* value = nullptr;
  EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
  FILTERREGION region = {};
  IUnknown* bound = nullptr;
  EXPECT_EQ(E_NOTIMPL, filter->BindRegion(region, IID_IUnknown, reinterpret_cast<void**>(&bound)));

  // A new load ends the old walk until the next Init.
  ASSERT_EQ(S_OK, file->Load(Utf8ToUtf16(path).c_str(), 0));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(1u, stat.idChunk);
}

TEST_F(PumpProtocol, NestedFailuresEndOrSkipTheirFileAndKeepTheName) {
  const std::string path = Archive(
      "failing.zip", {{"a.fake", "chunk text before\nchunk error 0x80041707\nchunk text after\n"},
                      {"b.fake", "init-error 0x80004005\nchunk text never\n"},
                      {"c.fake", "load-error 0x80070005\nchunk text never\n"},
                      {"d.fakenofilter", "chunk text never\n"},
                      {"e.fake", "chunk text last\nchunk error 0x80041708\n"},
                      {"f.fake", "chunk text final\n"}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  const std::vector<Chunk> expected = {
      FakeText(1, CHUNK_EOP, "before"), FakeText(2, CHUNK_EOP, "last"),
      FakeText(3, CHUNK_EOP, "final"),  TextChunk(4, CHUNK_EOP, "a.fake"),
      TextChunk(5, CHUNK_EOP, "b.fake"), TextChunk(6, CHUNK_EOP, "c.fake"),
      TextChunk(7, CHUNK_EOP, "d.fakenofilter"), TextChunk(8, CHUNK_EOP, "e.fake"),
      TextChunk(9, CHUNK_EOP, "f.fake"),
  };
  EXPECT_EQ(expected, Drain(filter.Get()));
}

TEST_F(PumpProtocol, StreamRouteLogsAndHoldsTheFileOnlyWhileItsFilterIsUsed) {
  const std::string path =
      Archive("stream.zip", {{"s.fakestream", "chunk text streamed\n"}, {"t.none", "no filter"}});
  ComPtr<IFilter> filter = LoadArchive(path);
  ASSERT_TRUE(filter);
  m_capture.Clear();
  ASSERT_EQ(S_OK, InitDefault(filter.Get()));
  const std::filesystem::path copy = ExtractedCopy("s.fakestream");
  ASSERT_FALSE(copy.empty());

  const std::vector<WString> lines = m_capture.Lines();
  const WString copyName = W("s.fakestream");
  size_t calling = 0, guid = 0;
  for (const WString& line : lines) {
    if (line.find(W("INFO: Calling IPersistStream interface for ")) != WString::npos &&
        line.find(copyName + W("\n")) != WString::npos) {
      ++calling;
    }
    if (line.find(W("INFO: Default IFilter GUID for ")) != WString::npos &&
        line.find(W(" is {9B185B62-BBC1-41CF-B6A0-0AC153C3FED9} \n")) != WString::npos) {
      ++guid;
    }
  }
  EXPECT_EQ(1u, calling) << m_capture.Text();
  EXPECT_EQ(1u, guid) << m_capture.Text();

  STAT_CHUNK stat = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  WCHAR buffer[32];
  ULONG count = 32;
  ASSERT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&count, buffer));
  EXPECT_EQ(WString(W("streamed")), WString(buffer, count));
  EXPECT_FALSE(CanOpenForWriting(copy)) << "the stream under the nested filter does not deny writing";

  // The next chunk is the first name: the nested filter and its stream are gone.
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  EXPECT_EQ(2u, stat.idChunk);
  EXPECT_TRUE(CanOpenForWriting(copy));
}

}  // namespace
}  // namespace filter_test
