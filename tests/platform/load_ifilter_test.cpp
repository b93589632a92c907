// LoadIFilter against real in-process servers: the scriptable fake nested
// filter is registered in this process's private registry under the
// persistent-handler layout and loaded by path, as Windows Search loads a
// filter for a file found in an archive.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "compat/ComPtr.h"
#include <ntquery.h>

#include "filter/modules/fake_filter.h"
#include "support/loaded_module.h"
#include "support/files.h"
#include "support/test_env.h"

namespace {

const std::string kFakeModule = ARCWISE_FAKE_FILTER_MODULE;

// The fake's own counter, looked up in the loaded module; -1 while it is not
// loaded.
LONG FakeCounter(const char* name) { return arcwise_test::CallIfLoaded<LONG>(kFakeModule, name, -1, -2); }

// dwMode of the fake's last IPersistFile::Load.
DWORD FakeLastLoadMode() {
  return arcwise_test::CallIfLoaded<DWORD>(kFakeModule, "ArcwiseFakeFilterLastLoadMode", DWORD(-1), DWORD(-1));
}

bool FakeLoaded() { return arcwise_test::IsLoaded(kFakeModule); }

class LoadIFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::RegisterFakeFilters(Utf8ToUtf16(kFakeModule)));
    m_folder = arcwise_test::MakeTestFolder("load_ifilter");
  }
  void TearDown() override {
    // Every route, failed or not, must leave no object of the filter alive.
    if (FakeLoaded()) {
      EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterLiveObjects"));
    }
    CoFreeUnusedLibraries();
    EXPECT_FALSE(FakeLoaded()) << "the fake filter is still loaded after the test";
    arcwise_fake::UnregisterFakeFilters();
    CoUninitialize();
  }

  WString WriteFile(const std::string& name, const std::string& content) {
    std::string path = m_folder + "/" + name;
    arcwise_test::WriteAll(path, content);
    return Utf8ToUtf16(path);
  }

  std::string m_folder;
};

TEST_F(LoadIFilterTest, LoadsTheRegisteredFilterByPathReadOnlySharingAll) {
  WString path = WriteFile("notes.fake", "chunk text hello\n");
  IUnknown* pUnknown = nullptr;
  ASSERT_EQ(S_OK, LoadIFilter(path.c_str(), nullptr, reinterpret_cast<void**>(&pUnknown)));
  ASSERT_NE(nullptr, pUnknown);
  ComPtr<IUnknown> object;
  object.Attach(pUnknown);

  // The identity comes back, and it is a filter loaded with the file by path.
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(object.Get(), identity.Get());
  EXPECT_EQ(1, FakeCounter("ArcwiseFakeFilterPathLoads"));
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterStreamLoads"));
  EXPECT_EQ(DWORD(STGM_READ | STGM_SHARE_DENY_NONE), FakeLastLoadMode());

  ComPtr<IPersistFile> persist;
  ASSERT_EQ(S_OK, object.As(&persist));
  LPOLESTR current = nullptr;
  ASSERT_EQ(S_OK, persist->GetCurFile(&current));
  EXPECT_EQ(path, WString(current));
  CoTaskMemFree(current);

  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, object.As(&filter));
  ULONG flags = 99;
  ASSERT_EQ(S_OK, filter->Init(0, 0, nullptr, &flags));
  STAT_CHUNK chunk = {};
  ASSERT_EQ(S_OK, filter->GetChunk(&chunk));
  WCHAR text[16] = {};
  ULONG cwc = 16;
  EXPECT_EQ(FILTER_S_LAST_TEXT, filter->GetText(&cwc, text));
  EXPECT_EQ(W("hello"), WString(text, cwc));
  EXPECT_EQ(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&chunk));
  // Only the filter object itself is alive: the class object is gone.
  EXPECT_EQ(1, FakeCounter("ArcwiseFakeFilterLiveObjects"));
}

TEST_F(LoadIFilterTest, ExtensionsCompareWithoutCase) {
  WString path = WriteFile("UPPER.FAKE", "chunk text x\n");
  ComPtr<IUnknown> object;
  EXPECT_EQ(S_OK, LoadIFilter(path.c_str(), nullptr, reinterpret_cast<void**>(&object)));
  EXPECT_TRUE(object);
}

