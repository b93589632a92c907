// Enumeration: subkeys sorted by upper-cased name as Windows lists them,
// values in creation order that survives rewrites and deletions of others,
// short buffers, the end of the list, and the maxima of RegQueryInfoKeyW.
#include <gtest/gtest.h>

#include <vector>

#include "registry_test_util.h"

using namespace registry_test;

namespace {

// Every name RegEnumKeyExW or RegEnumValueW hands out, in order, until it
// says there are no more.
template <class Enumerate>
std::vector<WString> Names(HKEY key, Enumerate enumerate) {
  std::vector<WString> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD cch = 256;
    LSTATUS status = enumerate(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.emplace_back(name, cch);
  }
  return names;
}

std::vector<WString> SubKeys(HKEY key) { return Names(key, RegEnumKeyExW); }
std::vector<WString> ValueNames(HKEY key) { return Names(key, RegEnumValueW); }

void MakeKey(HKEY parent, LPCWSTR name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

TEST(RegistryEnum, SubkeysSortedByUpperCasedNameWhateverTheCreationOrder) {
  TestKey root(W("EnumKeys"));
  for (LPCWSTR name : {W("delta"), W("_under"), W("Bravo"), W("alpha"), W("Charlie")})
    MakeKey(root.get(), name);
  // '_' sorts after the letters because names compare upper-cased.
  std::vector<WString> expected = {W("alpha"), W("Bravo"), W("Charlie"), W("delta"), W("_under")};
  EXPECT_EQ(SubKeys(root.get()), expected);
  // Values of a key do not disturb the listing; a new key slots in by name.
  ASSERT_EQ(SetDword(root.get(), W("v"), 1), ERROR_SUCCESS);
  MakeKey(root.get(), W("BRAVO2"));
  expected.insert(expected.begin() + 2, W("BRAVO2"));
  EXPECT_EQ(SubKeys(root.get()), expected);
}

TEST(RegistryEnum, ValuesKeepCreationOrderAcrossRewrites) {
  TestKey root(W("EnumValues"));
  for (LPCWSTR name : {W("zeta"), W("Alpha"), W("mid"), W("")}) ASSERT_EQ(SetDword(root.get(), name, 1), ERROR_SUCCESS);
  std::vector<WString> expected = {W("zeta"), W("Alpha"), W("mid"), W("")};
  EXPECT_EQ(ValueNames(root.get()), expected);

  // Rewriting (even with another type and case) keeps the place.
  ASSERT_EQ(SetString(root.get(), W("ZETA"), W("now a string")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root.get(), W("alpha"), 2), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(root.get()), expected);

  // Deleting one closes the gap; re-adding it puts it last.
  ASSERT_EQ(RegDeleteValueW(root.get(), W("Alpha")), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root.get(), W("Alpha"), 3), ERROR_SUCCESS);
  expected = {W("zeta"), W("mid"), W(""), W("Alpha")};
  EXPECT_EQ(ValueNames(root.get()), expected);
}

TEST(RegistryEnum, EnumValueReturnsDataAndReportsShortBuffers) {
  TestKey root(W("EnumData"));
  ASSERT_EQ(SetString(root.get(), W("LongValueName"), W("0123456789")), ERROR_SUCCESS);

  WCHAR name[32];
  DWORD cch = 32, type = 0;
  BYTE data[64];
  DWORD cb = sizeof(data);
  ASSERT_EQ(RegEnumValueW(root.get(), 0, name, &cch, nullptr, &type, data, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cch, 13u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(cb, 22u);
  EXPECT_EQ(WString(reinterpret_cast<const WCHAR*>(data)), W("0123456789"));

  // The name needs room for its terminator.
  cch = 13;
  EXPECT_EQ(RegEnumValueW(root.get(), 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  // A short data buffer reports the size needed.
  cch = 32;
  cb = 10;
  EXPECT_EQ(RegEnumValueW(root.get(), 0, name, &cch, nullptr, &type, data, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 22u);

  MakeKey(root.get(), W("Sub"));
  cch = 3;
  EXPECT_EQ(RegEnumKeyExW(root.get(), 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  cch = 4;
  EXPECT_EQ(RegEnumKeyExW(root.get(), 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(cch, 3u);
  EXPECT_EQ(RegEnumKeyExW(root.get(), 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyExW(root.get(), 0, nullptr, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST(RegistryEnum, QueryInfoGivesCountsAndMaxima) {
  TestKey root(W("EnumInfo"));
  MakeKey(root.get(), W("ab"));
  MakeKey(root.get(), W("abcdefg"));
  MakeKey(root.get(), W("abcdefg\\grandchild_not_counted"));
  ASSERT_EQ(SetString(root.get(), W("n"), W("twelve chars")), ERROR_SUCCESS);  // 26 bytes
  ASSERT_EQ(SetDword(root.get(), W("longest_name"), 1), ERROR_SUCCESS);
  const BYTE big[40] = {};
  ASSERT_EQ(RegSetValueExW(root.get(), W("bin"), 0, REG_BINARY, big, 30), ERROR_SUCCESS);

  DWORD subKeys = 0, maxSubKey = 0, maxClass = 7, values = 0, maxName = 0, maxData = 0;
  FILETIME written = {};
  ASSERT_EQ(RegQueryInfoKeyW(root.get(), nullptr, nullptr, nullptr, &subKeys, &maxSubKey, &maxClass,
                             &values, &maxName, &maxData, nullptr, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(maxSubKey, 7u);
  EXPECT_EQ(maxClass, 0u);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(maxName, 12u);
  EXPECT_EQ(maxData, 30u);
  // A FILETIME after 2020-01-01.
  ULONGLONG ticks = (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  EXPECT_GT(ticks, 132223104000000000ULL);

  // Shrinking is seen too: the maxima describe what is there now.
  ASSERT_EQ(RegDeleteValueW(root.get(), W("bin")), ERROR_SUCCESS);
  ASSERT_EQ(SHDeleteKeyW(root.get(), W("abcdefg")), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryInfoKeyW(root.get(), nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                             &values, &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(maxSubKey, 2u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxData, 26u);
}
