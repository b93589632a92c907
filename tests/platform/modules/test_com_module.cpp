// A small in-process server for the COM runtime tests. It counts its live
// objects (instances and class objects) and server locks, and its
// DllCanUnloadNow answers S_OK only when all are gone, so a test can see
// that the runtime unloads it exactly then.
#include <atomic>
#include <new>

#include "support/com_object.h"
#include "test_com_module.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_locks{0};
std::atomic<LONG> g_canUnloadCalls{0};

class CTestObject final : public arcwise_test::ComObject<ITestCounter> {
 public:
  explicit CTestObject(ITestCounter* pInner) : m_pInner(pInner) { ++g_liveObjects; }
  ~CTestObject() {
    if (m_pInner) m_pInner->Release();
    --g_liveObjects;
  }

  STDMETHODIMP_(LONG) LiveObjects() override { return g_liveObjects; }
  STDMETHODIMP_(LONG) CanUnloadNowCalls() override { return g_canUnloadCalls; }
  STDMETHODIMP GetInner(ITestCounter** ppInner) override {
    if (!ppInner) return E_POINTER;
    *ppInner = m_pInner;
    if (m_pInner) m_pInner->AddRef();
    return S_OK;
  }

 private:
  ITestCounter* m_pInner;  // owned reference, nesting objects only
};

class CTestFactory final : public arcwise_test::ComObject<IClassFactory> {
 public:
  // pInnerFactory: for the nesting class, the counter class object it creates
  // inner objects with (owned reference); nullptr for the counter class.
  explicit CTestFactory(IClassFactory* pInnerFactory) : m_pInnerFactory(pInnerFactory) { ++g_liveObjects; }
  ~CTestFactory() {
    if (m_pInnerFactory) m_pInnerFactory->Release();
    --g_liveObjects;
  }

  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    ITestCounter* pInner = nullptr;
    if (m_pInnerFactory) {
      HRESULT hr = m_pInnerFactory->CreateInstance(nullptr, IID_ITestCounter, reinterpret_cast<void**>(&pInner));
      if (FAILED(hr)) return hr;
    }
    auto* object = new (std::nothrow) CTestObject(pInner);
    if (!object && pInner) pInner->Release();
    return arcwise_test::HandOut(object, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock) {
      ++g_locks;
    } else {
      --g_locks;
    }
    return S_OK;
  }

 private:
  IClassFactory* m_pInnerFactory;
};

}  // namespace

TEST_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* pInnerFactory = nullptr;
  if (rclsid == CLSID_ArcwiseTestNesting) {
    // Re-enters the runtime while it is still answering our own caller.
    HRESULT hr = CoGetClassObject(CLSID_ArcwiseTestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&pInnerFactory));
    if (FAILED(hr)) return hr;
  } else if (rclsid != CLSID_ArcwiseTestCounter) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  auto* factory = new (std::nothrow) CTestFactory(pInnerFactory);
  if (!factory && pInnerFactory) pInnerFactory->Release();
  return arcwise_test::HandOut(factory, riid, ppv);
}

TEST_EXPORT HRESULT DllCanUnloadNow() {
  ++g_canUnloadCalls;
  return g_liveObjects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}
