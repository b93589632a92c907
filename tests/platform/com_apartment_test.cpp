// Apartment rules of CoInitializeEx/CoUninitialize and what they allow:
// per-thread modes, S_FALSE and RPC_E_CHANGED_MODE, the implicit
// multithreaded apartment, and CO_E_NOTINITIALIZED outside any apartment.
#include <gtest/gtest.h>

#include <thread>

#include "compat/ComPtr.h"
#include "support/com_object.h"
#include <objbase.h>

namespace {

const CLSID CLSID_LocalThing = {0x2E7C9F10, 0x51A4, 0x4B8E, {0x8D, 0x02, 0x6B, 0x33, 0x90, 0x1F, 0xAA, 0x01}};

// A class object served from the test itself; it lives on the test's stack.
class CLocalFactory final : public arcwise_test::ComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** ppv) override { return QueryInterface(riid, ppv); }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  void OnFinalRelease() override {}
};

// Runs body on a fresh thread (a thread with no apartment) and waits.
template <class F>
void OnNewThread(F body) {
  std::thread thread(body);
  thread.join();
}

TEST(ComApartment, SameModeCountsOtherModeIsRefused) {
  OnNewThread([] {
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));  // CoInitialize is the STA form
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    // One level left: the mode is still fixed.
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    // Fully left: the thread may choose again.
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one too many is ignored, as on Windows
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
  });
}

TEST(ComApartment, ReservedArgumentMustBeNull) {
  OnNewThread([] {
    int reserved = 0;
    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(&reserved, COINIT_MULTITHREADED));
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
  });
}

TEST(ComApartment, ThreadsChooseTheirModesIndependently) {
  OnNewThread([] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    OnNewThread([] {
      EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
      CoUninitialize();
    });
    CoUninitialize();
  });
}

TEST(ComApartment, NoApartmentMeansNotInitializedUnlessTheMtaExists) {
  CLocalFactory factory;
  const auto create = [] {
    ComPtr<IClassFactory> object;
    return CoCreateInstance(CLSID_LocalThing, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  };
  OnNewThread([&] {
    DWORD cookie = 0;
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoRegisterClassObject(CLSID_LocalThing, &factory, CLSCTX_INPROC_SERVER,
                                                         REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_EQ(CO_E_NOTINITIALIZED, create());
  });

  // A single-threaded apartment elsewhere does not help a thread without one.
  OnNewThread([&] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_LocalThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie));
    EXPECT_EQ(S_OK, create());
    OnNewThread([&] { EXPECT_EQ(CO_E_NOTINITIALIZED, create()); });
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    CoUninitialize();
  });

  // While any thread is in the multithreaded apartment, threads without an
  // apartment are implicitly in it.
  OnNewThread([&] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_LocalThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie));
    OnNewThread([&] { EXPECT_EQ(S_OK, create()); });
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    CoUninitialize();
    OnNewThread([&] { EXPECT_EQ(CO_E_NOTINITIALIZED, create()); });
  });
  EXPECT_EQ(1u, factory.RefCount());
}

TEST(ComApartment, EndingAnApartmentRevokesItsClasses) {
  CLocalFactory factory;
  OnNewThread([&] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_LocalThing, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie));
    EXPECT_EQ(2u, factory.RefCount());
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
    EXPECT_EQ(2u, factory.RefCount()) << "the apartment has not ended yet";
    CoUninitialize();
    EXPECT_EQ(1u, factory.RefCount());
    EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(cookie));
  });
}

}  // namespace
