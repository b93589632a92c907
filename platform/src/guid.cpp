#include <windows.h>

namespace {

// Writes value's `digits` low nibbles, most significant first, as upper-case hex.
LPOLESTR PutHex(LPOLESTR out, uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) *out++ = static_cast<WCHAR>(kDigits[(value >> (4 * i)) & 0xF]);
  return out;
}

}  // namespace

// Formatted by hand: it runs for every class look-up, and a printf costs more
// than the rest of a cached look-up.
int StringFromGUID2(REFGUID g, LPOLESTR out, int cchMax) {
  if (!out || cchMax < 39) return 0;
  LPOLESTR p = out;
  *p++ = u'{';
  p = PutHex(p, g.Data1, 8);
  *p++ = u'-';
  p = PutHex(p, g.Data2, 4);
  *p++ = u'-';
  p = PutHex(p, g.Data3, 4);
  *p++ = u'-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) *p++ = u'-';
    p = PutHex(p, g.Data4[i], 2);
  }
  *p++ = u'}';
  *p = 0;
  return 39;
}

WString GuidToString(REFGUID guid) {
  WCHAR text[39];
  StringFromGUID2(guid, text, 39);
  return WString(text, 38);
}

namespace {

int HexValue(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ReadHex(LPCWSTR text, int digits, uint64_t* value) {
  uint64_t v = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexValue(text[i]);
    if (d < 0) return false;
    v = (v << 4) | uint64_t(d);
  }
  *value = v;
  return true;
}

}  // namespace

bool GuidFromString(LPCWSTR text, GUID* guid) {
  if (!text || !guid || lstrlenW(text) != 38) return false;
  if (text[0] != u'{' || text[37] != u'}' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
      text[24] != u'-') {
    return false;
  }
  uint64_t d1, d2, d3, v;
  GUID g{};
  if (!ReadHex(text + 1, 8, &d1) || !ReadHex(text + 10, 4, &d2) || !ReadHex(text + 15, 4, &d3)) return false;
  g.Data1 = DWORD(d1);
  g.Data2 = WORD(d2);
  g.Data3 = WORD(d3);
  static const int kOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text + kOffsets[i], 2, &v)) return false;
    g.Data4[i] = BYTE(v);
  }
  *guid = g;
  return true;
}
