// FormatMessageW from the system's table: Win32 codes and HRESULTs (those of
// the Win32 facility find their Win32 text), the line break Windows ends a
// message with, the caller's buffer or one allocated for LocalFree, and the
// refusals a caller written for Windows checks for.
#include <gtest/gtest.h>

#include <filter.h>
#include <windows.h>

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::string Message(DWORD id, DWORD flags = kFromSystem) {
  WCHAR buffer[512] = {};
  const DWORD length = FormatMessageW(flags, nullptr, id, 0, buffer, 512, nullptr);
  return Utf16ToUtf8(WString(buffer, length));
}

TEST(SystemMessages, CodesGiveWindowsText) {
  const struct {
    DWORD id;
    const char* text;
  } cases[] = {
      {ERROR_BUSY, "The requested resource is in use.\r\n"},
      {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)), "The system cannot find the path specified.\r\n"},
      {static_cast<DWORD>(E_ACCESSDENIED), "Access is denied.\r\n"},
      {static_cast<DWORD>(E_FAIL), "Unspecified error\r\n"},
      {static_cast<DWORD>(FILTER_E_END_OF_CHUNKS), "No more chunks of text available in object\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, Message(c.id)) << std::hex << c.id;
  EXPECT_EQ("Access is denied.", Message(ERROR_ACCESS_DENIED, kFromSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK));
  EXPECT_EQ(0u, Message(ERROR_REGISTRY_CORRUPT).find("The registry is corrupted."));
}

TEST(SystemMessages, AllocatedBufferIsFreedWithLocalFree) {
  LPWSTR text = nullptr;
  const DWORD length = FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_BUSY, 0,
                                      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ("The requested resource is in use.\r\n", Utf16ToUtf8(WString(text, length)));
  EXPECT_EQ(0, text[length]);
  EXPECT_EQ(nullptr, LocalFree(text));
}

TEST(SystemMessages, RefusalsSetTheLastError) {
  WCHAR small[8] = {};
  WCHAR buffer[64] = {};
  const struct {
    DWORD flags;
    DWORD id;
    DWORD language;
    LPWSTR target;
    DWORD size;
    DWORD error;
  } cases[] = {
      {kFromSystem, 0x1234567, 0, buffer, 64, ERROR_MR_MID_NOT_FOUND},
      {kFromSystem, static_cast<DWORD>(HRESULT_FROM_WIN32(4999)), 0, buffer, 64, ERROR_MR_MID_NOT_FOUND},
      {kFromSystem, ERROR_BUSY, 0, small, 8, ERROR_INSUFFICIENT_BUFFER},
      {kFromSystem, ERROR_BUSY, MAKELANGID(0x07, SUBLANG_DEFAULT), buffer, 64, ERROR_RESOURCE_LANG_NOT_FOUND},
      {FORMAT_MESSAGE_FROM_STRING, ERROR_BUSY, 0, buffer, 64, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, FormatMessageW(c.flags, nullptr, c.id, c.language, c.target, c.size, nullptr)) << c.id;
    EXPECT_EQ(c.error, GetLastError()) << c.id;
  }
  EXPECT_EQ(40u, FormatMessageW(kFromSystem, nullptr, ERROR_DISK_FULL, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                buffer, 64, nullptr));
}

}  // namespace
