// The nested filter loader against the scriptable fake filter registered in
// the test's private registry: the path route, the stream route with its log
// lines, the handler lookup, and every failure route of the stream route,
// after each of which the file is closed again (it opens for writing) and no
// object is left alive.
#include <gtest/gtest.h>

#include <fstream>

#include <objbase.h>
#include <shlwapi.h>

#include "diagnostics/Debugger.h"
#include "filter/NestedFilterLoader.h"
#include "host_test_util.h"
#include "modules/fake_filter.h"
#include "support/test_env.h"

namespace {

const WString kFakeStreamOnly = W("{9B185B62-BBC1-41CF-B6A0-0AC153C3FED9}");

using host_test::FakeLiveObjects;
using host_test::kProductKey;

class NestedFilterLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::RegisterFakeFilters(Utf8ToUtf16(ARCWISE_FAKE_FILTER_MODULE)));
    host_test::SetProductDword(W("DebugMode"), 3);
    g_debugger.Start(kProductKey.c_str(), W("Quillmark Arcwise Filter"));
    m_folder = arcwise_test::MakeTestFolder("loader");
    m_capture.Clear();  // the logger's own start-up lines
  }

  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_EQ(0, FakeLiveObjects());
    arcwise_fake::UnregisterFakeFilters();
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey.c_str());
    g_debugger.Start(kProductKey.c_str(), nullptr);
    CoUninitialize();
  }

  WString Write(const std::string& name, const std::string& script) {
    const std::string path = m_folder + "/" + name;
    arcwise_test::WriteAll(path, script);
    return Utf8ToUtf16(path);
  }

  static bool CanOpenForWriting(const WString& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
  }

  static ComPtr<IStream> OpenStream(const WString& path) {
    ComPtr<IStream> stream;
    EXPECT_EQ(S_OK, SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                           &stream));
    return stream;
  }

  size_t Count(const WString& needle) const {
    size_t count = 0;
    for (const WString& line : m_capture.Lines()) count += line.find(needle) != WString::npos;
    return count;
  }

  arcwise_test::DebugCapture m_capture;
  std::string m_folder;
};

TEST_F(NestedFilterLoaderTest, PathRouteGivesTheFilterWithoutStreamOrLogLine) {
  const WString path = Write("doc.fake", "chunk text hello\n");
  NestedFilter nested = LoadNestedFilter(path.c_str());
  ASSERT_TRUE(nested);
  EXPECT_FALSE(nested.stream);
  ComPtr<IFilter> filter;
  EXPECT_EQ(S_OK, nested.object.As(&filter));
  EXPECT_EQ(0u, Count(W("Quillmark Arcwise Filter:"))) << m_capture.Text();
}

TEST_F(NestedFilterLoaderTest, TypesWithoutFilterGiveNothingSilently) {
  const WString none = Write("doc.unregistered", "chunk text hello\n");
  const WString noFilter = Write("doc.fakenofilter", "chunk text hello\n");
  EXPECT_FALSE(LoadNestedFilter(none.c_str()));
  EXPECT_FALSE(LoadNestedFilter(noFilter.c_str()));
  EXPECT_EQ(0u, Count(W("Quillmark Arcwise Filter:"))) << m_capture.Text();
  EXPECT_TRUE(CanOpenForWriting(none));
  EXPECT_TRUE(CanOpenForWriting(noFilter));
}

TEST_F(NestedFilterLoaderTest, StreamRouteLogsAndKeepsTheFileReadOnlyWhileHeld) {
  const WString path = Write("doc.fakestream", "chunk text hello\n");
  {
    NestedFilter nested = LoadNestedFilter(path.c_str());
    ASSERT_TRUE(nested);
    ASSERT_TRUE(nested.stream);
    EXPECT_EQ(1u, Count(W("INFO: Calling IPersistStream interface for ") + path + W("\n")));
    EXPECT_EQ(1u, Count(W("INFO: Default IFilter GUID for ") + path + W(" is ") + kFakeStreamOnly + W(" \n")));
    EXPECT_FALSE(CanOpenForWriting(path));
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader) << "others may still read the file";
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  }
  EXPECT_TRUE(CanOpenForWriting(path));
}

TEST_F(NestedFilterLoaderTest, StreamRouteLoadFailureReleasesTheFile) {
  const WString path = Write("bad.fakestream", "load-error 0x80070005\n");
  EXPECT_FALSE(LoadNestedFilter(path.c_str()));
  EXPECT_EQ(1u, Count(W("ERROR: IPersistStream->Load failed for ") + kFakeStreamOnly + W(". Error=0x80070005 \n")));
  EXPECT_TRUE(CanOpenForWriting(path));
}

