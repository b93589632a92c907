// The stock plain-text filter, registered through its own DllRegisterServer
// and obtained as a host obtains it: LoadIFilter on real files, or created
// by class id and loaded from a stream.
#include <filesystem>

#include "TextDecoder.h"  // kTextChunkChars
#include "filters/stock_filter_test_util.h"
#include "support/scoped_env.h"

namespace stock_filter_test {
namespace {

struct Chunk {
  STAT_CHUNK stat;
  WString text;
};

// Init, then every chunk with its whole text, until the end of chunks.
std::vector<Chunk> ReadAll(IFilter* filter, ULONG piece = 1000) {
  std::vector<Chunk> chunks;
  ULONG flags = 99;
  EXPECT_EQ(S_OK, filter->Init(IFILTER_INIT_CANON_PARAGRAPHS, 0, nullptr, &flags));
  EXPECT_EQ(0u, flags);
  std::vector<WCHAR> buffer(piece);
  for (;;) {
    Chunk chunk = {};
    HRESULT hr = filter->GetChunk(&chunk.stat);
    if (hr == FILTER_E_END_OF_CHUNKS) break;
    EXPECT_EQ(S_OK, hr);
    if (hr != S_OK) break;
    for (;;) {
      ULONG cwc = piece;
      hr = filter->GetText(&cwc, buffer.data());
      if (hr != S_OK && hr != FILTER_S_LAST_TEXT) {
        ADD_FAILURE() << "GetText 0x" << std::hex << hr;
        break;
      }
      chunk.text.append(buffer.data(), cwc);
      if (hr == FILTER_S_LAST_TEXT) break;
    }
    chunks.push_back(chunk);
  }
  return chunks;
}

WString Joined(const std::vector<Chunk>& chunks) {
  WString all;
  for (const Chunk& chunk : chunks) all += chunk.text;
  return all;
}

std::string Utf16Bytes(const WString& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (WCHAR c : text) {
    char high = char(c >> 8), low = char(c & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

class TextFilterTest : public StockFilterTest {
 protected:
  TextFilterTest() : StockFilterTest(ARCWISE_TEXT_FILTER_MODULE) {}
};

const WString kSample = W("h\x00E9llo w\x00F6rld \x2603 \xD83D\xDE00\r\nline two");
const std::string kSampleUtf8 = "h\xC3\xA9llo w\xC3\xB6rld \xE2\x98\x83 \xF0\x9F\x98\x80\r\nline two";

TEST_F(TextFilterTest, Utf8FileIsOneContentsChunk) {
  ComPtr<IFilter> filter = LoadByPath(WriteFile("sample.txt", kSampleUtf8));
  ASSERT_TRUE(filter) << std::hex << m_loadResult;
  std::vector<Chunk> chunks = ReadAll(filter.Get());
  ASSERT_EQ(1u, chunks.size());
  const STAT_CHUNK& stat = chunks[0].stat;
  EXPECT_EQ(1u, stat.idChunk);
  EXPECT_EQ(CHUNK_TEXT, stat.flags);
  EXPECT_EQ(CHUNK_NO_BREAK, stat.breakType);
  EXPECT_EQ(GetSystemDefaultLCID(), stat.locale);
  EXPECT_EQ(FMTID_Storage, stat.attribute.guidPropSet);
  EXPECT_EQ(ULONG(PRSPEC_PROPID), stat.attribute.psProperty.ulKind);
  EXPECT_EQ(19u, stat.attribute.psProperty.propid);
  EXPECT_EQ(1u, stat.idChunkSource);
  EXPECT_EQ(kSample, chunks[0].text);

  // The end is sticky, and there are never values.
  STAT_CHUNK stat2 = {};
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat2));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat2));
  PROPVARIANT* value = reinterpret_cast<PROPVARIANT*>(0x1);
  EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
  EXPECT_EQ(nullptr, value);
  FILTERREGION region = {};
  void* bound = nullptr;
  EXPECT_EQ(E_NOTIMPL, filter->BindRegion(region, IID_IUnknown, &bound));

