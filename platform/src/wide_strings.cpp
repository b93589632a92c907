#include <windows.h>

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

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

WString Utf8ToUtf16(std::string_view s) {
  WString out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    uint8_t b = uint8_t(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      size_t need = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
      uint32_t value = b & (need == 2 ? 0x1F : (need == 3 ? 0x0F : 0x07));
      size_t j = 1;
      for (; j < need && i + j < s.size(); ++j) {
        uint8_t c = uint8_t(s[i + j]);
        if ((c & 0xC0) != 0x80) break;
        value = (value << 6) | (c & 0x3F);
      }
      if (j == need) {
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        bool ok = value >= kMin[need] && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        if (ok) cp = value;
        len = need;
      } else {
        len = j;  // resynchronise at the first byte that broke the sequence
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}
