// The filter-registration interface that SharePoint's registration objects
// offer. The interface belongs to the search product; the module relies only
// on its identifier and on two entries of its method table: entry 4
// unregisters a filter and entry 14 registers one. The other entries are
// placeholders that keep those two at their places and are never called.
// Objects are used on the thread that created them.
#pragma once

#include "compat/Win32Compat.h"

// {C731072C-AC80-11D1-8DF3-00C04FB6EF4F}
inline constexpr IID IID_IFilterRegistration = {
    0xC731072C, 0xAC80, 0x11D1, {0x8D, 0xF3, 0x00, 0xC0, 0x4F, 0xB6, 0xEF, 0x4F}};

interface IFilterRegistration : public IUnknown {
  // Entry 3.
  STDMETHOD(Reserved3)() PURE;
  // Entry 4: removes the filter's registration for the extensions given.
  STDMETHOD(UnregisterFilter)(ULONG cExtensions, LPCWSTR* rgpszExtensions, ULONG cMimeTypes,
                              LPCWSTR* rgpszMimeTypes, ULONG cExtraNames,
                              LPCWSTR* rgpszExtraNames, ULONG dwReserved1,
                              const CLSID* pclsidFilter, ULONG dwReserved2,
                              ULONG dwReserved3) PURE;
  // Entries 5 to 13.
  STDMETHOD(Reserved5)() PURE;
  STDMETHOD(Reserved6)() PURE;
  STDMETHOD(Reserved7)() PURE;
  STDMETHOD(Reserved8)() PURE;
  STDMETHOD(Reserved9)() PURE;
  STDMETHOD(Reserved10)() PURE;
  STDMETHOD(Reserved11)() PURE;
  STDMETHOD(Reserved12)() PURE;
  STDMETHOD(Reserved13)() PURE;
  // Entry 14: registers the filter for the extensions given.
  STDMETHOD(RegisterFilter)(ULONG cExtensions, LPCWSTR* rgpszExtensions, ULONG cMimeTypes,
                            LPCWSTR* rgpszMimeTypes, ULONG cExtraNames,
                            LPCWSTR* rgpszExtraNames, ULONG cReserved,
                            LPCWSTR* rgpszReserved, const CLSID* pclsidFilter,
                            ULONG dwReserved1, ULONG dwEnable, ULONG dwReserved2) PURE;
};