TEST_F(LoadIFilterTest, TypesWithoutAFilterAreNotAStreamCase) {
  const std::string names[] = {"noextension", "file.unknownext", "dotted.dir/plain"};
  std::filesystem::create_directories(m_folder + "/dotted.dir");
  for (const std::string& name : names) {
    WString path = WriteFile(name, "chunk text x\n");
    void* pv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, LoadIFilter(path.c_str(), nullptr, &pv)) << name;
    EXPECT_EQ(nullptr, pv) << name;
  }
  // A handler that names no filter, and a filter class that is not there.
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::SetClassesRootDefault(W(".nofilter\\PersistentHandler"),
                                                               W("{11111111-2222-3333-4444-555555555555}")));
  WString path = WriteFile("a.nofilter", "");
  void* pv = nullptr;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, LoadIFilter(path.c_str(), nullptr, &pv));
  const CLSID unregistered = {0x9B185B6F, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
  const CLSID handler = {0x9B185B7F, 0xBBC1, 0x41CF, {0xB6, 0xA0, 0x0A, 0xC1, 0x53, 0xC3, 0xFE, 0xD9}};
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::BindExtension(W(".noclass"), handler, unregistered));
  path = WriteFile("a.noclass", "");
  EXPECT_EQ(REGDB_E_CLASSNOTREG, LoadIFilter(path.c_str(), nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
  SHDeleteKeyW(HKEY_CLASSES_ROOT, W(".nofilter"));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, W(".noclass"));
  SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(handler)).c_str());
}

TEST_F(LoadIFilterTest, FilterTextThatIsNoClassIdIsReported) {
  ASSERT_EQ(ERROR_SUCCESS,
            arcwise_fake::SetClassesRootDefault(W("CLSID\\") + GuidToString(CLSID_ArcwiseFakeHandler) +
                                                    W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter),
                                                W("not a class id")));
  WString path = WriteFile("a.fake", "chunk text x\n");
  void* pv = nullptr;
  EXPECT_EQ(CO_E_CLASSSTRING, LoadIFilter(path.c_str(), nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
}

TEST_F(LoadIFilterTest, AFilterWithoutIPersistFileAnswersNoInterface) {
  WString path = WriteFile("a.fakestream", "chunk text x\n");
  void* pv = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(E_NOINTERFACE, LoadIFilter(path.c_str(), nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterPathLoads"));
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterLiveObjects"));
}

TEST_F(LoadIFilterTest, AnObjectThatIsNoFilterIsNotTakenForAStreamCase) {
  WString path = WriteFile("a.fakenofilter", "chunk text x\n");
  void* pv = nullptr;
  HRESULT hr = LoadIFilter(path.c_str(), nullptr, &pv);
  EXPECT_EQ(E_FAIL, hr);
  EXPECT_EQ(nullptr, pv);
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterLiveObjects"));
}

TEST_F(LoadIFilterTest, LoadFailuresPassThroughUnchanged) {
  WString path = WriteFile("broken.fake", "load-error 0x8004170B\n");
  void* pv = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(FILTER_E_PASSWORD, LoadIFilter(path.c_str(), nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterLiveObjects"));

  // A file that is not there: the filter's own open fails.
  WString missing = Utf8ToUtf16(m_folder + "/missing.fake");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), LoadIFilter(missing.c_str(), nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
  EXPECT_EQ(0, FakeCounter("ArcwiseFakeFilterLiveObjects"));
}

TEST_F(LoadIFilterTest, RejectsMissingArguments) {
  WString path = WriteFile("a.fake", "");
  EXPECT_EQ(E_INVALIDARG, LoadIFilter(path.c_str(), nullptr, nullptr));
  void* pv = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(E_INVALIDARG, LoadIFilter(nullptr, nullptr, &pv));
  EXPECT_EQ(nullptr, pv);
}

TEST_F(LoadIFilterTest, AggregationIsRefusedByFiltersThatDoNotSupportIt) {
  WString path = WriteFile("a.fake", "chunk text x\n");
  ComPtr<IUnknown> outer;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseFakeFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&outer)));
  void* pv = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, LoadIFilter(path.c_str(), outer.Get(), &pv));
  EXPECT_EQ(nullptr, pv);
}

}  // namespace
