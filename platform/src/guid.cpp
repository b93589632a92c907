#include <windows.h>

#include <cstdio>

int StringFromGUID2(REFGUID g, LPOLESTR out, int cchMax) {
  if (!out || cchMax < 39) return 0;
  char text[40];
  snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
           g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
           g.Data4[7]);
  for (int i = 0; i < 39; ++i) out[i] = static_cast<WCHAR>(text[i]);
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
