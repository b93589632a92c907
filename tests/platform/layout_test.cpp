// The Win32 types, published records and codes as another host on this
// platform compiles them from the same declarations: sizes and offsets are
// checked by the compiler (a wrong one fails the build, not a test run), the
// HRESULT arithmetic at run time beside them.
#include <gtest/gtest.h>

#include <cstddef>

#include <filter.h>
#include <objidl.h>
#include <propidl.h>
#include <windows.h>

// The Windows sizes on LP64: never unsigned long.
static_assert(sizeof(DWORD) == 4);
static_assert(sizeof(LONG) == 4);
static_assert(sizeof(ULONG) == 4);
static_assert(sizeof(HRESULT) == 4);
static_assert(sizeof(LCID) == 4);
static_assert(sizeof(PROPID) == 4);
static_assert(sizeof(WORD) == 2);
static_assert(sizeof(BYTE) == 1);
static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(GUID) == 16);

// The records hosts and filters hand each other, in their natural 64-bit layout.
static_assert(sizeof(PROPVARIANT) == 24);
static_assert(offsetof(PROPVARIANT, pszVal) == 8);
static_assert(sizeof(PROPSPEC) == 16);
static_assert(sizeof(STATPROPSETSTG) == 64);
static_assert(sizeof(FULLPROPSPEC) == 32);
static_assert(sizeof(STAT_CHUNK) == 64);
static_assert(offsetof(STAT_CHUNK, attribute) == 16);
static_assert(offsetof(STAT_CHUNK, idChunkSource) == 48);
static_assert(sizeof(STATSTG) == 80);
static_assert(offsetof(STATSTG, cbSize) == 16);

// Access masks travel between hosts and modules as numbers: they must be the
// SDK's own.
static_assert(KEY_ALL_ACCESS == 0xF003F);
static_assert(KEY_READ == 0x20019);
static_assert(KEY_WRITE == 0x20006);

namespace {

TEST(Hresult, FromWin32AndSeverity) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), static_cast<HRESULT>(0x80070020));
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(HRESULT_CODE(E_INVALIDARG), ERROR_INVALID_PARAMETER);
}

}  // namespace
