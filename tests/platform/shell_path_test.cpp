// PathFindExtensionW: the last dot of the last component, or the terminator.
#include <gtest/gtest.h>

#include <shlwapi.h>

namespace {

WString Extension(LPCWSTR path) { return WString(PathFindExtensionW(path)); }

TEST(ShellPath, FindsTheExtensionOfTheLastComponent) {
  EXPECT_EQ(WString(W(".zip")), Extension(W("C:\\data\\archive.tar.zip")));
  EXPECT_EQ(WString(W(".ZIP")), Extension(W("/home/user/Report.ZIP")));
  EXPECT_EQ(WString(W(".")), Extension(W("name.")));
  EXPECT_EQ(WString(W(".hidden")), Extension(W("folder\\.hidden")));
  // A dot in a folder name is not the file's extension.
  LPCWSTR noExtension = W("C:\\some.folder\\README");
  EXPECT_EQ(noExtension + lstrlenW(noExtension), PathFindExtensionW(noExtension));
  LPCWSTR slashed = W("some.folder/README");
  EXPECT_EQ(slashed + lstrlenW(slashed), PathFindExtensionW(slashed));
  // As on Windows, a space after the dot ends the candidate.
  LPCWSTR spaced = W("file.a b");
  EXPECT_EQ(spaced + lstrlenW(spaced), PathFindExtensionW(spaced));
  LPCWSTR empty = W("");
  EXPECT_EQ(empty, PathFindExtensionW(empty));
  EXPECT_EQ(nullptr, PathFindExtensionW(nullptr));
}

TEST(ShellPath, PathsFromARootAreNotRelative) {
  const std::pair<LPCWSTR, BOOL> cases[] = {
      {W("/tmp/a.zip"), FALSE}, {W("\\\\server\\share\\a.zip"), FALSE}, {W("C:\\a.zip"), FALSE},
      {W("c:a.zip"), FALSE},    {W("a.zip"), TRUE},                       {W("..\\a.zip"), TRUE},
      {W("./a.zip"), TRUE},     {W(""), TRUE},                            {nullptr, TRUE}};
  for (const auto& [path, relative] : cases) {
    EXPECT_EQ(relative, PathIsRelativeW(path)) << (path ? Utf16ToUtf8(path) : "(null)");
  }
}

}  // namespace
