// Entry-name decoding (bit 11 UTF-8 versus the ANSI code page) and the safe
// relative path rule that keeps extraction inside its folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/EntryPath.h"
#include "support/scoped_env.h"

namespace {

struct SafePathCase {
  const char16_t* entry;
  const char16_t* expected;
};

TEST(SafeRelativePath, ReducesEveryEscapeToARelativePathInside) {
  const SafePathCase cases[] = {
      {u"a\\b.txt", u"a\\b.txt"},
      {u"a/b.txt", u"a\\b.txt"},
      {u"..\\..\\tmp\\evil.txt", u"tmp\\evil.txt"},
      {u"../../tmp/evil.txt", u"tmp\\evil.txt"},
      {u"a\\..\\..\\b.txt", u"a\\b.txt"},
      {u"\\abs\\x.txt", u"abs\\x.txt"},
      {u"\\\\server\\share\\f.txt", u"server\\share\\f.txt"},
      {u"C:\\Windows\\x.txt", u"Windows\\x.txt"},
      {u"c:x.txt", u"x.txt"},
      {u"C:..\\x.txt", u"x.txt"},
      {u"a\\.\\b\\\\c.txt", u"a\\b\\c.txt"},
      {u"a\\...\\b.txt", u"a\\b.txt"},
      {u"a\\. .\\b.txt", u"a\\b.txt"},
      {u"dir\\sub\\", u"dir\\sub"},
      {u"..a\\b..\\.c", u"..a\\b..\\.c"},
      {u"..", u""},
      {u"..\\", u""},
      {u"\\", u""},
      {u"C:", u""},
      {u"", u""},
  };
  for (const SafePathCase& c : cases) {
    EXPECT_EQ(MakeSafeRelativePath(c.entry), WString(c.expected))
        << "entry " << Utf16ToUtf8(c.entry);
  }
}

TEST(SafeRelativePath, NameWithZeroCharacterCannotBeWritten) {
  // Written through a terminated path it would land under "a.txt".
  const WString withZero(u"a.txt\0.exe", 10);
  EXPECT_EQ(MakeSafeRelativePath(withZero), WString());
}

TEST(SafeRelativePath, LongComponentsAreKeptWhole) {
  const WString component(300, u'x');
  EXPECT_EQ(MakeSafeRelativePath(u"d\\" + component), u"d\\" + component);
}

TEST(SafeRelativePath, LastComponent) {
  EXPECT_EQ(LastPathComponent(u"a\\b\\c.txt"), std::u16string_view(u"c.txt"));
  EXPECT_EQ(LastPathComponent(u"c.txt"), std::u16string_view(u"c.txt"));
  EXPECT_EQ(LastPathComponent(u""), std::u16string_view(u""));
}

class EntryTextDecoding : public ::testing::Test {
 protected:
  arcwise_test::ScopedEnv m_acp{"ARCWISE_ACP", nullptr};
};

TEST_F(EntryTextDecoding, Bit11NamesAreUtf8WhateverTheCodePage) {
  m_acp.Set("1252");
  WString text;
  ASSERT_TRUE(DecodeEntryText("\xC3\xA9t\xC3\xA9.txt", kZipFlagUtf8Names, text));
  EXPECT_EQ(text, u"\u00e9t\u00e9.txt");
  m_acp.Set("866");
  ASSERT_TRUE(DecodeEntryText("\xCE\x9A\xCF\x8C\xCF\x83\xCE\xBC\xCE\xBF\xCF\x82", kZipFlagUtf8Names, text));
  EXPECT_EQ(text, u"\u039a\u03cc\u03c3\u03bc\u03bf\u03c2");
}

TEST_F(EntryTextDecoding, OtherNamesFollowTheAnsiCodePageOfTheMoment) {
  WString text;
  m_acp.Set("1252");
  ASSERT_TRUE(DecodeEntryText("\xE9t\xE9.txt", 0, text));
  EXPECT_EQ(text, u"\u00e9t\u00e9.txt");
  // The same UTF-8 bytes without the flag are two 1252 characters each.
  ASSERT_TRUE(DecodeEntryText("\xC3\xA9", 0, text));
  EXPECT_EQ(text, u"\u00c3\u00a9");
  m_acp.Set("866");
  ASSERT_TRUE(DecodeEntryText("\x8F\x90", 0, text));
  EXPECT_EQ(text, u"\u041f\u0420");
}

TEST_F(EntryTextDecoding, EmptyAndEmbeddedZeroBytes) {
  WString text = u"stale";
  ASSERT_TRUE(DecodeEntryText("", 0, text));
  EXPECT_TRUE(text.empty());
  ASSERT_TRUE(DecodeEntryText(std::string_view("a\0b", 3), kZipFlagUtf8Names, text));
  EXPECT_EQ(text, WString(u"a\0b", 3));
}

}  // namespace

// An Info-ZIP Unicode Path field: id 0x7075, its size, version, the CRC-32
// of the header name, then the UTF-8 name.
std::string UnicodePathField(const std::string& headerName, const std::string& utf8, char version = 1,
                             uint32_t crcDelta = 0) {
  const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(headerName.data()), uInt(headerName.size()))) + crcDelta;
  std::string field = "\x75\x70";
  const size_t size = 5 + utf8.size();
  field += char(size & 0xFF);
  field += char(size >> 8);
  field += version;
  for (int i = 0; i < 4; ++i) field += char((crc >> (8 * i)) & 0xFF);
  return field + utf8;
}

TEST(UnicodePathField, GivesTheUtf8NameOnlyWhenItStillDescribesTheHeaderName) {
  const std::string header = "caf\x82.txt";  // CP437 e-acute
  const std::string utf8 = "caf\xC3\xA9.txt";
  const std::string timestamp = std::string("\x55\x54\x05\x00\x01", 5) + "abcd";  // another field first
  struct Case {
    const char* what;
    std::string extra;
    bool used;
  } cases[] = {
      {"alone", UnicodePathField(header, utf8), true},
      {"after another field", timestamp + UnicodePathField(header, utf8), true},
      {"stale CRC (entry renamed since)", UnicodePathField(header, utf8, 1, 1), false},
      {"unknown version", UnicodePathField(header, utf8, 2), false},
      {"name not UTF-8", UnicodePathField(header, "caf\xE9.txt"), false},
      {"field longer than the extra data", UnicodePathField(header, utf8).substr(0, 12), false},
      {"no field", timestamp, false},
      {"nothing", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WString name = u"unchanged";
    EXPECT_EQ(c.used, DecodeUnicodePathField(c.extra, header, name));
    EXPECT_EQ(c.used ? WString(u"caf\u00E9.txt") : WString(u"unchanged"), name);
  }
}
