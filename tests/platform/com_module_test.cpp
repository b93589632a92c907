// The COM runtime loading real in-process servers: the test module is
// registered under HKCR\CLSID\{...}\InprocServer32 in this process's private
// registry and created through CoCreateInstance, as a host creates a filter.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "compat/ComPtr.h"
#include <objbase.h>
#include <shlwapi.h>

#include "platform/modules/test_com_module.h"
#include "support/loaded_module.h"
#include "support/registry_util.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace {

const std::string kModulePath = ARCWISE_TEST_COM_MODULE;
const std::string kNoEntryModulePath = ARCWISE_TEST_NO_ENTRY_MODULE;

using arcwise_test::IsLoaded;

void SetDefaultValue(const WString& subkey, const WString& value, DWORD type = REG_SZ) {
  arcwise_test::SetString(HKEY_CLASSES_ROOT, subkey, nullptr, value, type);
}

void RegisterServer(REFCLSID clsid, const WString& path, DWORD type = REG_SZ) {
  SetDefaultValue(W("CLSID\\") + GuidToString(clsid) + W("\\InprocServer32"), path, type);
}

void UnregisterServer(REFCLSID clsid) { SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(clsid)).c_str()); }

class ComModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    RegisterServer(CLSID_ArcwiseTestCounter, Utf8ToUtf16(kModulePath));
    RegisterServer(CLSID_ArcwiseTestNesting, Utf8ToUtf16(kModulePath));
  }
  void TearDown() override {
    // Every test releases what it made, so the module must go now.
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(kModulePath)) << "the test module is still loaded after the test";
    UnregisterServer(CLSID_ArcwiseTestCounter);
    UnregisterServer(CLSID_ArcwiseTestNesting);
    CoUninitialize();
  }
};

TEST_F(ComModuleTest, LoadsOnceAndUnloadsOnlyWhenTheModuleAgrees) {
  ASSERT_FALSE(IsLoaded(kModulePath));

  ComPtr<ITestCounter> first, second;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&first)));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&second)));
  EXPECT_TRUE(IsLoaded(kModulePath));
  // One copy of the module serves both: they see the same counter, and the
  // class objects CoCreateInstance used are gone again.
  EXPECT_EQ(2, first->LiveObjects());
  EXPECT_EQ(2, second->LiveObjects());
  EXPECT_EQ(0, first->CanUnloadNowCalls());

  CoFreeUnusedLibraries();  // the module says S_FALSE: it stays
  EXPECT_TRUE(IsLoaded(kModulePath));
  EXPECT_EQ(1, first->CanUnloadNowCalls());

  second.Reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded(kModulePath));
  EXPECT_EQ(1, first->LiveObjects());
  EXPECT_EQ(2, first->CanUnloadNowCalls());

  first.Reset();
  // A single dlclose unmaps it: the runtime held exactly one reference.
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLoaded(kModulePath));

  // Created again, it is a fresh load with fresh counters.
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&first)));
  EXPECT_EQ(0, first->CanUnloadNowCalls());
  EXPECT_EQ(1, first->LiveObjects());
}

TEST_F(ComModuleTest, HeldClassObjectAndServerLockKeepTheModule) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_ArcwiseTestCounter, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_PPV_ARGS(&factory)));
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded(kModulePath));

  ComPtr<ITestCounter> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
  EXPECT_EQ(2, object->LiveObjects());  // the class object and the instance
  ComPtr<IUnknown> outer;
  ASSERT_EQ(S_OK, object.As(&outer));
  ComPtr<ITestCounter> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_PPV_ARGS(&aggregated)));
  EXPECT_FALSE(aggregated);
  outer.Reset();
  object.Reset();

  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded(kModulePath));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
}

TEST_F(ComModuleTest, ModuleCreatesNestedObjectsThroughTheRuntime) {
  ComPtr<ITestCounter> outer;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestNesting, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&outer)));
  ComPtr<ITestCounter> inner;
  ASSERT_EQ(S_OK, outer->GetInner(&inner));
  ASSERT_TRUE(inner);
  EXPECT_EQ(2, outer->LiveObjects());  // the nesting object and its inner object
  inner.Reset();
  outer.Reset();
}

