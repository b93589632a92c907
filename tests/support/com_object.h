// ComObject<Interfaces...>: the IUnknown of the test's own COM objects (fake
// class objects, fake registration objects, the test module's servers), so
// each fake writes only the methods it is about. QueryInterface answers
// IUnknown and every listed interface (by IIDOf, so each needs an
// ARCWISE_DECLARE_IID), those named by AlsoAnswers included, minus what
// Offers() refuses; the count is atomic, so the fakes may be called from any
// thread. Header-only: the test modules that are loaded by path use it
// without linking the test support library.
#pragma once

#include <atomic>
#include <type_traits>

#include <unknwn.h>

namespace arcwise_test {

// Names, in ComObject's list, an interface that First derives from (IPersist
// of IPersistFile, ISequentialStream of IStream): answered through First,
// because deriving from it once more would make every cast to it ambiguous.
template <class Interface>
struct AlsoAnswers {};

namespace com_object_detail {
template <class Entry>
struct Listed {
  using Base = Entry;
  using Interface = Entry;
};
template <class Interface_>
struct Listed<AlsoAnswers<Interface_>> {
  using Base = AlsoAnswers<Interface_>;  // empty: adds nothing to the object
  using Interface = Interface_;
};
}  // namespace com_object_detail

template <class First, class... Rest>
class ComObject : public First, public com_object_detail::Listed<Rest>::Base... {
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
      (void)((IsEqualIID(riid, IIDOf<typename com_object_detail::Listed<Rest>::Interface>()) &&
              (*ppv = As<Rest>())) ||
             ...);
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
  template <class Entry>
  void* As() {
    using Interface = typename com_object_detail::Listed<Entry>::Interface;
    if constexpr (std::is_same_v<Entry, Interface>) {
      return static_cast<Interface*>(this);
    } else {
      static_assert(std::is_base_of_v<Interface, First>, "AlsoAnswers names an interface First derives from");
      return static_cast<Interface*>(static_cast<First*>(this));
    }
  }

  std::atomic<ULONG> m_refs;
};

// A new object handed out through its QueryInterface, as class factories
// hand them out: the creator's reference goes, so an object whose interface
// is refused is freed again; a null object (a failed new) is E_OUTOFMEMORY.
template <class Object>
HRESULT HandOut(Object* object, REFIID riid, void** ppv) {
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace arcwise_test
