// Reading HKEY_CLASSES_ROOT defaults for the COM runtime (InprocServer32
// paths, ProgIDs).
#include "com_internal.h"

#include <cstdlib>
#include <vector>

namespace arcwise_com {
namespace {

// %NAME% references in REG_EXPAND_SZ text, from the process environment;
// unknown names stay as written, as ExpandEnvironmentStrings leaves them.
WString ExpandEnvironment(const WString& text) {
  WString out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text[i] == u'%' ? text.find(u'%', i + 1) : WString::npos;
    if (end == WString::npos || end == i + 1) {
      out += text[i++];
      continue;
    }
    std::string name = Utf16ToUtf8(std::u16string_view(text).substr(i + 1, end - i - 1));
    if (const char* value = std::getenv(name.c_str())) {
      out += Utf8ToUtf16(value);
    } else {
      out.append(text, i, end - i + 1);
    }
    i = end + 1;
  }
  return out;
}

}  // namespace

LSTATUS ReadClassesRootDefault(const WString& subkey, WString* value) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = REG_NONE;
  DWORD size = 0;
  status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data;
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      status = ERROR_FILE_NOT_FOUND;
      break;
    }
    data.assign(size + sizeof(WCHAR), 0);
    DWORD got = size;
    status = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &got);
    if (status == ERROR_SUCCESS) {
      // The stored text may or may not include its terminator; it ends at
      // the first one either way.
      WString text(reinterpret_cast<const WCHAR*>(data.data()), got / sizeof(WCHAR));
      text.resize(WView(text.c_str()).size());
      *value = type == REG_EXPAND_SZ ? ExpandEnvironment(text) : text;
      break;
    }
    if (status != ERROR_MORE_DATA) break;
    size = got;  // changed between the two queries; try again
  }
  RegCloseKey(key);
  return status;
}

}  // namespace arcwise_com
