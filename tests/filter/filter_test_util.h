// The fixture of the filter tests that drive CArcwise as a host would but
// make it directly, from the filter library linked into the test: no module,
// no class lookup of our own. What the module does on its first load is done
// here on the first Create of a test: the logger starts from the product
// key, one ArcwiseConfiguration is read for the test's objects, and a class
// object for CLSID_ArcwiseFilter, registered with the COM runtime, serves
// the nested ".zip" files the persistent handler sends back to us. Nested
// filters of other types (stock, fake) come from their modules as on any
// machine. After each test no filter object may be alive (the server's own
// count, which DllCanUnloadNow reads) and no fake filter object either.
// One thread at a time.
#pragma once

#include <memory>
#include <new>

#include "filter/host_test_util.h"

#include "diagnostics/Debugger.h"
#include "diagnostics/FilterConfiguration.h"
#include "filter/Arcwise.h"
#include "server/ServerState.h"

namespace filter_test {

using namespace host_test;

// Filter objects of the server alive in this process.
inline LONG LiveObjects() { return InterlockedCompareExchange(&g_moduleRefCount, 0, 0); }

// Makes CArcwise objects over one configuration, for the nested archives the
// walk hands back to the COM runtime. Owned by the fixture; the runtime
// holds it only between registration and revocation, so it starts at zero.
class ArcwiseClassObject final : public arcwise_test::ComObject<IClassFactory> {
 public:
  explicit ArcwiseClassObject(const ArcwiseConfiguration* configuration)
      : ComObject(0), m_configuration(configuration) {}

  // A new object answering riid, as the module's class factory makes it.
  static HRESULT Make(const ArcwiseConfiguration* configuration, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return arcwise_test::HandOut(new (std::nothrow) CArcwise(configuration), riid, object);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return Make(m_configuration, riid, object);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  void OnFinalRelease() override {}

  const ArcwiseConfiguration* m_configuration;
};

class FilterTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(0, LiveObjects()) << "a filter object is alive before the test";
  }

  void TearDown() override {
    if (m_cookie) {
      EXPECT_EQ(S_OK, CoRevokeClassObject(m_cookie));
    }
    if (m_classObject) {
      EXPECT_EQ(0u, m_classObject->RefCount()) << "the class object is still held after revoking";
    }
    m_classObject.reset();
    m_configuration.reset();
    EXPECT_EQ(0, LiveObjects()) << "a filter object was not released";
    EXPECT_EQ(0, FakeLiveObjects()) << "a fake filter object was not released";
    HostTest::TearDown();
    // Silent again, as the logger of a process that has not loaded us.
    g_debugger.Start(ARCWISE_PRODUCT_KEY, W("Quillmark Arcwise Filter"));
  }

  HRESULT CreateObject(REFIID riid, void** object) override {
    StartOnce();
    return ArcwiseClassObject::Make(m_configuration.get(), riid, object);
  }

  // The .zip persistent handler names the filter class, as the module's own
  // registration writes it, so nested archives come back to the class
  // object registered in StartOnce.
  void BindZipToFilterClass() {
    const WString handler = GuidToString(CLSID_ArcwisePersistentHandler);
    SetString(HKEY_CLASSES_ROOT, W(".zip\\PersistentHandler"), nullptr, handler);
    SetString(HKEY_CLASSES_ROOT,
              W("CLSID\\") + handler + W("\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}"),
              nullptr, GuidToString(CLSID_ArcwiseFilter));
  }

 private:
  void StartOnce() {
    if (m_configuration) return;
    g_debugger.Start(ARCWISE_PRODUCT_KEY, W("Quillmark Arcwise Filter"));
    m_configuration = std::make_unique<ArcwiseConfiguration>();
    m_classObject = std::make_unique<ArcwiseClassObject>(m_configuration.get());
    EXPECT_EQ(S_OK, CoRegisterClassObject(CLSID_ArcwiseFilter, m_classObject.get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &m_cookie));
  }

  std::unique_ptr<ArcwiseConfiguration> m_configuration;
  std::unique_ptr<ArcwiseClassObject> m_classObject;
  DWORD m_cookie = 0;
};

// The stock filters, the fake filter and ".zip" bound to the filter class,
// debug output at level 3 captured from the first object on.
class PumpTest : public FilterTest {
 protected:
  void SetUp() override {
    FilterTest::SetUp();
    if (HasFatalFailure()) return;
    SetProductDword(W("DebugMode"), 3);
    BindZipToFilterClass();
    RegisterNestedFilters();
  }

  arcwise_test::DebugCapture m_capture;
};

}  // namespace filter_test