  // A second Init reads the file again from the start with ids from 1.
  std::vector<Chunk> again = ReadAll(filter.Get());
  ASSERT_EQ(1u, again.size());
  EXPECT_EQ(1u, again[0].stat.idChunk);
  EXPECT_EQ(kSample, again[0].text);
}

TEST_F(TextFilterTest, ByteOrderMarksChooseTheEncodingAndAreNotText) {
  const std::pair<std::string, std::string> files[] = {
      {"bom8.log", "\xEF\xBB\xBF" + kSampleUtf8},
      {"le.csv", Utf16Bytes(kSample, false)},
      {"be.md", Utf16Bytes(kSample, true)},
  };
  for (const auto& [name, bytes] : files) {
    ComPtr<IFilter> filter = LoadByPath(WriteFile(name, bytes));
    ASSERT_TRUE(filter) << name << std::hex << m_loadResult;
    std::vector<Chunk> chunks = ReadAll(filter.Get());
    ASSERT_EQ(1u, chunks.size()) << name;
    EXPECT_EQ(kSample, chunks[0].text) << name;
  }
}

// NUL is never text: a first piece holding one means binary data, which gives
// no chunk at all; a NUL further on, or one a UTF-16 file encodes, is dropped.
TEST_F(TextFilterTest, NulBytesAreNotTextAndBinaryFilesGiveNoChunks) {
  const std::string late = std::string(70 * 1024, 'a') + std::string(3, '\0') + "b";
  const struct {
    const char* name;
    std::string bytes;
    WString text;
  } cases[] = {
      {"zeros.txt", std::string(1024 * 1024, '\0'), W("")},
      {"image.txt", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), W("")},
      {"late.txt", late, WString(70 * 1024, W('a')) + W("b")},
      {"le.txt", Utf16Bytes(WString(W("a")) + WCHAR(0) + W("b"), false), W("ab")},
  };
  for (const auto& c : cases) {
    ComPtr<IFilter> filter = LoadByPath(WriteFile(c.name, c.bytes));
    ASSERT_TRUE(filter) << c.name << std::hex << m_loadResult;
    EXPECT_EQ(c.text, Joined(ReadAll(filter.Get(), 64 * 1024))) << c.name;
  }
}

TEST_F(TextFilterTest, TextThatIsNotUtf8IsReadInTheAnsiCodePage) {
  arcwise_test::ScopedEnv acp("ARCWISE_ACP", "1252");
  ComPtr<IFilter> filter = LoadByPath(WriteFile("latin.ini", "caf\xE9 \x80 na\xEFve"));
  ASSERT_TRUE(filter);
  std::vector<Chunk> chunks = ReadAll(filter.Get());
  ASSERT_EQ(1u, chunks.size());
  EXPECT_EQ(W("caf\x00E9 \x20AC na\x00EFve"), chunks[0].text);

  // One bad byte far into a large file decides for the whole text, also for
  // the pieces read before it.
  std::string big(3 * kTextReadBytes + 17, 'x');
  big[10] = '\xE9';  // alone, not UTF-8
  big[5] = '\n';
  big[big.size() - 3] = '\xE8';
  filter = LoadByPath(WriteFile("big.log", big));
  ASSERT_TRUE(filter);
  WString text = Joined(ReadAll(filter.Get()));
  ASSERT_EQ(big.size(), text.size());
  EXPECT_EQ(WCHAR(0x00E9), text[10]);
  EXPECT_EQ(WCHAR(0x00E8), text[big.size() - 3]);
}

TEST_F(TextFilterTest, EmptyFileHasNoChunk) {
  ComPtr<IFilter> filter = LoadByPath(WriteFile("empty.txt", ""));
  ASSERT_TRUE(filter);
  EXPECT_TRUE(ReadAll(filter.Get()).empty());
  filter = LoadByPath(WriteFile("bomonly.txt", "\xFF\xFE"));
  ASSERT_TRUE(filter);
  EXPECT_TRUE(ReadAll(filter.Get()).empty());
}

