// IUnknown and IClassFactory as C++ abstract classes in the published method
// order, so objects made by any shared object built with the same compiler
// share one vtable layout. The IIDs are defined once in the platform library.
// Also the compile-time IID lookup (IIDOf<T>, IID_PPV_ARGS) that stands in for
// __uuidof: each interface header names its IID with ARCWISE_DECLARE_IID.
// Declarations only; thread rules belong to each object.
#pragma once

#include <type_traits>

#include "windows.h"

#ifndef interface
#define interface struct
#endif

extern "C" const IID IID_IUnknown;
extern "C" const IID IID_IClassFactory;
extern "C" const GUID GUID_NULL;
extern "C" const CLSID CLSID_NULL;
#define IID_NULL GUID_NULL

// Compile-time IID of an interface type. Specialised per interface by
// ARCWISE_DECLARE_IID right after the interface's declaration.
template <class T>
struct ArcwiseInterfaceId;

#define ARCWISE_DECLARE_IID(Interface, iid)            \
  template <>                                         \
  struct ArcwiseInterfaceId<Interface> {              \
    static const IID& Get() { return iid; }           \
  }

template <class T>
inline const IID& IIDOf() {
  return ArcwiseInterfaceId<std::remove_cv_t<T>>::Get();
}

interface IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;
ARCWISE_DECLARE_IID(IUnknown, IID_IUnknown);

interface IClassFactory : public IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) PURE;
  STDMETHOD(LockServer)(BOOL fLock) PURE;
};
typedef IClassFactory* LPCLASSFACTORY;
ARCWISE_DECLARE_IID(IClassFactory, IID_IClassFactory);

// The IID/out-pointer pair for QueryInterface-shaped calls, checked at
// compile time to be a COM interface pointer.
template <class T>
inline void** IID_PPV_ARGS_Helper(T** pp) {
  static_assert(std::is_base_of_v<IUnknown, T>, "IID_PPV_ARGS needs a COM interface pointer");
  return reinterpret_cast<void**>(pp);
}
#define IID_PPV_ARGS(ppType) \
  IIDOf<std::remove_pointer_t<std::remove_reference_t<decltype(*(ppType))>>>(), IID_PPV_ARGS_Helper(ppType)
