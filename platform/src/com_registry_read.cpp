// Reading HKEY_CLASSES_ROOT defaults for the COM runtime (InprocServer32
// paths, ProgIDs).
#include "com_internal.h"

#include <vector>

namespace arcwise_com {

LSTATUS ReadClassesRootDefault(const WString& subkey, WString* value) {
  // RRF_RT_REG_SZ takes REG_EXPAND_SZ too, expanded from the environment.
  const DWORD flags = RRF_RT_REG_SZ;
  // Class ids, paths and threading models fit a buffer on the stack: one
  // call for them, where asking for the size first would take two.
  WCHAR small[MAX_PATH];
  DWORD size = sizeof(small);
  LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), nullptr, flags, nullptr, small, &size);
  if (status == ERROR_SUCCESS) {
    *value = small;
    return ERROR_SUCCESS;
  }
  if (status == ERROR_MORE_DATA) status = ERROR_SUCCESS;
  std::vector<WCHAR> text;
  while (status == ERROR_SUCCESS) {
    text.assign(size / sizeof(WCHAR) + 1, 0);
    DWORD got = size;
    status = RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), nullptr, flags, nullptr, text.data(), &got);
    if (status == ERROR_SUCCESS) {
      // The text ends at its first terminator.
      *value = text.data();
      return ERROR_SUCCESS;
    }
    if (status == ERROR_MORE_DATA) {
      size = got;  // changed between the two calls; try again
      status = ERROR_SUCCESS;
    }
  }
  return status == ERROR_UNSUPPORTED_TYPE ? ERROR_FILE_NOT_FOUND : status;
}

}  // namespace arcwise_com
