// Keys: multi-level creation and dispositions, case-insensitive paths that
// keep their stored case, the predefined roots and the HKEY_CLASSES_ROOT
// view, path syntax errors, deletion (refused with subkeys, recursive with
// SHDeleteKeyW) and handles whose key was deleted.
#include <gtest/gtest.h>

#include "registry_test_util.h"

using namespace registry_test;

namespace {

WString EnumKeyName(HKEY key, DWORD index, LSTATUS* status) {
  WCHAR name[256];
  DWORD cch = 256;
  *status = RegEnumKeyExW(key, index, name, &cch, nullptr, nullptr, nullptr, nullptr);
  return *status == ERROR_SUCCESS ? WString(name, cch) : WString();
}

}  // namespace

TEST(RegistryKeys, CreateMakesEveryMissingLevelAndReportsDisposition) {
  TestKey root(W("KeysCreate"));
  HKEY deep = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("A\\B\\C"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetDword(deep, W("Level"), 3), ERROR_SUCCESS);
  RegCloseKey(deep);

  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("a\\b\\c"), 0, nullptr, 0, KEY_READ, nullptr, &again,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  DWORD level = 0, size = sizeof(level);
  EXPECT_EQ(RegQueryValueExW(again, W("level"), nullptr, nullptr, reinterpret_cast<BYTE*>(&level),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(level, 3u);
  RegCloseKey(again);

  // A partly existing path creates only the missing tail.
  HKEY tail = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("A\\B\\D\\E\\"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &tail, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(tail);
  HKEY b = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root.get(), W("a\\B"), 0, KEY_READ, &b), ERROR_SUCCESS);
  DWORD subKeys = 0;
  ASSERT_EQ(RegQueryInfoKeyW(b, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);  // C and D, not a second "b"
  RegCloseKey(b);
}

TEST(RegistryKeys, LookupIgnoresCaseEnumerationKeepsIt) {
  TestKey root(W("KeysCase"));
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("MiXeD Name"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root.get(), W("mixed NAME"), 0, KEY_READ, &opened), ERROR_SUCCESS);
  RegCloseKey(opened);
  // Non-ASCII letters fold too.
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("\u00c4rger"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  ASSERT_EQ(RegOpenKeyExW(root.get(), W("\u00e4RGER"), 0, KEY_READ, &opened), ERROR_SUCCESS);
  RegCloseKey(opened);

  LSTATUS status;
  EXPECT_EQ(EnumKeyName(root.get(), 0, &status), W("MiXeD Name"));
  EXPECT_EQ(EnumKeyName(root.get(), 1, &status), W("\u00c4rger"));
  EnumKeyName(root.get(), 2, &status);
  EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegOpenKeyExW(root.get(), W("Missing"), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(opened, nullptr);
}

TEST(RegistryKeys, ClassesRootIsTheSoftwareClassesKeyOfLocalMachine) {
  HKEY viaHkcr = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, W(".arcwisetest"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &viaHkcr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetString(viaHkcr, nullptr, W("Arcwise.Test")), ERROR_SUCCESS);
  RegCloseKey(viaHkcr);

  HKEY viaHklm = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W("software\\CLASSES\\.ArcwiseTest"), 0,
                          KEY_ALL_ACCESS, &viaHklm),
            ERROR_SUCCESS);
  DWORD type = 0;
  std::string bytes;
  ASSERT_EQ(ReadRaw(viaHklm, nullptr, &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes.size(), 13u * sizeof(WCHAR));
  ASSERT_EQ(SetDword(viaHklm, W("FromHklm"), 9), ERROR_SUCCESS);
  RegCloseKey(viaHklm);

  HKEY back = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, W(".arcwisetest"), 0, KEY_READ, &back), ERROR_SUCCESS);
  EXPECT_EQ(ReadRaw(back, W("FromHklm"), &type, &bytes), ERROR_SUCCESS);
  RegCloseKey(back);

  ASSERT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Classes\\.arcwisetest")), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, W(".arcwisetest"), 0, KEY_READ, &back),
            ERROR_FILE_NOT_FOUND);
  // The roots themselves cannot be deleted.
  EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, W("SOFTWARE\\Classes")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, W("")), ERROR_ACCESS_DENIED);
}

