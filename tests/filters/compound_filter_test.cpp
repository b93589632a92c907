// The stock compound-document filter: no chunks of its own, and the request
// that its caller read the file's OLE properties.
#include "filters/stock_filter_test_util.h"

namespace stock_filter_test {
namespace {

class CompoundFilterTest : public StockFilterTest {
 protected:
  CompoundFilterTest() : StockFilterTest(ARCWISE_COMPOUND_FILTER_MODULE) {}

  // What a host sees from the filter: Init's flags, then the end of chunks
  // at once and for good.
  void ExpectPropertiesOnly(IFilter* filter) {
    ULONG flags = 0;
    ASSERT_EQ(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    EXPECT_EQ(ULONG(IFILTER_FLAGS_OLE_PROPERTIES), flags);
    STAT_CHUNK stat = {};
    EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
    EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
    WCHAR buffer[4];
    ULONG cwc = 4;
    EXPECT_EQ(FILTER_E_NO_TEXT, filter->GetText(&cwc, buffer));
    PROPVARIANT* value = nullptr;
    EXPECT_EQ(FILTER_E_NO_VALUES, filter->GetValue(&value));
    EXPECT_EQ(nullptr, value);
  }
};

TEST_F(CompoundFilterTest, AsksForOlePropertiesAndEmitsNoChunks) {
  // The content does not matter to it: not even a compound file is needed.
  for (const char* name : {"report.doc", "sheet.XLS", "mail.msg", "setup.msi"}) {
    ComPtr<IFilter> filter = LoadByPath(WriteFile(name, "not really a compound file"));
    ASSERT_TRUE(filter) << name << " 0x" << std::hex << m_loadResult;
    ExpectPropertiesOnly(filter.Get());
    ComPtr<IPersist> persist;
    ASSERT_EQ(S_OK, filter.As(&persist));
    CLSID clsid = CLSID_NULL;
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_EQ(CLSID_CompoundFilter, clsid);
  }
}

TEST_F(CompoundFilterTest, LoadsFromAStreamWithoutKeepingIt) {
  ComPtr<IPersistStream> persist;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CompoundFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&persist)));
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, persist.As(&filter));
  ULONG flags = 0;
  EXPECT_EQ(E_FAIL, filter->Init(0, 0, nullptr, &flags));  // nothing loaded yet
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(nullptr, 0));
  ASSERT_TRUE(stream);
  ASSERT_EQ(S_OK, persist->Load(stream.Get()));
  stream->AddRef();
  EXPECT_EQ(1u, stream->Release());
  ExpectPropertiesOnly(filter.Get());
}

TEST_F(CompoundFilterTest, AMissingFileDoesNotLoad) {
  EXPECT_FALSE(LoadByPath(Utf8ToUtf16(m_folder + "/missing.doc")));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), m_loadResult);
}

}  // namespace
}  // namespace stock_filter_test
