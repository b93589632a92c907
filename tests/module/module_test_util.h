// Shared pieces of the module tests, which treat libarcwise.so as a host
// does and never link it: registering it in the test's private registry, a
// fixture that makes filter objects through the COM runtime and leaves the
// module unloaded after every test, the module's own DllCanUnloadNow reached
// through the loader, and PumpTest, which registers the module by its own
// DllRegisterServer (so nested ".zip" files reach it through the persistent
// handler) with the stock and fake nested filters. The rest comes from
// filter/host_test_util.h. One thread at a time.
#pragma once

#include "filter/host_test_util.h"
#include "support/loaded_module.h"

namespace module_test {

using namespace host_test;

const std::string kModulePath = ARCWISE_MODULE_PATH;

// The published class identifier, from its text: these tests are an outside
// host, so the module's constant is checked rather than trusted.
inline CLSID ArcwiseClsid() {
  CLSID clsid = {};
  EXPECT_EQ(S_OK, CLSIDFromString(W("{356CE73D-53A5-4029-B5D3-9E4950B8BEDD}"), &clsid));
  return clsid;
}

// Whether the dynamic loader has the module mapped right now.
inline bool IsLoaded() { return arcwise_test::IsLoaded(kModulePath); }

// The loaded module's own DllCanUnloadNow (the copy the COM runtime loaded).
// It answers S_OK or S_FALSE only, so the two codes for "not asked" cannot
// be taken for an answer.
inline HRESULT ModuleCanUnloadNow() {
  const HRESULT hr = arcwise_test::CallIfLoaded<HRESULT>(kModulePath, "DllCanUnloadNow", E_UNEXPECTED, E_NOTIMPL);
  EXPECT_NE(E_UNEXPECTED, hr) << "the module is not loaded";
  EXPECT_NE(E_NOTIMPL, hr) << "the module has no DllCanUnloadNow";
  return hr;
}

// Registers path as the in-process server of clsid, as the module's own
// registration does.
inline void RegisterServer(REFCLSID clsid, const std::string& path) {
  const WString key = W("CLSID\\") + GuidToString(clsid) + W("\\InprocServer32");
  SetString(HKEY_CLASSES_ROOT, key, nullptr, Utf8ToUtf16(path));
  SetString(HKEY_CLASSES_ROOT, key, W("ThreadingModel"), W("Both"));
}

inline void UnregisterServer(REFCLSID clsid) {
  SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(clsid)).c_str());
}

// The module is registered as the filter class's server. After each test
// every object must have been released, so the module unloads; a test that
// leaks an object fails here.
class ModuleTest : public HostTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(IsLoaded()) << "the module is loaded before the test";
    HostTest::SetUp();
    if (HasFatalFailure()) return;
    m_clsid = ArcwiseClsid();
    RegisterServer(m_clsid, kModulePath);
  }

  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded()) << "the module is still loaded: an object was not released";
    UnregisterServer(m_clsid);
    HostTest::TearDown();
  }

  HRESULT CreateObject(REFIID riid, void** object) override {
    return CoCreateInstance(m_clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
  }

  CLSID m_clsid = {};
};

// libarcwise.so registered by itself (its class, the ".zip" persistent
// handler), the stock filters and the fake filter, debug output at level 3
// captured from the module's first load on.
class PumpTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    SetProductDword(W("DebugMode"), 3);
    RunDllRegisterServer(kModulePath);
    RegisterNestedFilters();
    ASSERT_FALSE(IsLoaded()) << "registering left the module loaded";
  }

  void TearDown() override {
    ModuleTest::TearDown();
    EXPECT_EQ(0, FakeLiveObjects()) << "a fake filter object was not released";
  }

  arcwise_test::DebugCapture m_capture;
};

}  // namespace module_test
