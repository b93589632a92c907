// Registry key paths as reg.exe takes them: a root name (HKLM,
// HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER, HKCR, HKEY_CLASSES_ROOT, HKU,
// HKEY_USERS) and an optional subkey path. Pure; single-threaded tool code.
#pragma once

#include <string>

#include <windows.h>

struct KeyPath {
  HKEY root = nullptr;
  WString rootName;  // the long name, as reg.exe prints it
  WString subKey;    // empty for the root itself

  // "HKEY_LOCAL_MACHINE\Sub\Key".
  WString Full() const { return subKey.empty() ? rootName : rootName + W("\\") + subKey; }
  KeyPath Child(const WString& name) const;
};

// False with a message for an unknown root, a remote machine name or an
// empty name inside the path.
bool ParseKeyPath(const WString& text, KeyPath* out, std::string* error);