// A file the first read holds whole is decoded from memory, a longer one is
// read again after the check; both give the whole text, on every Init, and
// an invalid byte at the very end still turns the whole to the ANSI page.
TEST_F(TextFilterTest, FilesAroundOneReadGiveTheirWholeTextOnEveryInit) {
  for (const size_t size : {size_t(kTextReadBytes) - 1, size_t(kTextReadBytes), size_t(kTextReadBytes) + 1}) {
    for (const bool valid : {true, false}) {
      std::string bytes(size - 2, 'x');
      bytes += valid ? "\xC3\xA9" : "y\xE9";
      const WString expected = WString(size - 2, u'x') + (valid ? WString(1, WCHAR(0xE9)) : W("y") + WString(1, WCHAR(0xE9)));
      ComPtr<IFilter> filter = LoadByPath(WriteFile("around.txt", bytes));
      ASSERT_TRUE(filter);
      for (int init = 0; init < 2; ++init) {
        EXPECT_EQ(expected, Joined(ReadAll(filter.Get(), 4096))) << size << " valid " << valid << " init " << init;
      }
    }
  }
}

TEST_F(TextFilterTest, LongTextIsCutIntoBoundedChunksBetweenCharacters) {
  // A pair straddles the first chunk's last unit: it moves whole into the
  // second chunk.
  std::string bytes(kTextChunkChars - 1, 'a');
  bytes += "\xF0\x9F\x98\x80";
  bytes += std::string(kTextChunkChars, 'b');
  bytes += "tail";
  ComPtr<IFilter> filter = LoadByPath(WriteFile("long.txt", bytes));
  ASSERT_TRUE(filter);
  std::vector<Chunk> chunks = ReadAll(filter.Get(), 4096);
  ASSERT_EQ(3u, chunks.size());
  EXPECT_EQ(kTextChunkChars - 1, chunks[0].text.size());
  EXPECT_EQ(WString(kTextChunkChars - 1, u'a'), chunks[0].text);
  ASSERT_GE(chunks[1].text.size(), 2u);
  EXPECT_EQ(WCHAR(0xD83D), chunks[1].text[0]);
  EXPECT_EQ(WCHAR(0xDE00), chunks[1].text[1]);
  EXPECT_EQ(kTextChunkChars, chunks[1].text.size());
  for (size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(ULONG(i + 1), chunks[i].stat.idChunk);
    EXPECT_EQ(CHUNK_NO_BREAK, chunks[i].stat.breakType);
    EXPECT_LE(chunks[i].text.size(), kTextChunkChars);
  }
  WString expected = WString(kTextChunkChars - 1, u'a') + W("\xD83D\xDE00") + WString(kTextChunkChars, u'b') +
                     W("tail");
  EXPECT_EQ(expected, Joined(chunks));
}

// Characters of every UTF-8 length, and bad bytes after a byte-order mark,
// placed across the places where the filter's reads end (with and without
// the mark): the text is what the whole file converts to at once.
TEST_F(TextFilterTest, SequencesAcrossReadBoundariesDecodeAsTheWhole) {
  const struct {
    const char* name;
    std::string bytes;
    bool needsMark;  // not UTF-8: without a mark the file is read as ANSI
  } sequences[] = {
      {"two bytes", "\xC3\xA9", false},
      {"three bytes", "\xE2\x82\xAC", false},
      {"four bytes", "\xF0\x9F\x98\x80", false},
      {"truncated", "\xF0\x9F\x98" "\xE2\x82" "z", true},
      {"encoded surrogate", "\xED\xA0\x80", true},
      {"stray continuations", "\x80\x80\x80\x80\x80", true},
      {"overlong", "\xE0\x80\xAF", true},
  };
  int files = 0;
  for (const auto& s : sequences) {
    for (bool mark : {false, true}) {
      if (s.needsMark && !mark) continue;
      const std::string prefix = mark ? "\xEF\xBB\xBF" : "";
      for (size_t at = kTextReadBytes - 4; at <= kTextReadBytes + 4; ++at) {
        std::string bytes = prefix + std::string(at - prefix.size(), 'a') + s.bytes + std::string(300, 'b');
        const WString expected = WString(at - prefix.size(), u'a') + Utf8ToUtf16(s.bytes) + WString(300, u'b');
        ComPtr<IFilter> filter = LoadByPath(WriteFile("across" + std::to_string(files++) + ".txt", bytes));
        ASSERT_TRUE(filter) << s.name;
        EXPECT_EQ(expected, Joined(ReadAll(filter.Get(), 4096))) << s.name << " at " << at << " mark " << mark;
      }
    }
  }
}

