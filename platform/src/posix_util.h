// Internal helpers shared by the platform's POSIX-facing code: errno to
// Win32 error mapping and the wide-path to POSIX-path translation. Not part
// of the public API; stateless and thread-safe.
#pragma once

#include <string>

#include <windows.h>

namespace arcwise_platform {

// The Win32 error code that Windows reports for the same condition.
DWORD Win32ErrorFromErrno(int err);

// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno();

// UTF-16 path with '\' or '/' separators -> UTF-8 path with '/' separators.
std::string PosixPath(LPCWSTR path);
std::string PosixPath(std::u16string_view path);

// UTF-8 POSIX path -> UTF-16 with '\' separators, as the module joins paths.
WString WidePath(const std::string& posixPath);

// Value of an environment variable, or empty.
std::string EnvValue(const char* name);

}  // namespace arcwise_platform
