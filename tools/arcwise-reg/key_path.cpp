#include "key_path.h"

namespace {

struct RootName {
  const char16_t* shortName;
  const char16_t* longName;
  HKEY key;
};

const RootName kRoots[] = {
    {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKU", u"HKEY_USERS", HKEY_USERS},
};

}  // namespace

KeyPath KeyPath::Child(const WString& name) const {
  KeyPath child = *this;
  child.subKey = subKey.empty() ? name : subKey + W("\\") + name;
  return child;
}

bool ParseKeyPath(const WString& text, KeyPath* out, std::string* error) {
  if (text.size() >= 2 && text[0] == u'\\' && text[1] == u'\\') {
    *error = "Invalid key name: remote machines are not supported.";
    return false;
  }
  size_t slash = text.find(u'\\');
  WString root = text.substr(0, slash);
  WString rest = slash == WString::npos ? WString() : text.substr(slash + 1);
  while (!rest.empty() && rest.back() == u'\\') rest.pop_back();
  for (const RootName& candidate : kRoots) {
    if (_wcsicmp(root.c_str(), candidate.shortName) == 0 ||
        _wcsicmp(root.c_str(), candidate.longName) == 0) {
      if (rest.find(W("\\\\")) != WString::npos || (!rest.empty() && rest.front() == u'\\')) {
        *error = "Invalid key name: empty name in " + Utf16ToUtf8(text) + ".";
        return false;
      }
      out->root = candidate.key;
      out->rootName = candidate.longName;
      out->subKey = rest;
      return true;
    }
  }
  *error = "Invalid key name: " + Utf16ToUtf8(text) +
           " (the root must be HKLM, HKCU, HKCR, HKU or their long names).";
  return false;
}