// UTF-16 pairs across the read boundary in both byte orders.
TEST_F(TextFilterTest, Utf16PairsAcrossReadBoundariesStayWhole) {
  for (bool bigEndian : {false, true}) {
    for (size_t units = kTextReadBytes / 2 - 3; units <= kTextReadBytes / 2 + 1; ++units) {
      const WString text = WString(units, u'a') + W("\xD83D\xDE00") + WString(10, u'b');
      const std::string name = "pair" + std::to_string(units) + (bigEndian ? "be" : "le") + ".txt";
      ComPtr<IFilter> filter = LoadByPath(WriteFile(name, Utf16Bytes(text, bigEndian)));
      ASSERT_TRUE(filter);
      EXPECT_EQ(text, Joined(ReadAll(filter.Get(), 4096))) << units << " big endian " << bigEndian;
    }
  }
}

TEST_F(TextFilterTest, GetTextHonoursTheCallersBuffer) {
  ComPtr<IFilter> filter = LoadByPath(WriteFile("pieces.txt", "ab\xF0\x9F\x98\x80" "c"));
  ASSERT_TRUE(filter);
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, nullptr));
  WCHAR buffer[8] = {};
  ULONG cwc = 4;
  EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&cwc, buffer));  // no chunk yet
  STAT_CHUNK stat = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));

  cwc = 0;
  EXPECT_EQ(S_OK, filter->GetText(&cwc, buffer));
  EXPECT_EQ(0u, cwc);
  cwc = 1;
  EXPECT_EQ(S_OK, filter->GetText(&cwc, buffer));
  ASSERT_EQ(1u, cwc);
  EXPECT_EQ(u'a', buffer[0]);
  // Room for two units would end inside the pair: only "b" comes.
  cwc = 2;
  EXPECT_EQ(S_OK, filter->GetText(&cwc, buffer));
  ASSERT_EQ(1u, cwc);
  EXPECT_EQ(u'b', buffer[0]);
  // Exactly what is left: the last piece at once.
  cwc = 3;
  EXPECT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&cwc, buffer));
  ASSERT_EQ(3u, cwc);
  EXPECT_EQ(W("\xD83D\xDE00" "c"), WString(buffer, 3));
  cwc = 3;
  EXPECT_EQ(FILTER_E_NO_MORE_TEXT, filter->GetText(&cwc, buffer));
  EXPECT_EQ(0u, cwc);
  EXPECT_EQ(E_INVALIDARG, filter->GetText(nullptr, buffer));

  // One unit at a time, each S_OK but the last.
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, nullptr));
  ASSERT_EQ(S_OK, filter->GetChunk(&stat));
  WString text;
  for (int i = 0; i < 4; ++i) {
    cwc = 1;
    EXPECT_EQ(S_OK, filter->GetText(&cwc, buffer));
    text.append(buffer, cwc);
  }
  cwc = 1;
  EXPECT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&cwc, buffer));
  text.append(buffer, cwc);
  EXPECT_EQ(W("ab\xD83D\xDE00" "c"), text);
}

