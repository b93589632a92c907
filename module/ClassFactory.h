// CFilterCF<T>: the class object of filter class T. DllGetClassObject makes
// a new one for every call; each counts once in g_moduleRefCount while it
// lives. CreateInstance runs under the class object's own critical section
// and builds the process's one T::ConfigurationType on first use; that
// configuration then serves every T of the process and is destroyed with the
// module's static objects when the module is unloaded.
//
// Threads: any thread may call any class object (threading model "Both").
// The one-time construction of the configuration is guarded process-wide,
// since two class objects do not share a critical section.
#pragma once

#include <new>

#include "compat/Win32Compat.h"

#include "compat/ComRefCount.h"
#include "compat/ExceptionBarrier.h"
#include "server/ServerState.h"

// The configuration shared by every filter object of type T in the process;
// built by the first call, under the language's once-only guarantee for
// function-local statics, and torn down when the module unloads.
template <class T>
const typename T::ConfigurationType* SharedConfiguration() {
  static const typename T::ConfigurationType s_configuration;
  return &s_configuration;
}

template <class T>
class CFilterCF : public IClassFactory {
 public:
  CFilterCF() {
    InitializeCriticalSection(&m_lock);
    InterlockedIncrement(&g_moduleRefCount);
  }

  CFilterCF(const CFilterCF&) = delete;
  CFilterCF& operator=(const CFilterCF&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (IsEqualIID(riid, IID_IClassFactory) || IsEqualIID(riid, IID_IUnknown)) {
      *ppvObject = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }

  STDMETHODIMP_(ULONG) AddRef() override { return m_refCount.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_refCount.Release(this); }

  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    EnterCriticalSection(&m_lock);
    HRESULT hr = ExceptionBarrier([&] { return CreateInstanceLocked(pUnkOuter, riid, ppvObject); });
    LeaveCriticalSection(&m_lock);
    return hr;
  }

  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock) {
      InterlockedIncrement(&g_moduleRefCount);
    } else {
      InterlockedDecrement(&g_moduleRefCount);
    }
    return S_OK;
  }

  virtual ~CFilterCF() {
    DeleteCriticalSection(&m_lock);
    InterlockedDecrement(&g_moduleRefCount);
  }

 private:
  HRESULT CreateInstanceLocked(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (ppvObject) *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;

    // The memory first: the configuration is only worth reading for an
    // object that can exist.
    void* memory = ::operator new(sizeof(T), std::nothrow);
    if (!memory) return E_OUTOFMEMORY;
    T* pObject = nullptr;
    try {
      pObject = new (memory) T(SharedConfiguration<T>());
    } catch (...) {
      ::operator delete(memory);
      throw;
    }

    HRESULT hr = pObject->QueryInterface(riid, ppvObject);
    if (FAILED(hr)) {
      delete pObject;
      return E_UNEXPECTED;
    }
    pObject->Release();
    return S_OK;
  }

  CComRefCount m_refCount;
  CRITICAL_SECTION m_lock;
};
