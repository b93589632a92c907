// Looks at a shared object the test does not own the loading of (the COM
// runtime loads and unloads it): whether it is mapped now, and a call of one
// of its exports only while it is, so that asking never keeps it loaded.
// Also a call that loads it for the call, as regsvr32 calls
// DllRegisterServer. Any thread; the answer may be stale once another thread
// unloads.
#pragma once

#include <gtest/gtest.h>

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

// The export `name` of type Result() called with the object loaded for the
// call (and unloaded after, unless it was loaded before); cannotLoad, and a
// failure naming the loader's reason, when it does not load, noExport when it
// lacks the name.
template <class Result>
Result CallLoadingIt(const std::string& path, const char* name, Result cannotLoad, Result noExport) {
  void* handle = dlopen(path.c_str(), RTLD_NOW);
  if (!handle) {
    ADD_FAILURE() << dlerror();
    return cannotLoad;
  }
  auto function = reinterpret_cast<Result (*)()>(dlsym(handle, name));
  const Result result = function ? function() : noExport;
  dlclose(handle);
  return result;
}

}  // namespace arcwise_test
