// The scriptable fake nested filter itself, driven through LoadIFilter and
// the stream route, so the chunk pump's tests can rely on what its scripts
// say.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "compat/ComPtr.h"
#include <ntquery.h>

#include "filter/host_test_util.h"
#include "filter/modules/fake_filter.h"
#include "support/loaded_module.h"
#include "support/test_env.h"

namespace {

const std::string kFakeModule = ARCWISE_FAKE_FILTER_MODULE;

using host_test::FakeLiveObjects;

bool FakeLoaded() { return arcwise_test::IsLoaded(kFakeModule); }

// All of the current chunk's text, in pieces of `piece` units.
HRESULT ReadText(IFilter* filter, ULONG piece, WString* text) {
  text->clear();
  for (;;) {
    WCHAR buffer[64];
    ULONG cwc = piece;
    HRESULT hr = filter->GetText(&cwc, buffer);
    if (hr != S_OK && hr != FILTER_S_LAST_TEXT) return hr;
    text->append(buffer, cwc);
    if (hr == FILTER_S_LAST_TEXT) return hr;
  }
}

class FakeFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::RegisterFakeFilters(Utf8ToUtf16(kFakeModule)));
    m_folder = arcwise_test::MakeTestFolder("fake_filter");
  }
  void TearDown() override {
    EXPECT_EQ(0, FakeLiveObjects());
    CoFreeUnusedLibraries();
    EXPECT_FALSE(FakeLoaded());
    arcwise_fake::UnregisterFakeFilters();
    CoUninitialize();
  }

  // The fake loaded through LoadIFilter with the given script.
  ComPtr<IFilter> Load(const std::string& script, const std::string& name = "script.fake") {
    std::string path = m_folder + "/" + name;
    arcwise_test::WriteAll(path, script);
    ComPtr<IUnknown> object;
    m_loadResult = LoadIFilter(Utf8ToUtf16(path).c_str(), nullptr, reinterpret_cast<void**>(&object));
    ComPtr<IFilter> filter;
    if (object) object.As(&filter);
    return filter;
  }

  std::string m_folder;
  HRESULT m_loadResult = S_OK;
};

TEST_F(FakeFilterTest, PlaysItsChunksWithTheirTextsAndValues) {
  ComPtr<IFilter> filter = Load(
      "# two chunks and a value\n"
      "chunk text Hello, world\n"
      "break eop\n"
      "locale 0x0407\n"
      "\n"
      "chunk value The Title\n"
      "chunk text second\n"
      "property {F29F85E0-4FF9-1068-AB91-08002B27B3D9} 3\n");
  ASSERT_TRUE(filter) << std::hex << m_loadResult;
  ULONG flags = 99;
  ASSERT_EQ(S_OK, filter->Init(IFILTER_INIT_CANON_PARAGRAPHS, 0, nullptr, &flags));
  EXPECT_EQ(0u, flags);

  STAT_CHUNK chunk = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  EXPECT_EQ(1u, chunk.idChunk);
  EXPECT_EQ(CHUNK_TEXT, chunk.flags);
  EXPECT_EQ(CHUNK_EOP, chunk.breakType);
  EXPECT_EQ(0x0407u, chunk.locale);
  EXPECT_EQ(19u, chunk.attribute.psProperty.propid);
  PROPVARIANT* value = nullptr;
  EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
  WString text;
  EXPECT_EQ(FILTER_S_LAST_TEXT, ReadText(filter.Get(), 5, &text));
  EXPECT_EQ(W("Hello, world"), text);
  WCHAR buffer[4];
  ULONG cwc = 4;
  EXPECT_EQ(FILTER_E_NO_MORE_TEXT, filter->GetText(&cwc, buffer));

  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  EXPECT_EQ(2u, chunk.idChunk);
  EXPECT_EQ(CHUNK_VALUE, chunk.flags);
  EXPECT_EQ(FMTID_SummaryInformation, chunk.attribute.guidPropSet);
  EXPECT_EQ(ULONG(PIDSI_TITLE), chunk.attribute.psProperty.propid);
  cwc = 4;
  EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&cwc, buffer));
  ASSERT_EQ(S_OK, filter->GetValue(&value));
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(VT_LPWSTR, value->vt);
  EXPECT_EQ(W("The Title"), WString(value->pwszVal));
  PropVariantClear(value);
  CoTaskMemFree(value);
  EXPECT_EQ(FILTER_E_NO_MORE_VALUES, filter->GetValue(&value));

  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  EXPECT_EQ(3u, chunk.idChunk);
  EXPECT_EQ(FMTID_SummaryInformation, chunk.attribute.guidPropSet);
  EXPECT_EQ(3u, chunk.attribute.psProperty.propid);
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&chunk));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&chunk));

  // Init starts the script over.
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, &flags));
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  EXPECT_EQ(CHUNK_TEXT, chunk.flags);
  EXPECT_EQ(FILTER_S_LAST_TEXT, ReadText(filter.Get(), 64, &text));
  EXPECT_EQ(W("Hello, world"), text);
}

