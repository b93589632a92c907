// The one place where the product code learns which system it is built for.
// Everything above the platform layer includes this header instead of naming
// system headers, and writes wide literals, wide strings, interface ids,
// exports and start-up order through what it defines, so the same sources
// compile against the Windows SDK (wchar_t text, the system's COM and search
// headers) and against the POSIX stand-in in platform/include (char16_t text).
// Declarations and stateless helpers only: any thread may use them.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#ifdef _WIN32

#include <windows.h>
#include <objbase.h>
#include <propidl.h>
#include <filter.h>
#include <filterr.h>
#include <ntquery.h>
#include <olectl.h>
#include <shlguid.h>
#include <shlwapi.h>
#include <io.h>

// WCHAR is wchar_t here, so wide literals are L"...".
#define W(text) L##text

using WString = std::wstring;

// The two text helpers the POSIX platform layer offers (win/types.h,
// win/strings.h), made from the system's own functions.

// The braced upper-case text form of a GUID, "{XXXXXXXX-...}".
inline WString GuidToString(REFGUID guid) {
  WCHAR text[40] = {};
  const int length = StringFromGUID2(guid, text, 40);
  return length > 0 ? WString(text, static_cast<size_t>(length - 1)) : WString();
}

// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
inline std::string Utf16ToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), units, result.data(), bytes, nullptr, nullptr);
  return result;
}

// The IID the compiler attaches to an interface type.
template <class T>
inline const IID& InterfaceIdOf() {
  return __uuidof(T);
}

// The .def file of each module decides what it exports; C linkage keeps the
// names undecorated in C++.
#define ARCWISE_EXPORT extern "C"

// The Windows loader calls DllMain itself, after the C runtime has built the
// static objects and before it destroys them.
#define ARCWISE_DEFINE_DLLMAIN_HOOKS()
#define ARCWISE_INIT_PRIORITY(priority)

// A mutex that is ready before any constructor runs, for objects that are
// constant-initialised. The C++ runtime's std::mutex is not constexpr on
// every Windows toolchain; a slim reader/writer lock is.
class StaticMutex {
 public:
  constexpr StaticMutex() noexcept = default;
  StaticMutex(const StaticMutex&) = delete;
  StaticMutex& operator=(const StaticMutex&) = delete;
  void lock() noexcept { AcquireSRWLockExclusive(&m_lock); }
  void unlock() noexcept { ReleaseSRWLockExclusive(&m_lock); }

 private:
  SRWLOCK m_lock = SRWLOCK_INIT;
};

#else  // the POSIX platform layer

#include <windows.h>
#include <objbase.h>
#include <propidl.h>
#include <filter.h>
#include <ntquery.h>
#include <shlwapi.h>
#include <io.h>

template <class T>
inline const IID& InterfaceIdOf() {
  return IIDOf<T>();
}

// Shared objects export what is visible; everything else is built hidden.
#define ARCWISE_EXPORT extern "C" __attribute__((visibility("default")))

// A static object that DllMain uses on detach is built before the platform's
// load hook runs (see ARCWISE_DEFINE_DLLMAIN_HOOKS in win/module.h), so its
// destructor runs after the detach call.
#define ARCWISE_INIT_PRIORITY(priority) __attribute__((init_priority(priority)))

// std::mutex is constexpr here, so constant-initialised objects may hold one.
using StaticMutex = std::mutex;

#endif

// Objects that must hold their value before any code of the module runs.
// clang before 15 cannot evaluate libstdc++'s std::basic_string constructor
// as a constant, so the logger (which holds strings) could not be built; there
// it is initialised dynamically, first of all (ARCWISE_INIT_PRIORITY).
#if defined(__cpp_constinit) && !(defined(__clang__) && __clang_major__ < 15)
#define ARCWISE_CONSTINIT constinit
#else
#define ARCWISE_CONSTINIT
#endif

using WStringView = std::basic_string_view<WCHAR>;
