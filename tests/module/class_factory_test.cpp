// The module as a host meets it: libarcwise.so registered in the test's
// private registry, loaded by the COM runtime, its class object and module
// count observed through its own DllCanUnloadNow, its entry point through its
// log lines, and its export table through the dynamic symbol table.
#include <cstdio>
#include <future>
#include <latch>
#include <set>
#include <thread>

#include "module/module_test_util.h"

namespace module_test {
namespace {

using ModuleEntryTest = ModuleTest;

TEST_F(ModuleEntryTest, AnotherClassIsNotServedAndNothingIsCreated) {
  // A class registered to this module that it does not implement.
  const CLSID other = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
  RegisterServer(other, kModulePath);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            CoGetClassObject(other, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(nullptr, factory.Get());
  ASSERT_TRUE(IsLoaded());
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
  UnregisterServer(other);
}

TEST_F(ModuleEntryTest, ModuleCountFollowsClassObjectsFilterObjectsAndLocks) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow()) << "a class object is alive";
  factory = nullptr;
  EXPECT_EQ(S_OK, ModuleCanUnloadNow()) << "the only class object was released";

  // A filter object keeps the module even after its class object is gone.
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)));
  factory = nullptr;
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow()) << "a filter object is alive";
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded());
  filter = nullptr;
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());

  // A server lock outlives the class object that took it.
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory = nullptr;
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow()) << "LockServer(TRUE) holds the module";
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded());
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory = nullptr;
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(ModuleEntryTest, ClassObjectAnswersOnlyItsOwnInterfaces) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(S_OK, factory.As(&unknown));
  EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), unknown.Get());
  ComPtr<IPersist> persist;
  EXPECT_EQ(E_NOINTERFACE, factory.As(&persist));
  EXPECT_EQ(nullptr, persist.Get());
  unknown = nullptr;
  factory = nullptr;

  // Asking the module for an interface its class object lacks: no class
  // object is left behind, and the answer is E_UNEXPECTED.
  ComPtr<IPersistFile> wrong;
  EXPECT_EQ(E_UNEXPECTED, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr,
                                           IID_PPV_ARGS(&wrong)));
  EXPECT_EQ(nullptr, wrong.Get());
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(ModuleEntryTest, AggregationIsRefusedWithoutBlockingTheClassObject) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  ComPtr<IStream> outer;
  outer.Attach(SHCreateMemStream(nullptr, 0));
  ASSERT_TRUE(outer);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(m_clsid, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &object));

  // The refusal left the class object's lock free: another thread gets an
  // object from the same class object. (A lock left held would hang it; the
  // wait only bounds that hang.)
  auto other = std::async(std::launch::async, [&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<IFilter> filter;
    HRESULT hr = factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter));
    filter = nullptr;
    CoUninitialize();
    return hr;
  });
  ASSERT_EQ(std::future_status::ready, other.wait_for(std::chrono::seconds(60)))
      << "CreateInstance on another thread is blocked";
  EXPECT_EQ(S_OK, other.get());
  factory = nullptr;
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(ModuleEntryTest, InterfaceTheFilterLacksLeavesNoObject) {
  ComPtr<IPersistStorage> storage;
  EXPECT_EQ(E_UNEXPECTED, Create(storage));
  EXPECT_EQ(nullptr, storage.Get());
  ASSERT_TRUE(IsLoaded());
  EXPECT_EQ(S_OK, ModuleCanUnloadNow()) << "the refused filter object is still counted";

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(m_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(E_UNEXPECTED, factory->CreateInstance(nullptr, IID_PPV_ARGS(&storage)));
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow());
  factory = nullptr;
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(ModuleEntryTest, EntryPointLogsLoadAndUnload) {
  SetProductDword(W("DebugMode"), 1);
  arcwise_test::DebugCapture capture;
  ComPtr<IFilter> filter;
  ASSERT_EQ(S_OK, Create(filter));
  EXPECT_EQ(1u, CountLines(capture.Lines(), W("Quillmark Arcwise Filter:INFO: DLL was loaded \n")))
      << capture.Text();
  EXPECT_EQ(0u, CountLines(capture.Lines(), W("DLL was unloaded")));
  filter = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLoaded());
  EXPECT_EQ(1u, CountLines(capture.Lines(), W("Quillmark Arcwise Filter:INFO: DLL was unloaded \n")))
      << capture.Text();
}

TEST_F(ModuleEntryTest, FirstObjectsOnEightThreadsBuildOneConfiguration) {
  SetProductDword(W("DebugMode"), 3);
  arcwise_test::DebugCapture capture;
  constexpr int kThreads = 8;
  std::vector<ComPtr<IFilter>> filters(kThreads);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      start.arrive_and_wait();
      // Each CoCreateInstance gets a class object of its own.
      results[i] = Create(filters[i]);
      CoUninitialize();
    });
  }
  for (auto& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(S_OK, results[i]) << "thread " << i;

  const auto lines = capture.Lines();
  EXPECT_EQ(1u, CountLines(lines, W("INFO: AppTempDir is set to "))) << capture.Text();
  EXPECT_EQ(1u, CountLines(lines, W("INFO: UseSingleMetadataInstance Flag is set to")));
  EXPECT_EQ(1u, CountLines(lines, W("INFO: DLL was loaded")));

  // Later objects use the same configuration: nothing is read again.
  ComPtr<IFilter> later;
  ASSERT_EQ(S_OK, Create(later));
  EXPECT_EQ(1u, CountLines(capture.Lines(), W("INFO: AppTempDir is set to ")));
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow());
  later = nullptr;
  filters.clear();
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(ModuleEntryTest, ExportsExactlyTheFourServerFunctions) {
  const std::string command = "nm -D --defined-only '" + kModulePath + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  std::set<std::string> names;
  char line[1024];
  while (fgets(line, sizeof(line), pipe)) {
    char address[64], type[8], name[512];
    if (sscanf(line, "%63s %7s %511s", address, type, name) == 3) names.insert(name);
  }
  const int status = pclose(pipe);
  if (status != 0 && names.empty()) GTEST_SKIP() << "nm is not available to read the symbol table";
  EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                   "DllUnregisterServer"}),
            names);
}

}  // namespace
}  // namespace module_test
