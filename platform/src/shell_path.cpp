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

BOOL PathIsRelativeW(LPCWSTR pszPath) {
  if (!pszPath || !*pszPath) return TRUE;
  if (pszPath[0] == u'\\' || pszPath[0] == u'/') return FALSE;
  const bool letter = (pszPath[0] >= u'A' && pszPath[0] <= u'Z') || (pszPath[0] >= u'a' && pszPath[0] <= u'z');
  return letter && pszPath[1] == u':' ? FALSE : TRUE;
}