TEST_F(FakeFilterTest, ScriptsFlagsAndFailures) {
  ComPtr<IFilter> filter = Load(
      "flags ole\n"
      "chunk text a\n"
      "gettext-error 0x80041703\n"
      "chunk error 0x80041707\n"
      "chunk value v\n"
      "getvalue-error 0x80004005\n");
  ASSERT_TRUE(filter);
  ULONG flags = 0;
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, &flags));
  EXPECT_EQ(ULONG(IFILTER_FLAGS_OLE_PROPERTIES), flags);
  STAT_CHUNK chunk = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  WCHAR buffer[4];
  ULONG cwc = 4;
  EXPECT_EQ(FILTER_E_ACCESS, filter->GetText(&cwc, buffer));
  EXPECT_EQ(FILTER_E_EMBEDDING_UNAVAILABLE, filter->GetChunk(&chunk));
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  EXPECT_EQ(2u, chunk.idChunk);
  PROPVARIANT* value = nullptr;
  EXPECT_EQ(E_FAIL, filter->GetValue(&value));
  EXPECT_EQ(nullptr, value);
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&chunk));

  filter = Load("init-error 0x8004170C\nchunk text never\n");
  ASSERT_TRUE(filter);
  EXPECT_EQ(FILTER_E_UNKNOWNFORMAT, filter->Init(0, 0, nullptr, &flags));

  filter = Load("load-error 0x80070005\n");
  EXPECT_FALSE(filter);
  EXPECT_EQ(E_ACCESSDENIED, m_loadResult);

  filter = Load("chunk txt misspelt\n");
  EXPECT_FALSE(filter);
  EXPECT_EQ(FILTER_E_UNKNOWNFORMAT, m_loadResult);
  filter = Load("break eop\n");  // nothing above to change
  EXPECT_EQ(FILTER_E_UNKNOWNFORMAT, m_loadResult);
}

TEST_F(FakeFilterTest, TextEscapesReachTheCaller) {
  ComPtr<IFilter> filter = Load("chunk text a\\tb\\\\c\\nd \\uD83D\\uDE00 \\u00e9\r\nchunk text \n");
  ASSERT_TRUE(filter) << std::hex << m_loadResult;
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, nullptr));
  STAT_CHUNK chunk = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  WString text;
  EXPECT_EQ(FILTER_S_LAST_TEXT, ReadText(filter.Get(), 64, &text));
  EXPECT_EQ(W("a\tb\\c\nd \xD83D\xDE00 \x00E9"), text);
  // An empty text: the first GetText already has nothing more.
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  WCHAR buffer[4];
  ULONG cwc = 4;
  EXPECT_EQ(FILTER_E_NO_MORE_TEXT, filter->GetText(&cwc, buffer));
  EXPECT_EQ(0u, cwc);
}

TEST_F(FakeFilterTest, StreamOnlyClassLoadsFromAStreamAndKeepsIt) {
  std::string name = "s.fakestream";
  arcwise_test::WriteAll(m_folder + "/" + name, "chunk text x\n");
  void* pv = nullptr;
  EXPECT_EQ(E_NOINTERFACE, LoadIFilter(Utf8ToUtf16(m_folder + "/" + name).c_str(), nullptr, &pv));

  ComPtr<IPersistStream> persist;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseFakeFilterStreamOnly, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&persist)));
  ComPtr<IPersistFile> noFile;
  EXPECT_EQ(E_NOINTERFACE, persist.As(&noFile));
  const char script[] = "chunk text from a stream\n";
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(script), sizeof(script) - 1));
  ASSERT_TRUE(stream);
  ASSERT_EQ(S_OK, persist->Load(stream.Get()));
  // The filter holds one reference of its own while it lives.
  stream->AddRef();
  EXPECT_EQ(2u, stream->Release());

  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, persist.As(&filter));
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, nullptr));
  STAT_CHUNK chunk = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  WString text;
  EXPECT_EQ(FILTER_S_LAST_TEXT, ReadText(filter.Get(), 3, &text));
  EXPECT_EQ(W("from a stream"), text);

  EXPECT_EQ(1, FakeLiveObjects());
  persist = nullptr;
  filter = nullptr;
  stream->AddRef();
  EXPECT_EQ(1u, stream->Release());
}

TEST_F(FakeFilterTest, FileOnlyClassRefusesStreams) {
  ComPtr<IUnknown> object;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseFakeFilterFileOnly, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)));
  ComPtr<IPersistStream> persist;
  EXPECT_EQ(E_NOINTERFACE, object.As(&persist));
  ComPtr<IFilter> filter = Load("chunk text y\n", "f.fakefile");
  EXPECT_TRUE(filter);
}

}  // namespace