TEST(RegistryKeys, PredefinedRootsOpenToThemselvesAndNeverClose) {
  HKEY result = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &result), ERROR_SUCCESS);
  EXPECT_EQ(result, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, W(""), 0, KEY_READ, &result), ERROR_SUCCESS);
  EXPECT_EQ(result, HKEY_CLASSES_ROOT);
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyExW(HKEY_USERS, W(""), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(result, HKEY_USERS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

  // Each root is its own tree.
  TestKey mine(W("KeysRoots"));
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, mine.path().c_str(), 0, KEY_READ, &result),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, mine.path().c_str(), 0, KEY_READ, &result),
            ERROR_FILE_NOT_FOUND);
  // A non-predefined handle opened on itself is a new handle to the same key.
  HKEY self = nullptr;
  ASSERT_EQ(RegOpenKeyExW(mine.get(), nullptr, 0, KEY_ALL_ACCESS, &self), ERROR_SUCCESS);
  EXPECT_NE(self, mine.get());
  ASSERT_EQ(SetDword(self, W("Shared"), 1), ERROR_SUCCESS);
  RegCloseKey(self);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(mine.get(), W("Shared"), nullptr, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  // Unsupported predefined handles are invalid.
  HKEY currentConfig = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000005)));
  EXPECT_EQ(RegOpenKeyExW(currentConfig, W("x"), 0, KEY_READ, &result), ERROR_INVALID_HANDLE);
}

TEST(RegistryKeys, PathSyntaxErrors) {
  TestKey root(W("KeysSyntax"));
  HKEY result = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root.get(), W("\\Leading"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &result, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(root.get(), W("\\Leading"), 0, KEY_READ, &result), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExW(root.get(), W("A\\\\B"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &result, nullptr),
            ERROR_BAD_PATHNAME);
  WString tooLong(256, u'x');
  EXPECT_EQ(RegCreateKeyExW(root.get(), tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &result, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(root.get(), W("x"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD subKeys = 99;
  ASSERT_EQ(RegQueryInfoKeyW(root.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);  // none of the refused calls left a key behind
}

TEST(RegistryKeys, DeleteKeyRefusesSubkeysShDeleteKeyRemovesTree) {
  TestKey root(W("KeysDelete"));
  ASSERT_NO_FATAL_FAILURE(arcwise_test::SetDword(root.get(), W("Top\\Mid\\Leaf"), W("Leaf"), 1));
  ASSERT_NO_FATAL_FAILURE(arcwise_test::CreateKey(root.get(), W("Top\\Other")));
  ASSERT_NO_FATAL_FAILURE(arcwise_test::CreateKey(root.get(), W("Keep")));

  EXPECT_EQ(RegDeleteKeyW(root.get(), W("Top")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(root.get(), W("Top\\Mid")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(root.get(), W("top\\mid\\LEAF")), ERROR_SUCCESS);  // leaf with a value
  EXPECT_EQ(RegDeleteKeyW(root.get(), W("Top\\Mid\\Leaf")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(root.get(), nullptr), ERROR_INVALID_PARAMETER);

  ASSERT_NO_FATAL_FAILURE(arcwise_test::SetDword(root.get(), W("Top\\Mid\\Again\\Deeper"), W("V"), 1));
  EXPECT_EQ(SHDeleteKeyW(root.get(), W("TOP")), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(root.get(), W("Top\\Mid\\Again\\Deeper"), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(root.get(), W("Top"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SHDeleteKeyW(root.get(), W("Top")), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExW(root.get(), W("Keep"), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);

  // Recreating a deleted key gives a fresh, empty key.
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("Top\\Mid\\Again\\Deeper"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, W("V"), nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST(RegistryKeys, HandleOnDeletedKeyReportsKeyDeleted) {
  TestKey root(W("KeysDeletedHandle"));
  HKEY doomed = nullptr, child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("Doomed"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &doomed,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(doomed, W("Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SHDeleteKeyW(root.get(), W("Doomed")), ERROR_SUCCESS);

  DWORD size = 0;
  HKEY result = nullptr;
  WCHAR name[16];
  DWORD cch = 16;
  EXPECT_EQ(RegQueryValueExW(doomed, W("x"), nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(doomed, W("x"), 1), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(child, W("x"), 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyExW(doomed, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueW(doomed, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyExW(doomed, W("New"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result,
                            nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExW(doomed, nullptr, 0, KEY_READ, &result), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryInfoKeyW(doomed, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);

  // A key of the same name made later is a different key: the old handle stays dead.
  HKEY reborn = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root.get(), W("Doomed"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &reborn,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(doomed, W("x"), 1), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(reborn, W("x"), 1), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reborn), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
}
