// ComPtr<T>: owns one COM reference. Copying AddRefs, moving transfers,
// destruction Releases. operator& releases what it holds and hands out the
// slot for an out-parameter. Used by all code above the platform layer, on
// Windows and on the POSIX platform alike; one ComPtr belongs to one thread at
// a time, like any plain value.
#pragma once

#include <cstddef>
#include <utility>

#include "compat/Win32Compat.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // Releases the current reference and returns the slot for an out-parameter.
  T** operator&() {
    Reset();
    return &m_p;
  }
  T** ReleaseAndGetAddressOf() { return &*this; }

  // Takes over a reference the caller already owns.
  void Attach(T* p) {
    Reset();
    m_p = p;
  }
  // Gives up ownership of the reference without releasing it.
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  void Reset() {
    if (T* p = m_p) {
      m_p = nullptr;
      p->Release();
    }
  }
  void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

  // A new reference to the same object for an out-parameter (may be null).
  HRESULT CopyTo(T** pp) const {
    if (!pp) return E_POINTER;
    *pp = m_p;
    if (m_p) m_p->AddRef();
    return S_OK;
  }
  // QueryInterface for another interface of the same object, into an
  // out-parameter slot (typically &otherComPtr, which releases what it held).
  template <class U>
  HRESULT As(U** pp) const {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(InterfaceIdOf<U>(), reinterpret_cast<void**>(pp));
  }

 private:
  T* m_p = nullptr;
};

template <class T, class U>
inline bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.Get() == b.Get();
}
template <class T>
inline bool operator==(const ComPtr<T>& a, std::nullptr_t) {
  return a.Get() == nullptr;
}
