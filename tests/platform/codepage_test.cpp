// Code page conversions with Windows' semantics: table contents of the common
// pages, the UTF-8 validity rules, the size-query and buffer contracts, the
// ANSI code page override, and the way back with a default character.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

namespace {

// Decodes through MultiByteToWideChar with a size query first, as callers do.
WString Decode(UINT codePage, const std::string& bytes, DWORD flags = 0) {
  int needed = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
  EXPECT_GT(needed, 0) << "error " << GetLastError();
  if (needed <= 0) return WString();
  WString out(size_t(needed), u'\0');
  int written = MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), out.data(), needed);
  EXPECT_EQ(written, needed);
  return out;
}

std::string Encode(UINT codePage, const WString& text, LPCSTR defaultChar = nullptr, BOOL* usedDefault = nullptr) {
  int needed = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, defaultChar, usedDefault);
  EXPECT_GT(needed, 0) << "error " << GetLastError();
  if (needed <= 0) return std::string();
  std::string out(size_t(needed), '\0');
  int written = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(), needed, defaultChar,
                                    usedDefault);
  EXPECT_EQ(written, needed);
  return out;
}

// Sets or clears an environment variable for one test and puts it back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old) m_old = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_had) {
      setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  std::string m_old;
  bool m_had = false;
};

TEST(CodePageDecode, Windows1252IncludingItsUndefinedBytes) {
  EXPECT_EQ(Decode(1252, "\x80"), WString(1, WCHAR(0x20AC)));
  EXPECT_EQ(Decode(1252, "caf\xE9 \x93q\x94"), W("caf\u00e9 \u201cq\u201d"));
  // Windows maps the five unassigned bytes to the code points of the same
  // value, also under MB_ERR_INVALID_CHARS; iconv alone would reject them.
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    std::string bytes = std::string("a") + char(b) + "z";
    EXPECT_EQ(Decode(1252, bytes), (WString{u'a', WCHAR(b), u'z'})) << int(b);
    EXPECT_EQ(Decode(1252, bytes, MB_ERR_INVALID_CHARS), (WString{u'a', WCHAR(b), u'z'})) << int(b);
  }
  // Every byte decodes to exactly one unit and comes back unchanged.
  std::string all;
  for (int b = 1; b < 256; ++b) all += char(b);
  WString wide = Decode(1252, all, MB_ERR_INVALID_CHARS);
  ASSERT_EQ(wide.size(), all.size());
  BOOL usedDefault = TRUE;
  EXPECT_EQ(Encode(1252, wide, nullptr, &usedDefault), all);
  EXPECT_FALSE(usedDefault);
}

TEST(CodePageDecode, OemPages) {
  EXPECT_EQ(Decode(437, "\x80\xE1\xB0\x9B"), (WString{0x00C7, 0x00DF, 0x2591, 0x00A2}));
  EXPECT_EQ(Decode(850, "\x80\xD5"), (WString{0x00C7, 0x0131}));
  // 866: the Cyrillic DOS page.
  EXPECT_EQ(Decode(866, "\x80\x9F\xA0\xE0\xEF\xF0"), (WString{0x0410, 0x042F, 0x0430, 0x0440, 0x044F, 0x0401}));
  EXPECT_EQ(Decode(20866, "\xC1\xE1"), (WString{0x0430, 0x0410}));  // KOI8-R
  EXPECT_EQ(Decode(1251, "\xC0\xFF"), (WString{0x0410, 0x044F}));
  EXPECT_EQ(Decode(28591, "\xA4\xE9"), (WString{0x00A4, 0x00E9}));
  EXPECT_EQ(Decode(28605, "\xA4"), (WString{0x20AC}));  // ISO-8859-15 has the euro there
}

TEST(CodePageDecode, DoubleBytePages) {
  EXPECT_EQ(Decode(932, "a\x82\xA0" "b"), (WString{u'a', 0x3042, u'b'}));
  EXPECT_EQ(Decode(936, "\xC4\xE3"), (WString{0x4F60}));
  EXPECT_EQ(Decode(949, "\xB0\xA1"), (WString{0xAC00}));
  EXPECT_EQ(Decode(950, "\xA4\x40"), (WString{0x4E00}));
  // A lead byte without its trail byte.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "ab\x82", 3, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  // Without the flag the default character stands in and the text around it survives.
  WString lenient = Decode(932, "ab\x82");
  ASSERT_EQ(lenient.size(), 3u);
  EXPECT_EQ(lenient.substr(0, 2), W("ab"));
  EXPECT_NE(lenient[2], u'\0');
}

