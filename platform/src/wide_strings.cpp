#include <windows.h>

#include "utf_codec.h"

int lstrlenW(LPCWSTR s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

WCHAR FoldCaseW(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? WCHAR(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return WCHAR(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Lower-case letters whose upper case lies outside their own block: the
  // pair rule below would wrongly fold dotless i onto dotted capital I.
  if (c == 0xB5) return 0x39C;
  if (c == 0x131) return u'I';
  if (c == 0x17F) return u'S';
  // Latin Extended-A alternates upper/lower in pairs, with the parity
  // flipping in the middle stretch.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return WCHAR(c & ~1u);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1u) ? c : WCHAR(c - 1);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return WCHAR(c - 0x20);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return WCHAR(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return WCHAR(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return WCHAR(c - 0x20);
  return c;
}

WString FoldCase(std::u16string_view s) {
  WString out(s);
  for (auto& c : out) c = FoldCaseW(c);
  return out;
}

int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t count) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  for (size_t i = 0; i < count; ++i) {
    WCHAR ca = FoldCaseW(a[i]);
    WCHAR cb = FoldCaseW(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
  return 0;
}

int _wcsicmp(LPCWSTR a, LPCWSTR b) { return _wcsnicmp(a, b, static_cast<size_t>(-1)); }
int lstrcmpiW(LPCWSTR a, LPCWSTR b) { return _wcsicmp(a, b); }

LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
  if (!dst || !src || max <= 0) return nullptr;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

// The boundary to POSIX (paths, environment, messages) never fails: what is
// not well-formed is replaced by the codec's rule, so a name still reaches
// the system call and the error it gives, rather than vanishing here.
std::string Utf16ToUtf8(std::u16string_view s) { return arcwise_platform::EncodeUtf8(s); }

WString Utf8ToUtf16(std::string_view s) { return arcwise_platform::DecodeUtf8(s); }
