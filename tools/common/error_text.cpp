#include "error_text.h"

#include <cstdio>

namespace {

constexpr DWORD kWin32FacilityMask = 0xFFFF0000u;
constexpr DWORD kWin32Failure = 0x80070000u;

// The message as one line: FormatMessageW ends it in "\r\n", and some
// messages run over several sentences.
std::string FormatSystemMessage(DWORD id) {
  LPWSTR buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, id, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (length == 0 || !buffer) return std::string();
  std::string text = Utf16ToUtf8(WString(buffer, length));
  LocalFree(buffer);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string SystemMessage(DWORD id) {
  std::string text = FormatSystemMessage(id);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string DescribeHResult(HRESULT hr) {
  char number[48];
  std::snprintf(number, sizeof(number), "0x%08x", static_cast<unsigned>(hr));
  std::string result = number;
  const std::string message = SystemMessage(static_cast<DWORD>(hr));
  if (!message.empty()) {
    result += " (" + message + ")";
  } else if ((static_cast<DWORD>(hr) & kWin32FacilityMask) == kWin32Failure) {
    std::snprintf(number, sizeof(number), " (Win32 error %u)", static_cast<unsigned>(hr) & 0xFFFFu);
    result += number;
  }
  return result;
}

std::string DescribeWin32Error(DWORD code) {
  std::string text = FormatSystemMessage(code);
  return text.empty() ? "Error " + std::to_string(code) + "." : text;
}

std::string RegistryDatabasePath() { return PosixPathFromWide(ArcwiseRegistryPath().c_str()); }

std::string RegistryFailureText(LONG code) {
  DWORD win32 = static_cast<DWORD>(code);
  if ((win32 & kWin32FacilityMask) == kWin32Failure) win32 &= 0xFFFFu;
  // SQLite's own words only when they belong to this very failure.
  std::string reason;
  if (static_cast<DWORD>(ArcwiseRegistryLastError()) == win32) reason = Utf16ToUtf8(ArcwiseRegistryLastErrorText());
  const std::string registry = "the registry " + RegistryDatabasePath();
  switch (win32) {
    case ERROR_BUSY: return registry + " is busy (locked by another process)";
    case ERROR_REGISTRY_CORRUPT:
      return registry + " is damaged" + (reason.empty() ? std::string() : ": " + reason);
    case ERROR_REGISTRY_IO_FAILED:
      return registry + " cannot be read or written" + (reason.empty() ? std::string() : ": " + reason);
    case ERROR_CANTOPEN:
      return registry + " cannot be opened" + (reason.empty() ? std::string() : ": " + reason);
    case ERROR_DISK_FULL: return "no space left for " + registry;
    default: return std::string();
  }
}

std::string LastRegistryFailureText() {
  const LSTATUS code = ArcwiseRegistryLastError();
  return code == ERROR_SUCCESS ? std::string() : RegistryFailureText(code);
}