TEST(CodePageDecode, Utf8IncludingAstralCharacters) {
  EXPECT_EQ(Decode(CP_UTF8, "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80!", MB_ERR_INVALID_CHARS),
            (WString{u'h', 0x00E9, 0x20AC, 0xD83D, 0xDE00, u'!'}));
  EXPECT_EQ(Decode(CP_UTF8, "\xF4\x8F\xBF\xBF", MB_ERR_INVALID_CHARS), (WString{0xDBFF, 0xDFFF}));
  // An embedded NUL inside an explicit length is just another character.
  EXPECT_EQ(Decode(CP_UTF8, std::string("a\0b", 3)), (WString{u'a', 0, u'b'}));
}

TEST(CodePageDecode, InvalidUtf8FailsOnlyWhenAsked) {
  const char* malformed[] = {
      "a\x80z",              // lone continuation byte
      "a\xC0\xAFz",          // overlong '/'
      "a\xE0\x80\xAFz",      // overlong, three bytes
      "a\xED\xA0\x80z",      // encoded surrogate
      "a\xF4\x90\x80\x80z",  // beyond U+10FFFF
      "a\xF5\x80\x80\x80z",  // no such lead byte
      "a\xE2\x82z",          // truncated in the middle
      "a\xE2\x82",           // truncated at the end
  };
  for (const char* text : malformed) {
    std::string bytes(text);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0), 0)
        << bytes;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION)) << bytes;
    WString lenient = Decode(CP_UTF8, bytes);
    EXPECT_EQ(lenient.front(), u'a') << bytes;
    EXPECT_NE(lenient.find(WCHAR(0xFFFD)), WString::npos) << bytes;
    if (bytes.back() == 'z') {
      EXPECT_EQ(lenient.back(), u'z') << bytes;
    }
    for (WCHAR c : lenient) {
      EXPECT_FALSE(c >= 0xD800 && c <= 0xDFFF) << bytes;
    }
  }
}

TEST(CodePageDecode, SizeQueryBufferAndTerminator) {
  // -1: the terminator is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  WCHAR buffer[8];
  for (WCHAR& c : buffer) c = 0xBEEF;
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab\x80", -1, buffer, 8), 4);
  EXPECT_EQ(WString(buffer, 4), (WString{u'a', u'b', 0x20AC, 0}));
  EXPECT_EQ(buffer[4], 0xBEEF);
  // An explicit length adds no terminator.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 8), 3);
  // One unit short: nothing returned, ERROR_INSUFFICIENT_BUFFER.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, buffer, 1), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(437, 0, "abc", -1, buffer, 3), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(437, 0, "abc", -1, buffer, 4), 4);
}

TEST(CodePageDecode, ArgumentAndFlagErrors) {
  WCHAR buffer[8];
  struct Case {
    UINT codePage;
    DWORD flags;
    LPCSTR input;
    int inputLength;
    LPWSTR output;
    int outputLength;
    DWORD error;
  };
  const Case cases[] = {
      {CP_UTF8, 0, nullptr, 3, buffer, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 0, buffer, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", -2, buffer, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 3, nullptr, 8, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, "abc", 3, buffer, -1, ERROR_INVALID_PARAMETER},
      {12345, 0, "abc", 3, buffer, 8, ERROR_INVALID_PARAMETER},
      {28602, 0, "abc", 3, buffer, 8, ERROR_INVALID_PARAMETER},  // ISO-8859-12 never existed
      {CP_UTF8, MB_PRECOMPOSED, "abc", 3, buffer, 8, ERROR_INVALID_FLAGS},
      {CP_UTF8, 0x100, "abc", 3, buffer, 8, ERROR_INVALID_FLAGS},
      {1252, 0x100, "abc", 3, buffer, 8, ERROR_INVALID_FLAGS},
      {1252, MB_PRECOMPOSED | MB_COMPOSITE, "abc", 3, buffer, 8, ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.input, c.inputLength, c.output, c.outputLength), 0)
        << c.codePage << " " << c.flags << " " << c.inputLength;
    EXPECT_EQ(GetLastError(), c.error) << c.codePage << " " << c.flags << " " << c.inputLength;
  }
  // The flags Windows allows for a legacy page are accepted.
  EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED, "abc", 3, buffer, 8), 3);
}

