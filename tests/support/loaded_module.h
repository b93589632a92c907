// Looks at a shared object the test does not own the loading of (the COM
// runtime loads and unloads it): whether it is mapped now, and a call of one
// of its exports only while it is, so that asking never keeps it loaded.
// Any thread; the answer may be stale once another thread unloads.
#pragma once

#include <dlfcn.h>

#include <string>

namespace arcwise_test {

inline bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// The export `name` of type Result(Args...) called with args while the
// object is loaded; notLoaded when it is not, noExport when it lacks the name.
template <class Result, class... Args>
Result CallIfLoaded(const std::string& path, const char* name, Result notLoaded, Result noExport, Args... args) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return notLoaded;
  auto function = reinterpret_cast<Result (*)(Args...)>(dlsym(handle, name));
  const Result result = function ? function(args...) : noExport;
  dlclose(handle);
  return result;
}

}  // namespace arcwise_test
