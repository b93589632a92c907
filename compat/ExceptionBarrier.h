// The line no C++ exception may cross: every exported function and COM method
// runs its body through ExceptionBarrier, so a host (written in any language,
// built by any compiler) only ever sees a result code. Allocation failure is
// the exception that real hosts meet (a service indexing under memory
// pressure); it becomes E_OUTOFMEMORY. Anything else is a fault of ours and
// becomes E_UNEXPECTED. Whatever the body owned is released by its own
// destructors on the way out. Stateless; any thread.
#pragma once

#include <new>

#include "compat/Win32Compat.h"

template <class Body>
HRESULT ExceptionBarrier(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
