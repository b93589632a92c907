// Helpers shared by the archive tests: wide/POSIX path conversion, the
// shared file helpers (support/files.h), and running command-line tools.
// Test-only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <windows.h>

#include "support/files.h"
#include "support/test_env.h"

namespace arcwise_test {

// A POSIX path as the module writes it: '\' separators, no trailing one.
inline WString WidePath(const std::string& posixPath) {
  WString wide = WindowsPath(posixPath);
  while (wide.size() > 1 && wide.back() == u'\\') wide.pop_back();
  return wide;
}

inline std::string PosixOf(const WString& widePath) { return PosixPathFromWide(widePath.c_str()); }

using arcwise_test::ListTree;
using arcwise_test::ReadAll;
using arcwise_test::WriteAll;

// Standard output of a shell command, with its exit status.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return output;
  }
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int rc = pclose(pipe);
  if (status) *status = rc;
  return output;
}

// Single-quoted for the shell.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

inline bool HasNotIndexedMark(const std::string& posixPath) {
  const DWORD attributes = GetFileAttributesW(WidePath(posixPath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}

}  // namespace arcwise_test
