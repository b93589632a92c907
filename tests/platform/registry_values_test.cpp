// Value storage rules: exact bytes under their type, size queries, short
// buffers, string terminators, the default value, case-insensitive names,
// access rights of the handle, and argument errors.
#include <gtest/gtest.h>

#include <cstring>

#include "registry_test_util.h"

using namespace registry_test;

TEST(RegistryValues, StringKeepsTerminatorAndSizeQueryNeedsNoBuffer) {
  TestKey key(W("ValuesString"));
  ASSERT_EQ(key.status(), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.get(), W("Path"), W("C:\\Tools")), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Path"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 9u * sizeof(WCHAR));  // 8 characters and the terminator

  WCHAR buffer[16] = {};
  size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Path"), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 9u * sizeof(WCHAR));
  EXPECT_EQ(WString(buffer), W("C:\\Tools"));

  // Only the size: neither type nor data pointers.
  size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Path"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 18u);
}

TEST(RegistryValues, ShortBufferGivesMoreDataAndTheSizeNeeded) {
  TestKey key(W("ValuesShort"));
  ASSERT_EQ(SetString(key.get(), W("Name"), W("abcdefgh")), ERROR_SUCCESS);
  BYTE buffer[6];
  DWORD type = 0, size = sizeof(buffer);
  EXPECT_EQ(RegQueryValueExW(key.get(), W("Name"), nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // Exactly the stored size is enough.
  std::string exact(18, '\x7f');
  size = 18;
  EXPECT_EQ(RegQueryValueExW(key.get(), W("Name"), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(exact.data()), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 18u);
}

TEST(RegistryValues, UnterminatedStringGetsTerminatorOnlyWhenThereIsRoom) {
  TestKey key(W("ValuesUnterminated"));
  const WString text = W("abc");
  ASSERT_EQ(RegSetValueExW(key.get(), W("Raw"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                           6),
            ERROR_SUCCESS);
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Raw"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);  // stored exactly as given

  WCHAR roomy[8];
  std::memset(roomy, 0x55, sizeof(roomy));
  size = sizeof(roomy);
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Raw"), nullptr, nullptr, reinterpret_cast<BYTE*>(roomy),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(roomy[3], 0);  // terminator appended after the stored bytes

  WCHAR tight[4];
  std::memset(tight, 0x55, sizeof(tight));
  size = 6;
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Raw"), nullptr, nullptr, reinterpret_cast<BYTE*>(tight),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(tight[3], 0x5555);  // no room: nothing written past the buffer given

  // Binary data is never touched.
  const BYTE bin[3] = {1, 2, 3};
  ASSERT_EQ(RegSetValueExW(key.get(), W("Bin"), 0, REG_BINARY, bin, 3), ERROR_SUCCESS);
  BYTE out[8];
  std::memset(out, 0x55, sizeof(out));
  size = sizeof(out);
  ASSERT_EQ(RegQueryValueExW(key.get(), W("Bin"), nullptr, nullptr, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(out[3], 0x55);
}

TEST(RegistryValues, TypesStayDistinctAndBytesExact) {
  TestKey key(W("ValuesTypes"));
  ASSERT_EQ(SetString(key.get(), W("Expand"), W("%TEMP%\\x"), REG_EXPAND_SZ), ERROR_SUCCESS);
  const ULONGLONG q = 0x0102030405060708ULL;
  ASSERT_EQ(RegSetValueExW(key.get(), W("Q"), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&q), 8),
            ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), W("D"), 42), ERROR_SUCCESS);
  const WCHAR multi[] = W("one\0two\0");
  ASSERT_EQ(RegSetValueExW(key.get(), W("Multi"), 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(multi), sizeof(multi)),
            ERROR_SUCCESS);
  const BYTE odd[] = {0xde, 0xad};
  ASSERT_EQ(RegSetValueExW(key.get(), W("Odd"), 0, 0x1234, odd, 2), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), W("Empty"), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  DWORD type = 0;
  std::string bytes;
  ASSERT_EQ(ReadRaw(key.get(), W("Expand"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(bytes.size(), 9u * sizeof(WCHAR));  // "%TEMP%\\x" and its terminator
  ASSERT_EQ(ReadRaw(key.get(), W("Q"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  EXPECT_EQ(bytes, Bytes(&q, 8));
  ASSERT_EQ(ReadRaw(key.get(), W("D"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  DWORD d = 42;
  EXPECT_EQ(bytes, Bytes(&d, 4));
  ASSERT_EQ(ReadRaw(key.get(), W("Multi"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(bytes, Bytes(multi, sizeof(multi)));
  ASSERT_EQ(ReadRaw(key.get(), W("Odd"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, 0x1234u);
  EXPECT_EQ(bytes, Bytes(odd, 2));
  ASSERT_EQ(ReadRaw(key.get(), W("Empty"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(bytes.empty());

  // Rewriting changes type and data in place.
  ASSERT_EQ(SetDword(key.get(), W("Expand"), 7), ERROR_SUCCESS);
  ASSERT_EQ(ReadRaw(key.get(), W("Expand"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(bytes.size(), 4u);
}

TEST(RegistryValues, NamesCaseInsensitiveAndDefaultValue) {
  TestKey key(W("ValuesNames"));
  ASSERT_EQ(SetString(key.get(), W("MixedCase"), W("first")), ERROR_SUCCESS);
  DWORD type = 0;
  std::string bytes;
  EXPECT_EQ(ReadRaw(key.get(), W("MIXEDCASE"), &type, &bytes), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key.get(), W("mixedcase"), W("second")), ERROR_SUCCESS);
  ASSERT_EQ(ReadRaw(key.get(), W("MixedCase"), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes.size(), 7u * sizeof(WCHAR));  // "second" replaced "first"

  WCHAR name[32];
  DWORD cch = 32;
  ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(WString(name), W("MixedCase"));  // the first spelling is kept
  EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  // Null and empty name are the same default value.
  EXPECT_EQ(ReadRaw(key.get(), nullptr, &type, &bytes), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetString(key.get(), nullptr, W("default")), ERROR_SUCCESS);
  ASSERT_EQ(ReadRaw(key.get(), W(""), &type, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes.size(), 8u * sizeof(WCHAR));
  ASSERT_EQ(RegDeleteValueW(key.get(), W("")), ERROR_SUCCESS);
  EXPECT_EQ(ReadRaw(key.get(), nullptr, &type, &bytes), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryValues, MissingValuesAndDeletion) {
  TestKey key(W("ValuesDelete"));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key.get(), W("Nope"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key.get(), W("Nope")), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetDword(key.get(), W("X"), 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key.get(), W("x")), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key.get(), W("X"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST(RegistryValues, HandleRightsAreEnforced) {
  TestKey key(W("ValuesRights"));
  ASSERT_EQ(SetDword(key.get(), W("V"), 5), ERROR_SUCCESS);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.path().c_str(), 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(reader, W("V"), 6), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(reader, W("V")), ERROR_ACCESS_DENIED);
  DWORD value = 0, size = sizeof(value);
  ASSERT_EQ(RegQueryValueExW(reader, W("V"), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 5u);  // the refused write changed nothing
  RegCloseKey(reader);

  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.path().c_str(), 0, KEY_SET_VALUE, &writer),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(writer, W("V"), 6), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(writer, W("V"), nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(writer);
}

TEST(RegistryValues, ArgumentAndHandleErrors) {
  TestKey key(W("ValuesErrors"));
  ASSERT_EQ(SetDword(key.get(), W("V"), 5), ERROR_SUCCESS);
  BYTE buffer[4];
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExW(key.get(), W("V"), nullptr, nullptr, buffer, nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExW(key.get(), W("V"), &reserved, nullptr, buffer, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key.get(), W("V"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
  EXPECT_EQ(RegQueryValueExW(bogus, W("V"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(nullptr, W("V"), 1), ERROR_INVALID_HANDLE);

  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.path().c_str(), 0, KEY_READ, &closed),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(closed, W("V"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
}

// ---- RegGetValueW ------------------------------------------------------------------

namespace {

std::string WideBytes(const WString& text) { return Bytes(text.data(), text.size() * sizeof(WCHAR)); }
const std::string kNul(sizeof(WCHAR), '\0');

// Values of every stored shape, written as raw bytes under their type.
void WriteShapes(HKEY key) {
  auto raw = [&](LPCWSTR name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  };
  const DWORD dword = 42;
  const ULONGLONG qword = 0x0102030405060708ULL;
  raw(W("Sz"), REG_SZ, WideBytes(W("text")) + kNul);
  raw(W("SzBare"), REG_SZ, WideBytes(W("abc")));  // stored without a terminator
  raw(W("SzOdd"), REG_SZ, WideBytes(W("ab")) + "c");  // half a character at the end
  raw(W("Expand"), REG_EXPAND_SZ, WideBytes(W("%ARCWISE_TEST_EXPAND%\\x %ARCWISE_TEST_UNSET%")) + kNul);
  raw(W("Dword"), REG_DWORD, Bytes(&dword, 4));
  raw(W("DwordShort"), REG_DWORD, Bytes(&dword, 2));
  raw(W("Qword"), REG_QWORD, Bytes(&qword, 8));
  raw(W("Bin4"), REG_BINARY, Bytes(&dword, 4));
  raw(W("Bin8"), REG_BINARY, Bytes(&qword, 8));
  raw(W("Bin3"), REG_BINARY, Bytes(&dword, 3));
  raw(W("Multi"), REG_MULTI_SZ, WideBytes(W("a")) + kNul + WideBytes(W("b")) + kNul + kNul);
  raw(W("MultiBare"), REG_MULTI_SZ, WideBytes(W("a")));
  raw(W("None"), REG_NONE, std::string());
  raw(W("Odd"), 0x1234, "\xde\xad");
}

TEST(RegistryGetValue, TypeRestrictionsSizesAndTerminators) {
  TestKey key(W("GetValueShapes"));
  ASSERT_EQ(key.status(), ERROR_SUCCESS);
  WriteShapes(key.get());
  ScopedEnv expand("ARCWISE_TEST_EXPAND", "/opt/here");
  ScopedEnv unset("ARCWISE_TEST_UNSET", nullptr);
  const DWORD dword = 42;
  const ULONGLONG qword = 0x0102030405060708ULL;
  const std::string expanded = WideBytes(W("/opt/here\\x %ARCWISE_TEST_UNSET%")) + kNul;
  const std::string unexpanded = WideBytes(W("%ARCWISE_TEST_EXPAND%\\x %ARCWISE_TEST_UNSET%")) + kNul;

  const struct {
    LPCWSTR name;
    DWORD flags;
    LSTATUS status;
    DWORD type;        // when it succeeds
    std::string data;  // when it succeeds
  } cases[] = {
      {W("Sz"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, WideBytes(W("text")) + kNul},
      {W("Sz"), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ, WideBytes(W("text")) + kNul},
      {W("Sz"), RRF_RT_REG_MULTI_SZ | RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, 0, ""},
      {W("SzBare"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, WideBytes(W("abc")) + kNul},
      {W("SzOdd"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, WideBytes(W("ab")) + "c" + std::string(3, '\0')},
      // Expanded text is REG_SZ; unexpanded text must be asked for as such.
      {W("Expand"), RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, expanded},
      {W("Expand"), RRF_RT_ANY, ERROR_SUCCESS, REG_SZ, expanded},
      {W("Expand"), RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, ERROR_SUCCESS, REG_EXPAND_SZ, unexpanded},
      {W("Expand"), RRF_RT_ANY | RRF_NOEXPAND, ERROR_SUCCESS, REG_EXPAND_SZ, unexpanded},
      {W("Expand"), RRF_RT_REG_SZ | RRF_NOEXPAND, ERROR_UNSUPPORTED_TYPE, 0, ""},
      {W("Expand"), RRF_RT_REG_EXPAND_SZ, ERROR_INVALID_PARAMETER, 0, ""},
      {W("Expand"), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, ERROR_INVALID_PARAMETER, 0, ""},
      {W("Dword"), RRF_RT_REG_DWORD, ERROR_SUCCESS, REG_DWORD, Bytes(&dword, 4)},
      {W("Dword"), RRF_RT_DWORD, ERROR_SUCCESS, REG_DWORD, Bytes(&dword, 4)},
      {W("Dword"), RRF_RT_QWORD, ERROR_UNSUPPORTED_TYPE, 0, ""},
      {W("DwordShort"), RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, 0, ""},
      {W("Qword"), RRF_RT_QWORD, ERROR_SUCCESS, REG_QWORD, Bytes(&qword, 8)},
      {W("Qword"), RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE, 0, ""},
      // Binary data stands in for a number only at the number's size.
      {W("Bin4"), RRF_RT_DWORD, ERROR_SUCCESS, REG_BINARY, Bytes(&dword, 4)},
      {W("Bin8"), RRF_RT_QWORD, ERROR_SUCCESS, REG_BINARY, Bytes(&qword, 8)},
      {W("Bin8"), RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, 0, ""},
      {W("Bin3"), RRF_RT_DWORD, ERROR_DATATYPE_MISMATCH, 0, ""},
      {W("Bin3"), RRF_RT_DWORD | RRF_RT_QWORD, ERROR_DATATYPE_MISMATCH, 0, ""},
      {W("Bin3"), RRF_RT_REG_BINARY, ERROR_SUCCESS, REG_BINARY, Bytes(&dword, 3)},
      {W("Bin3"), RRF_RT_ANY, ERROR_SUCCESS, REG_BINARY, Bytes(&dword, 3)},
      {W("Multi"), RRF_RT_REG_MULTI_SZ, ERROR_SUCCESS, REG_MULTI_SZ,
       WideBytes(W("a")) + kNul + WideBytes(W("b")) + kNul + kNul},
      {W("MultiBare"), RRF_RT_REG_MULTI_SZ, ERROR_SUCCESS, REG_MULTI_SZ, WideBytes(W("a")) + kNul + kNul},
      {W("None"), RRF_RT_REG_NONE, ERROR_SUCCESS, REG_NONE, ""},
      {W("None"), RRF_RT_REG_BINARY, ERROR_UNSUPPORTED_TYPE, 0, ""},
      {W("Odd"), RRF_RT_ANY, ERROR_SUCCESS, 0x1234, "\xde\xad"},
      {W("Odd"), RRF_RT_REG_BINARY, ERROR_UNSUPPORTED_TYPE, 0, ""},
      {W("Missing"), RRF_RT_ANY, ERROR_FILE_NOT_FOUND, 0, ""},
      {W("Sz"), 0, ERROR_INVALID_PARAMETER, 0, ""},  // no type at all
      {W("Sz"), RRF_NOEXPAND, ERROR_INVALID_PARAMETER, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name) + " flags 0x" + std::to_string(c.flags));
    // The size alone, then into a buffer of exactly that size.
    DWORD type = 0xFFFF, size = 0;
    EXPECT_EQ(RegGetValueW(key.get(), nullptr, c.name, c.flags, &type, nullptr, &size), c.status);
    if (c.status != ERROR_SUCCESS) continue;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.data.size());
    std::string buffer(size + 4, '\x55');
    DWORD got = size;
    type = 0xFFFF;
    ASSERT_EQ(RegGetValueW(key.get(), nullptr, c.name, c.flags, &type, buffer.data(), &got), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(buffer.substr(0, got), c.data);
    EXPECT_EQ(buffer.substr(got), std::string(4, '\x55')) << "written past the size given";
    if (size == 0) continue;
    // One byte short: ERROR_MORE_DATA with the size needed, and with
    // RRF_ZEROONFAILURE a cleared buffer.
    got = size - 1;
    EXPECT_EQ(RegGetValueW(key.get(), nullptr, c.name, c.flags, nullptr, buffer.data(), &got), ERROR_MORE_DATA);
    EXPECT_EQ(got, size);
    buffer.assign(size + 4, '\x55');
    got = size - 1;
    EXPECT_EQ(RegGetValueW(key.get(), nullptr, c.name, c.flags | RRF_ZEROONFAILURE, nullptr, buffer.data(), &got),
              ERROR_MORE_DATA);
    EXPECT_EQ(buffer.substr(0, size - 1), std::string(size - 1, '\0'));
    EXPECT_EQ(buffer[size - 1], '\x55') << "cleared past the buffer given";
  }
}

TEST(RegistryGetValue, SubkeysDefaultValuesRightsAndArguments) {
  TestKey key(W("GetValueKeys"));
  ASSERT_EQ(key.status(), ERROR_SUCCESS);
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExW(key.get(), W("Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetDword(child, W("V"), 7), ERROR_SUCCESS);
  ASSERT_EQ(SetString(child, nullptr, W("default")), ERROR_SUCCESS);
  RegCloseKey(child);

  DWORD value = 0, size = sizeof(value);
  // Through a subkey of an open key, and of a root key.
  EXPECT_EQ(RegGetValueW(key.get(), W("child"), W("V"), RRF_RT_REG_DWORD, nullptr, &value, &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  value = 0;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, (key.path() + W("\\Child")).c_str(), W("V"), RRF_RT_DWORD, nullptr,
                         &value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  // Null and empty value names are the default value.
  for (LPCWSTR name : {static_cast<LPCWSTR>(nullptr), W("")}) {
    WCHAR text[16] = {};
    size = sizeof(text);
    EXPECT_EQ(RegGetValueW(key.get(), W("Child"), name, RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(WString(text), W("default"));
  }

  size = sizeof(value);
  EXPECT_EQ(RegGetValueW(key.get(), W("NoSuchChild"), W("V"), RRF_RT_ANY, nullptr, &value, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegGetValueW(key.get(), W("Child"), W("V"), RRF_RT_ANY, nullptr, &value, nullptr),
            ERROR_INVALID_PARAMETER);  // data without its size
  EXPECT_EQ(RegGetValueW(reinterpret_cast<HKEY>(uintptr_t(0x1234)), nullptr, W("V"), RRF_RT_ANY, nullptr, nullptr,
                         &size),
            ERROR_INVALID_HANDLE);
  // A key opened without the right to read values.
  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key.get(), W("Child"), 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  value = 0x55555555;
  size = sizeof(value);
  EXPECT_EQ(RegGetValueW(writer, nullptr, W("V"), RRF_RT_ANY | RRF_ZEROONFAILURE, nullptr, &value, &size),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(value, 0u);
  RegCloseKey(writer);
}

}  // namespace
