// Task memory: the allocator whose blocks cross interfaces (names in STATSTG,
// CLSID text). Plain malloc underneath, so any module of the process frees
// what another allocated.
#include <objbase.h>

#include <cstdlib>

LPVOID CoTaskMemAlloc(SIZE_T cb) {
  // A zero-byte request still gets a distinct block, as on Windows.
  return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (!pv) return CoTaskMemAlloc(cb);
  if (cb == 0) {
    std::free(pv);
    return nullptr;
  }
  return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) { std::free(pv); }
