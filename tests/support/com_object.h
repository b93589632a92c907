// ComObject<Interfaces...>: the IUnknown of the test's own COM objects (fake
// class objects, fake registration objects, the test module's servers), so
// each fake writes only the methods it is about. QueryInterface answers
// IUnknown and every listed interface (by IIDOf, so each needs an
// ARCWISE_DECLARE_IID), minus what Offers() refuses; the count is atomic, so
// the fakes may be called from any thread. Header-only: the test modules
// that are loaded by path use it without linking the test support library.
#pragma once

#include <atomic>

#include <unknwn.h>

namespace arcwise_test {

template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  // A heap object starts with the creator's reference; an object on the
  // test's stack (see OnFinalRelease) may start at zero to count what others hold.
  explicit ComObject(ULONG initialRefs = 1) : m_refs(initialRefs) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!Offers(riid)) return E_NOINTERFACE;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IIDOf<First>())) {
      *ppv = static_cast<First*>(this);
    } else {
      (void)((IsEqualIID(riid, IIDOf<Rest>()) && (*ppv = static_cast<Rest*>(this))) || ...);
    }
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) OnFinalRelease();
    return refs;
  }

  ULONG RefCount() const { return m_refs; }

 protected:
  virtual ~ComObject() = default;
  // An interface this object would answer for, refused by a fake on request.
  virtual bool Offers(REFIID) { return true; }
  // Heap objects go with their last reference; an object owned by the test
  // (on its stack or a member) overrides this to stay.
  virtual void OnFinalRelease() { delete this; }

 private:
  std::atomic<ULONG> m_refs;
};

}  // namespace arcwise_test
