// Classes a process serves itself (CoRegisterClassObject): they are found
// before the registry, in the contexts they were registered for, until
// revoked; references stay balanced.
#include <gtest/gtest.h>

#include <atomic>

#include "compat/ComPtr.h"
#include "support/com_object.h"
#include "support/registry_util.h"
#include <objbase.h>
#include <shlwapi.h>

namespace {

const CLSID CLSID_Served = {0x7D30B6E2, 0x1C5F, 0x4A09, {0xB4, 0x7E, 0x51, 0x0C, 0x2D, 0x98, 0x66, 0x10}};

std::atomic<LONG> g_liveThings{0};

class CThing final : public arcwise_test::ComObject<IPersist> {
 public:
  CThing() { ++g_liveThings; }
  ~CThing() { --g_liveThings; }
  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    *pClassID = CLSID_Served;
    return S_OK;
  }
};

// Owned by the test fixture, so its count can be read after the runtime let go.
class CThingFactory final : public arcwise_test::ComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return arcwise_test::HandOut(new CThing, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  void OnFinalRelease() override {}
};

class ComClassTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(1u, m_factory.RefCount()) << "the runtime kept or lost a reference";
    EXPECT_EQ(0, g_liveThings.load());
  }
  CThingFactory m_factory;
};

TEST_F(ComClassTableTest, RegisteredClassIsCreatedUntilRevoked) {
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Served, &m_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_EQ(2u, m_factory.RefCount());

  ComPtr<IPersist> thing;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Served, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&thing)));
  CLSID clsid;
  ASSERT_EQ(S_OK, thing->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_Served, clsid));
  EXPECT_EQ(1, g_liveThings.load());

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_Served, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
  EXPECT_EQ(&m_factory, factory.Get());
  ComPtr<IStream> wrong;
  EXPECT_EQ(E_NOINTERFACE, CoGetClassObject(CLSID_Served, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&wrong)));
  factory.Reset();
  thing.Reset();

  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
  EXPECT_EQ(1u, m_factory.RefCount());
  EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(cookie));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_Served, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&thing)));
}

TEST_F(ComClassTableTest, RegisteredClassComesBeforeTheRegistry) {
  // The registry names a server that does not exist; the registered class
  // object must be used without ever trying it.
  arcwise_test::SetString(HKEY_CLASSES_ROOT, W("CLSID\\") + GuidToString(CLSID_Served) + W("\\InprocServer32"),
                          nullptr, W("/nonexistent/libnothing.so"));

  ComPtr<IPersist> thing;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
            CoCreateInstance(CLSID_Served, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&thing)));
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Served, &m_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Served, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&thing)));
  thing.Reset();
  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
  EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyW(HKEY_CLASSES_ROOT, (W("CLSID\\") + GuidToString(CLSID_Served)).c_str()));
}

TEST_F(ComClassTableTest, ContextsMustOverlap) {
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Served, &m_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  ComPtr<IPersist> thing;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_Served, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&thing)));
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Served, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&thing)));
  thing.Reset();
  EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
}

TEST_F(ComClassTableTest, BadArgumentsAreRefused) {
  DWORD cookie = 0;
  EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(CLSID_Served, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie));
  EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(CLSID_Served, &m_factory, CLSCTX_INPROC_SERVER, 0, nullptr));
  EXPECT_EQ(E_INVALIDARG, CoGetClassObject(CLSID_Served, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr));
  EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(0));
}

TEST_F(ComClassTableTest, LeftoverRegistrationsAreReleasedWhenTheApartmentEnds) {
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Served, &m_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  // TearDown's CoUninitialize must give the reference back.
}

}  // namespace