TEST_F(NestedFilterLoaderTest, FindsTheFilterClassOfTheExtension) {
  WString text = W("untouched");
  EXPECT_TRUE(FindPersistentHandlerFilter(W("C:\\x\\Doc.FAKESTREAM"), text));
  EXPECT_EQ(kFakeStreamOnly, text);
  text = W("untouched");
  EXPECT_FALSE(FindPersistentHandlerFilter(W("doc.unregistered"), text));
  EXPECT_FALSE(FindPersistentHandlerFilter(W("no_extension"), text));
  // A handler that names no filter.
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::SetClassesRootDefault(W(".handleronly\\PersistentHandler"),
                                                               W("{00000000-1111-2222-3333-444444444444}")));
  EXPECT_FALSE(FindPersistentHandlerFilter(W("doc.handleronly"), text));
  EXPECT_EQ(WString(W("untouched")), text);
}

// Each way CreateDefaultFilter can fail: its log line, no object, and the
// file free for writing once the caller drops its own stream.
TEST_F(NestedFilterLoaderTest, EveryFailureOfTheStreamRouteReleasesWhatItHeld) {
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::BindExtension(W(".badguid"), CLSID_ArcwiseFakeHandler, CLSID_NULL));
  ASSERT_EQ(ERROR_SUCCESS,
            arcwise_fake::SetClassesRootDefault(W("CLSID\\") + GuidToString(CLSID_ArcwiseFakeHandler) +
                                                    W("\\PersistentAddinsRegistered\\") + GuidToString(IID_IFilter),
                                                W("not-a-guid")));
  const CLSID unregistered = {0x1234ABCD, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::BindExtension(W(".noclass"), CLSID_ArcwiseFakeHandlerStreamOnly,
                                                       unregistered));
  // Binding .noclass rewrote the stream-only handler's filter, so the
  // stream-only fake is reached here through another handler.
  ASSERT_EQ(ERROR_SUCCESS, arcwise_fake::BindExtension(W(".fakestream2"), CLSID_ArcwiseFakeHandlerNotAFilter,
                                                       CLSID_ArcwiseFakeFilterStreamOnly));

  struct Case {
    std::string name;
    std::string script;
    WString line;
  };
  const Case cases[] = {
      {"noextension", "chunk text x\n", W("INFO: Default IFilter not found for ")},
      {"doc.unregistered", "chunk text x\n", W("INFO: Default IFilter not found for ")},
      {"doc.badguid", "chunk text x\n", W("ERROR: IFilter CLSID is not a valid GUID \n")},
      {"doc.noclass", "chunk text x\n",
       W("INFO: CoCreateInstance failed for ") + GuidToString(unregistered) + W(". Error=0x80040154 \n")},
      {"doc.fakefile", "chunk text x\n",
       W("INFO: QueryInterface(IPersistStream) failed for {9B185B63-BBC1-41CF-B6A0-0AC153C3FED9}. Error=0x80004002 \n")},
      {"doc.fakestream2", "load-error 0x8004170C\n",
       W("ERROR: IPersistStream->Load failed for ") + kFakeStreamOnly + W(". Error=0x8004170c \n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WString path = Write(c.name, c.script);
    m_capture.Clear();
    {
      ComPtr<IStream> stream = OpenStream(path);
      ComPtr<IUnknown> out;
      EXPECT_FALSE(CreateDefaultFilter(stream.Get(), out));
      EXPECT_FALSE(out);
    }
    EXPECT_EQ(1u, Count(c.line)) << m_capture.Text();
    EXPECT_TRUE(CanOpenForWriting(path));
    EXPECT_EQ(0, FakeLiveObjects());
  }

  // A stream without a name, and no stream at all.
  m_capture.Clear();
  ComPtr<IStream> memory;
  memory.Attach(SHCreateMemStream(nullptr, 0));
  ComPtr<IUnknown> out;
  EXPECT_FALSE(CreateDefaultFilter(memory.Get(), out));
  EXPECT_EQ(1u, Count(W("ERROR: Unable to retrieve statstg from the IStorage stream. Error=0x00000000 \n")))
      << m_capture.Text();
  EXPECT_FALSE(CreateDefaultFilter(nullptr, out));
  EXPECT_FALSE(out);
}

}  // namespace