TEST_F(TextFilterTest, ProtocolBeforeLoadAndInit) {
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TextFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)));
  ULONG flags = 0;
  EXPECT_EQ(E_FAIL, filter->Init(0, 0, nullptr, &flags));
  STAT_CHUNK stat = {};
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
  ComPtr<IPersistFile> persist;
  ASSERT_EQ(S_OK, filter.As(&persist));
  CLSID clsid = CLSID_NULL;
  EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
  EXPECT_EQ(CLSID_TextFilter, clsid);
  WString path = WriteFile("p.txt", "x");
  ASSERT_EQ(S_OK, persist->Load(path.c_str(), STGM_READ));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));  // loaded, not initialised
  EXPECT_EQ(E_INVALIDARG, filter->Init(0, 2, nullptr, &flags));
  LPOLESTR current = nullptr;
  ASSERT_EQ(S_OK, persist->GetCurFile(&current));
  EXPECT_EQ(path, WString(current));
  CoTaskMemFree(current);

  // A file that is not there: LoadIFilter passes the open's failure on.
  EXPECT_FALSE(LoadByPath(Utf8ToUtf16(m_folder + "/missing.txt")));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), m_loadResult);
}

TEST_F(TextFilterTest, LoadsFromStreams) {
  // A stream on the file.
  WString path = WriteFile("stream.txt", kSampleUtf8);
  ComPtr<IStream> fileStream;
  ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                         &fileStream));
  ComPtr<IPersistStream> persist;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TextFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&persist)));
  ASSERT_EQ(S_OK, persist->Load(fileStream.Get()));
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, persist.As(&filter));
  std::vector<Chunk> chunks = ReadAll(filter.Get());
  ASSERT_EQ(1u, chunks.size());
  EXPECT_EQ(kSample, chunks[0].text);
  ComPtr<IPersistFile> persistFile;
  ASSERT_EQ(S_OK, filter.As(&persistFile));
  LPOLESTR current = nullptr;
  EXPECT_EQ(E_FAIL, persistFile->GetCurFile(&current));  // not loaded by path
  persistFile = nullptr;

  // A memory stream read from where it stood at Load, again on every Init.
  std::string bytes = "skip" + Utf16Bytes(W("from memory"), true);
  ComPtr<IStream> memory;
  memory.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size())));
  ASSERT_TRUE(memory);
  LARGE_INTEGER offset = {};
  offset.QuadPart = 4;
  ASSERT_EQ(S_OK, memory->Seek(offset, STREAM_SEEK_SET, nullptr));
  ASSERT_EQ(S_OK, persist->Load(memory.Get()));
  for (int pass = 0; pass < 2; ++pass) {
    chunks = ReadAll(filter.Get());
    ASSERT_EQ(1u, chunks.size());
    EXPECT_EQ(W("from memory"), chunks[0].text);
  }
  // The filter holds the stream while it lives, and lets it go after.
  memory->AddRef();
  EXPECT_EQ(2u, memory->Release());
  persist = nullptr;
  filter = nullptr;
  memory->AddRef();
  EXPECT_EQ(1u, memory->Release());
}

TEST_F(TextFilterTest, TheFileIsSharedForReadingOnlyWhileTheFilterLives) {
  WString path = WriteFile("shared.txt", "content");
  ComPtr<IFilter> filter = LoadByPath(path);
  ASSERT_TRUE(filter);
  HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_EQ(S_FALSE, CanUnloadNow(m_modulePath));

  filter = nullptr;
  writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, writer);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

TEST_F(TextFilterTest, ClassObjectAndLocksKeepTheModule) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TextFilter, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(S_FALSE, CanUnloadNow(m_modulePath));
  ComPtr<IUnknown> object;
  IUnknown* outer = factory.Get();
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory = nullptr;
  EXPECT_EQ(S_FALSE, CanUnloadNow(m_modulePath));
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TextFilter, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory = nullptr;
  EXPECT_EQ(S_OK, CanUnloadNow(m_modulePath));
}

}  // namespace
}  // namespace stock_filter_test
