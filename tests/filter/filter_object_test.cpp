// The filter object's COM surface: which interfaces it answers, the identity
// rule (IUnknown and IPersist are the IPersistFile face from every face),
// reference counting and the server's object count, the persistence
// methods, and their log lines.
#include "filter_test_util.h"

namespace filter_test {
namespace {

using FilterObjectTest = FilterTest;

TEST_F(FilterObjectTest, FacesAndIdentity) {
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  ComPtr<IPersistFile> file;
  ComPtr<IPersistStream> stream;
  ASSERT_EQ(S_OK, filter.As(&file));
  ASSERT_EQ(S_OK, filter.As(&stream));
  // Each face is a different pointer; identity is one of them.
  EXPECT_NE(static_cast<void*>(filter.Get()), static_cast<void*>(file.Get()));
  EXPECT_NE(static_cast<void*>(file.Get()), static_cast<void*>(stream.Get()));

  const void* identity = static_cast<IUnknown*>(file.Get());
  IUnknown* faces[] = {filter.Get(), file.Get(), stream.Get()};
  for (IUnknown* face : faces) {
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, face->QueryInterface(IID_PPV_ARGS(&unknown)));
    EXPECT_EQ(identity, static_cast<void*>(unknown.Get()));
    ComPtr<IPersist> persist;
    ASSERT_EQ(S_OK, face->QueryInterface(IID_PPV_ARGS(&persist)));
    EXPECT_EQ(identity, static_cast<void*>(persist.Get()));
    ComPtr<IFilter> back;
    ASSERT_EQ(S_OK, face->QueryInterface(IID_PPV_ARGS(&back)));
    EXPECT_EQ(filter.Get(), back.Get());

    // IPersistStorage is among the object's bases but never handed out.
    void* storage = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, face->QueryInterface(IID_IPersistStorage, &storage));
    EXPECT_EQ(nullptr, storage);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, face->QueryInterface(IID_IStream, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_POINTER, face->QueryInterface(IID_IFilter, nullptr));
  }
}

TEST_F(FilterObjectTest, ReferenceCountIsSharedByAllFaces) {
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  EXPECT_EQ(2u, filter->AddRef());
  ComPtr<IPersistStream> stream;
  ASSERT_EQ(S_OK, filter.As(&stream));  // 3
  EXPECT_EQ(4u, stream->AddRef());
  EXPECT_EQ(3u, stream->Release());
  EXPECT_EQ(2u, filter->Release());
  stream = nullptr;
  EXPECT_EQ(1, LiveObjects()) << "the object counts once, whatever its references";
  EXPECT_EQ(0u, filter.Detach()->Release());
  EXPECT_EQ(0, LiveObjects());
}

TEST_F(FilterObjectTest, QueriesForPersistenceFacesAreLogged) {
  SetProductDword(W("DebugMode"), 3);
  arcwise_test::DebugCapture capture;
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  capture.Clear();
  ComPtr<IPersistFile> file;
  ComPtr<IPersistStream> stream;
  ComPtr<IUnknown> unknown;
  ComPtr<IPersist> persist;
  ASSERT_EQ(S_OK, filter.As(&file));
  ASSERT_EQ(S_OK, filter.As(&stream));
  ASSERT_EQ(S_OK, filter.As(&unknown));
  ASSERT_EQ(S_OK, filter.As(&persist));
  EXPECT_EQ((std::vector<WString>{W("Quillmark Arcwise Filter:INFO: IPersistFile interface queried \n"),
                                  W("Quillmark Arcwise Filter:INFO: IPersistStream interface queried \n")}),
            capture.Lines())
      << capture.Text();
}

TEST_F(FilterObjectTest, PersistenceMethods) {
  ComPtr<IPersistFile> file;
  ASSERT_EQ(S_OK, Create(file));
  ComPtr<IPersistStream> stream;
  ASSERT_EQ(S_OK, file.As(&stream));

  CLSID clsid = {};
  EXPECT_EQ(S_OK, file->GetClassID(&clsid));
  EXPECT_EQ(CLSID_ArcwiseFilter, clsid);
  clsid = CLSID_NULL;
  EXPECT_EQ(S_OK, stream->GetClassID(&clsid));
  EXPECT_EQ(CLSID_ArcwiseFilter, clsid);

  EXPECT_EQ(S_FALSE, file->IsDirty());
  EXPECT_EQ(S_FALSE, stream->IsDirty());
  EXPECT_EQ(E_NOTIMPL, file->Save(W("/nowhere.zip"), TRUE));
  EXPECT_EQ(S_OK, file->SaveCompleted(W("/nowhere.zip")));
  ComPtr<IStream> memory;
  memory.Attach(SHCreateMemStream(nullptr, 0));
  EXPECT_EQ(E_NOTIMPL, stream->Save(memory.Get(), TRUE));
  ULARGE_INTEGER size = {};
  EXPECT_EQ(E_NOTIMPL, stream->GetSizeMax(&size));

  // Nothing loaded yet.
  LPOLESTR path = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(E_FAIL, file->GetCurFile(&path));
  EXPECT_EQ(nullptr, path);
}

TEST_F(FilterObjectTest, BindRegionIsNotSupported) {
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  FILTERREGION region = {1, 0, 1};
  void* unknown = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOTIMPL, filter->BindRegion(region, IID_IUnknown, &unknown));
  EXPECT_EQ(nullptr, unknown);
}

}  // namespace
}  // namespace filter_test