TEST(CodePageSelection, AnsiCodePageOverrideAndLocale) {
  {
    ScopedEnv acp("ARCWISE_ACP", "1251");
    EXPECT_EQ(GetACP(), 1251u);
    // CP_ACP and CP_THREAD_ACP follow it.
    EXPECT_EQ(Decode(CP_ACP, "\xC0"), (WString{0x0410}));
    EXPECT_EQ(Decode(CP_THREAD_ACP, "\xC0"), (WString{0x0410}));
  }
  {
    ScopedEnv acp("ARCWISE_ACP", "65001");
    EXPECT_EQ(GetACP(), 65001u);
    EXPECT_EQ(Decode(CP_ACP, "\xE2\x82\xAC"), (WString{0x20AC}));
  }
  ScopedEnv cleared("ARCWISE_ACP", nullptr);
  std::string saved = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  EXPECT_EQ(GetACP(), 1252u);
  {
    // Not a number: the locale decides.
    ScopedEnv junk("ARCWISE_ACP", "12ab");
    EXPECT_EQ(GetACP(), 1252u);
  }
  if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
    EXPECT_EQ(GetACP(), 65001u);
  } else {
    ADD_FAILURE() << "the C.UTF-8 locale is missing on this system";
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(CodePageSelection, OemCodePageAndValidity) {
  {
    ScopedEnv oem("ARCWISE_OEMCP", nullptr);
    EXPECT_EQ(GetOEMCP(), 437u);
    EXPECT_EQ(Decode(CP_OEMCP, "\x80"), (WString{0x00C7}));
  }
  {
    ScopedEnv oem("ARCWISE_OEMCP", "866");
    EXPECT_EQ(GetOEMCP(), 866u);
    EXPECT_EQ(Decode(CP_OEMCP, "\x80"), (WString{0x0410}));
  }
  for (UINT cp : {437u, 850u, 866u, 874u, 932u, 936u, 949u, 950u, 1250u, 1252u, 1258u, 20866u, 21866u, 28591u,
                  28605u, 65001u}) {
    EXPECT_TRUE(IsValidCodePage(cp)) << cp;
  }
  for (UINT cp : {0u, 1u, 3u, 12345u, 28602u, 65535u}) EXPECT_FALSE(IsValidCodePage(cp)) << cp;
}

TEST(CodePageEncode, BackTo1252WithTheDefaultCharacter) {
  BOOL used = TRUE;
  EXPECT_EQ(Encode(1252, W("caf\u00e9 \u20ac"), nullptr, &used), "caf\xE9 \x80");
  EXPECT_FALSE(used);
  used = FALSE;
  EXPECT_EQ(Encode(1252, W("a\u6f22b"), nullptr, &used), "a?b");
  EXPECT_TRUE(used);
  used = FALSE;
  EXPECT_EQ(Encode(1252, W("a\u6f22b"), "#", &used), "a#b");
  EXPECT_TRUE(used);
  // An astral character is one character: one default character, not two.
  EXPECT_EQ(Encode(1252, W("x\U0001F600y")), "x?y");
  // A lone surrogate cannot be encoded either.
  EXPECT_EQ(Encode(1252, WString{u'x', 0xD800, u'y'}), "x?y");
  EXPECT_EQ(Encode(866, W("\u0410\u044f")), "\x80\xEF");
  EXPECT_EQ(Encode(932, W("\u3042")), "\x82\xA0");
}

TEST(CodePageEncode, Utf8RulesAndBuffers) {
  EXPECT_EQ(Encode(CP_UTF8, W("\u00e9\U0001F600")), "\xC3\xA9\xF0\x9F\x98\x80");
  const WString lone{u'a', 0xDC00, u'b'};
  EXPECT_EQ(Encode(CP_UTF8, lone), "a\xEF\xBF\xBD" "b");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 3, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  // UTF-8 has no default character.
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("a"), 1, nullptr, 0, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, W("a"), 1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
  // -1 counts the terminator; a short buffer fails whole.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("\u20ac"), -1, nullptr, 0, nullptr, nullptr), 4);
  char out[8] = {};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("\u20ac"), -1, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W("\u20ac"), -1, out, 4, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(out, 4), std::string("\xE2\x82\xAC\0", 4));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CodePageThreads, ConcurrentConversionsDoNotInterfere) {
  // Converters are per call; shared state would garble results under load.
  auto work = [](UINT codePage, std::string bytes, WString expected, int* failures) {
    for (int i = 0; i < 500; ++i) {
      if (Decode(codePage, bytes) != expected) ++*failures;
      if (Encode(codePage, expected) != bytes) ++*failures;
    }
  };
  int failures[4] = {};
  std::vector<std::thread> threads;
  threads.emplace_back(work, 1252u, std::string("\x80\xE9"), WString{0x20AC, 0xE9}, &failures[0]);
  threads.emplace_back(work, 932u, std::string("\x82\xA0"), WString{0x3042}, &failures[1]);
  threads.emplace_back(work, 866u, std::string("\x80"), WString{0x0410}, &failures[2]);
  threads.emplace_back(work, 437u, std::string("\xE1"), WString{0x00DF}, &failures[3]);
  for (std::thread& t : threads) t.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
