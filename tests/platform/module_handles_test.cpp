// Module handles: the file name of the executable and of a loaded shared object.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>

#include <windows.h>

namespace {

TEST(ModuleHandles, NullNamesTheExecutableAndShortBuffersFollowWindows) {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::string expected(exe, size_t(n));

  WCHAR path[PATH_MAX];
  DWORD length = GetModuleFileNameW(nullptr, path, PATH_MAX);
  ASSERT_EQ(length, Utf8ToUtf16(expected).size());
  EXPECT_EQ(Utf16ToUtf8(path), expected);

  WCHAR small[5];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WString(small), Utf8ToUtf16(expected.substr(0, 4)));
}

TEST(ModuleHandles, AnAddressInThePlatformLibraryNamesItsSharedObject) {
  HMODULE platform = ArcwiseModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameW));
  ASSERT_NE(platform, nullptr);
  WCHAR path[PATH_MAX];
  ASSERT_GT(GetModuleFileNameW(platform, path, PATH_MAX), 0u);
  std::string name = Utf16ToUtf8(path);
  EXPECT_NE(name.find("libarcwise-platform.so"), std::string::npos) << name;
  EXPECT_EQ(name.front(), '/');

  int local = 0;  // a stack address belongs to no module
  EXPECT_EQ(ArcwiseModuleFromAddress(&local), nullptr);
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(uintptr_t(0x10)), path, PATH_MAX), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

}  // namespace
