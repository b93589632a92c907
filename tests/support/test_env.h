// Per-process test environment: a private temporary folder (TMPDIR points
// into it) and a private registry database (ARCWISE_REGISTRY), made before
// the first test and removed after the last, with the folders of each test
// inside it and their paths as a Windows host writes them. Also a capture of
// the debug output channel. Single-threaded set-up; the capture is
// thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

namespace arcwise_test {

// Every share mode: an open that stands in no other open's way.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Root of this process's private folder (no trailing separator).
const std::string& TestRoot();
// A fresh, empty folder under TestRoot() for one test (no trailing separator).
std::string MakeTestFolder(const std::string& name);
// The same, named after the running test.
std::string MakeFolderOfCurrentTest();
// A POSIX path as a Windows host hands it over: UTF-16, '\' separators.
WString WindowsPath(const std::string& posixPath);
// The same for a folder, with a trailing backslash, as the module passes folders.
WString WideFolder(const std::string& posixFolder);
// The registry database the process uses now.
const std::string& RegistryFile();
// Points the registry at a new, empty database for one test and deletes the
// one used before (a test of its own never sees another test's keys). False,
// with the reason in *error, when the old database cannot be deleted.
bool UseFreshRegistry(std::string* error);

// Collects everything written through OutputDebugString while it lives.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<WString> Lines() const;
  // The same lines as UTF-8, to compare with literals.
  std::vector<std::string> Utf8Lines() const;
  // All captured text joined, as UTF-8 for readable assertion messages.
  std::string Text() const;
  void Clear();

 private:
  static void OnOutput(LPCWSTR text, void* context);
  mutable std::mutex m_mutex;
  std::vector<WString> m_lines;
};

}  // namespace arcwise_test