TEST_F(ComModuleTest, ConcurrentCreationAndUnloadingStayBalanced) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 40;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&failures] {
      // Implicitly in the fixture's multithreaded apartment.
      for (int i = 0; i < kRounds; ++i) {
        ComPtr<ITestCounter> object;
        HRESULT hr = CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
        if (hr != S_OK || object->LiveObjects() < 1) ++failures;
        object.Reset();
        CoFreeUnusedLibraries();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
}

TEST_F(ComModuleTest, ExpandablePathIsExpandedFromTheEnvironment) {
  std::filesystem::path module(kModulePath);
  arcwise_test::ScopedEnv folder("ARCWISE_TEST_MODULE_DIR", module.parent_path().string());
  RegisterServer(CLSID_ArcwiseTestCounter, Utf8ToUtf16("%ARCWISE_TEST_MODULE_DIR%/" + module.filename().string()),
                 REG_EXPAND_SZ);
  ComPtr<ITestCounter> object;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
}

TEST_F(ComModuleTest, UnknownOrUnservedClassesFail) {
  ComPtr<ITestCounter> object;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_ArcwiseTestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  EXPECT_FALSE(object);

  // A class key without a server path is not registered either.
  SetDefaultValue(W("CLSID\\") + GuidToString(CLSID_ArcwiseTestUnserved), W("no server"));
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_ArcwiseTestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));

  // The module loads but does not serve the class: its own answer comes back.
  RegisterServer(CLSID_ArcwiseTestUnserved, Utf8ToUtf16(kModulePath));
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            CoCreateInstance(CLSID_ArcwiseTestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  EXPECT_FALSE(object);
  UnregisterServer(CLSID_ArcwiseTestUnserved);

  // Only in-process servers exist here.
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&object)));
  // An interface the object lacks.
  ComPtr<IStream> stream;
  EXPECT_EQ(E_NOINTERFACE,
            CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&stream)));
  EXPECT_FALSE(stream);
  EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr));
}

TEST_F(ComModuleTest, BrokenServerPathsGiveWindowsErrors) {
  arcwise_test::DebugCapture capture;
  std::string missing = arcwise_test::MakeTestFolder("com-missing") + "/libabsent-filter.so";
  RegisterServer(CLSID_ArcwiseTestUnserved, Utf8ToUtf16(missing));
  ComPtr<IUnknown> object;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
            CoCreateInstance(CLSID_ArcwiseTestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  std::string text = capture.Text();
  EXPECT_NE(std::string::npos, text.find("libabsent-filter.so")) << text;
  EXPECT_NE(std::string::npos, text.find("No such file")) << "the loader's own message: " << text;

  capture.Clear();
  RegisterServer(CLSID_ArcwiseTestUnserved, Utf8ToUtf16(kNoEntryModulePath));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND),
            CoCreateInstance(CLSID_ArcwiseTestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  EXPECT_NE(std::string::npos, capture.Text().find("DllGetClassObject")) << capture.Text();
  EXPECT_FALSE(IsLoaded(kNoEntryModulePath)) << "a module that is no server must not stay loaded";
  UnregisterServer(CLSID_ArcwiseTestUnserved);
}

TEST(ComModuleNoApartment, CreationNeedsAnApartment) {
  RegisterServer(CLSID_ArcwiseTestCounter, Utf8ToUtf16(kModulePath));
  ComPtr<ITestCounter> object;
  EXPECT_EQ(CO_E_NOTINITIALIZED,
            CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  EXPECT_FALSE(IsLoaded(kModulePath));

  // The last apartment of the process to end unloads what it can.
  ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ArcwiseTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
  object.Reset();
  EXPECT_TRUE(IsLoaded(kModulePath));
  CoUninitialize();
  EXPECT_FALSE(IsLoaded(kModulePath));
  UnregisterServer(CLSID_ArcwiseTestCounter);
}

}  // namespace
