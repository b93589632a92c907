// Shell path helpers that need no file system.
#include <shlwapi.h>

LPWSTR PathFindExtensionW(LPCWSTR pszPath) {
  if (!pszPath) return nullptr;
  LPCWSTR dot = nullptr;
  LPCWSTR p = pszPath;
  for (; *p; ++p) {
    if (*p == u'\\' || *p == u'/' || *p == u' ') {
      dot = nullptr;
    } else if (*p == u'.') {
      dot = p;
    }
  }
  return const_cast<LPWSTR>(dot ? dot : p);
}
