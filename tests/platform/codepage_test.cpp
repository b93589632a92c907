// Code page conversions with Windows' semantics: table contents of the common
// pages, one table of UTF-8 rows (well-formed, overlong, encoded surrogates,
// beyond U+10FFFF, truncated, stray and impossible bytes) through every
// decoding route including the incremental decoder, lone surrogates on the
// way back, the size-query and buffer contracts, the ANSI code page
// override, and the way back with a default character.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "support/scoped_env.h"
#include "utf_codec.h"  // the incremental decoder, internal to the platform

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

using arcwise_test::ScopedEnv;

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

// One row of the UTF-8 table: the bytes, what they decode to with bad bytes
// replaced (each maximal ill-formed subpart one U+FFFD, as current Windows),
// and whether they are well-formed, i.e. decode at all under
// MB_ERR_INVALID_CHARS.
struct Utf8Case {
  const char* name;
  std::string bytes;
  WString text;
  bool valid;
};

constexpr WCHAR R = 0xFFFD;

const Utf8Case kUtf8Cases[] = {
    // Well-formed, at every boundary of the encoding lengths.
    {"ascii", "Az\x7F", W("Az\x7F"), true},
    {"mixed lengths", "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80!", WString{u'h', 0xE9, 0x20AC, 0xD83D, 0xDE00, u'!'}, true},
    {"nul", std::string("a\0b", 3), WString{u'a', 0, u'b'}, true},
    {"two bytes", "\xC2\x80\xDF\xBF", WString{0x80, 0x7FF}, true},
    {"three bytes", "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", WString{0x800, 0xD7FF, 0xE000, 0xFFFF}, true},
    {"an encoded U+FFFD", "\xEF\xBF\xBD", WString{R}, true},
    {"four bytes", "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
     WString{0xD800, 0xDC00, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF}, true},
    // Overlong forms: the lead byte alone is the subpart, each continuation its own.
    {"overlong two", "\xC0\x80\xC1\xBF", WString{R, R, R, R}, false},
    {"overlong three", "\xE0\x80\xAF\xE0\x9F\xBF", WString(6, R), false},
    {"overlong four", "\xF0\x80\x80\xAF\xF0\x8F\xBF\xBF", WString(8, R), false},
    // Surrogates encoded in UTF-8, alone and as the pair CESU-8 would write.
    {"surrogate", "\xED\xA0\x80" "a\xED\xBF\xBF", WString{R, R, R, u'a', R, R, R}, false},
    {"surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", WString(6, R), false},
    // Above U+10FFFF.
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", WString(4, R), false},
    {"F5 lead", "\xF5\x80\x80\x80", WString(4, R), false},
    {"five bytes", "\xF8\x88\x80\x80\x80", WString(5, R), false},
    {"six bytes", "\xFC\x84\x80\x80\x80\x80", WString(6, R), false},
    // Truncated: the started part is one subpart, whatever interrupts it survives.
    {"truncated two", "\xC3", WString{R}, false},
    {"truncated three", "\xE2\x82", WString{R}, false},
    {"truncated four", "\xF0\x9F\x98", WString{R}, false},
    {"truncated before ascii", "a\xE2\x82z", WString{u'a', R, u'z'}, false},
    {"truncated before a character", "\xE2\x82\xC3\xA9", WString{R, 0xE9}, false},
    {"lead before a character", "\xE2\xC3\xA9", WString{R, 0xE9}, false},
    {"truncated before its own kind", "\xF0\x9F\x98\xF0\x9F\x98\x80", WString{R, 0xD83D, 0xDE00}, false},
    {"broken second byte", "\xE2\x28\xA1", WString{R, u'(', R}, false},
    // Continuation bytes without a lead.
    {"stray continuation", "\x80", WString{R}, false},
    {"stray continuations", "\x80\xBF\x80", WString(3, R), false},
    {"one continuation too many", "\xC3\xA9\xA9", WString{0xE9, R}, false},
    {"after four bytes", "\xF0\x9F\x98\x80\x80", WString{0xD83D, 0xDE00, R}, false},
    // Bytes that never occur in UTF-8.
    {"FE FF", "\xFE\xFF", WString{R, R}, false},
    {"FF before ascii", "\xFFz", WString{R, u'z'}, false},
    {"mixed", "a\xF1\x80\x80\xE1\x80\xC2" "b\x80" "c\x80\xBF" "d",
     WString{u'a', R, R, R, u'b', R, u'c', R, R, u'd'}, false},
};

// The bytes through every route the platform offers: MultiByteToWideChar
// with and without MB_ERR_INVALID_CHARS, Utf8ToUtf16, and embedded in text,
// which the bad bytes must not swallow; well-formed rows come back the same
// way.
TEST(Utf8Table, DecodesWithReplacementAndFailsOnlyWhenAsked) {
  for (const Utf8Case& c : kUtf8Cases) {
    EXPECT_EQ(Decode(CP_UTF8, c.bytes), c.text) << c.name;
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.text) << c.name;
    EXPECT_EQ(Utf8ToUtf16("<" + c.bytes + ">"), W("<") + c.text + W(">")) << c.name;
    SetLastError(0);
    const int strict =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes.data(), int(c.bytes.size()), nullptr, 0);
    if (c.valid) {
      EXPECT_EQ(Decode(CP_UTF8, c.bytes, MB_ERR_INVALID_CHARS), c.text) << c.name;
      EXPECT_EQ(Encode(CP_UTF8, c.text), c.bytes) << c.name;
      EXPECT_EQ(Utf16ToUtf8(c.text), c.bytes) << c.name;
    } else {
      EXPECT_EQ(strict, 0) << c.name;
      EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION)) << c.name;
    }
  }
}

// The incremental decoder gives the whole's text wherever the input is cut,
// and counts a replacement exactly for the rows that are not well-formed.
TEST(Utf8Table, IncrementalDecoderMatchesTheWholeAtEverySplit) {
  for (const Utf8Case& c : kUtf8Cases) {
    for (size_t split = 0; split <= c.bytes.size(); ++split) {
      arcwise_platform::Utf8Decoder decoder;
      WString out;
      decoder.Feed(std::string_view(c.bytes).substr(0, split), &out);
      decoder.Feed(std::string_view(c.bytes).substr(split), &out);
      decoder.Finish(&out);
      EXPECT_EQ(out, c.text) << c.name << " split at " << split;
      EXPECT_EQ(decoder.Replacements() == 0, c.valid) << c.name << " split at " << split;
    }
    // A byte at a time, twice over with the same decoder: Finish leaves it
    // ready for the next text.
    arcwise_platform::Utf8Decoder decoder;
    for (int pass = 0; pass < 2; ++pass) {
      WString out;
      for (char b : c.bytes) decoder.Feed(std::string_view(&b, 1), &out);
      decoder.Finish(&out);
      EXPECT_EQ(out, c.text) << c.name << " pass " << pass;
    }
    EXPECT_EQ(arcwise_platform::IsValidUtf8(c.bytes), c.valid) << c.name;
  }
}

// Runs of ASCII go through in blocks: each row, put at every offset of a
// run of ASCII longer than a block on both sides, must decode as it does a
// byte at a time and encode back the same, however the callers size their
// buffers (exactly, roomy, or asking for the size first).
TEST(Utf8Table, BlockwiseAsciiRunsMatchByteAtATime) {
  const std::string run(19, 'a');
  for (const Utf8Case& c : kUtf8Cases) {
    for (size_t at = 0; at <= run.size(); ++at) {
      const std::string bytes = run.substr(0, at) + c.bytes + run.substr(at);
      arcwise_platform::Utf8Decoder single;
      WString expected;
      for (char b : bytes) single.Feed(std::string_view(&b, 1), &expected);
      single.Finish(&expected);
      const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), nullptr, 0);
      ASSERT_EQ(size_t(units), expected.size()) << c.name << " at " << at;
      for (const size_t room : {size_t(units), bytes.size() + 4}) {
        WString out(room, u'#');
        ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), out.data(), int(room)), units);
        out.resize(size_t(units));
        EXPECT_EQ(out, expected) << c.name << " at " << at << " room " << room;
      }
      const std::string back = Utf16ToUtf8(expected);
      const int size = WideCharToMultiByte(CP_UTF8, 0, expected.data(), int(expected.size()), nullptr, 0, nullptr,
                                           nullptr);
      ASSERT_EQ(size_t(size), back.size());
      std::string exact(back.size(), '#');
      EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, expected.data(), int(expected.size()), exact.data(), size, nullptr,
                                    nullptr),
                size);
      EXPECT_EQ(exact, back) << c.name << " at " << at;
      if (c.valid) {
        EXPECT_EQ(back, bytes) << c.name << " at " << at;
      }
    }
  }
}

// UTF-16 -> UTF-8: a surrogate without its partner is written as U+FFFD,
// or fails the call under WC_ERR_INVALID_CHARS; a pair is one character.
TEST(Utf16Table, LoneSurrogatesEncodeAsReplacementOrFail) {
  const struct {
    WString text;
    std::string bytes;
    bool valid;
  } cases[] = {
      {WString{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
      {WString{0xD7FF, 0xE000, R}, "\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD", true},
      {WString{u'a', 0xD800}, "a\xEF\xBF\xBD", false},
      {WString{0xDC00, u'b'}, "\xEF\xBF\xBD" "b", false},
      {WString{0xD83D, u'x'}, "\xEF\xBF\xBDx", false},  // the character after it stays
      {WString{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
      {WString{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(CP_UTF8, c.text), c.bytes) << c.bytes;
    EXPECT_EQ(Utf16ToUtf8(c.text), c.bytes) << c.bytes;
    SetLastError(0);
    const int strict =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, c.text.data(), int(c.text.size()), nullptr, 0, nullptr,
                            nullptr);
    EXPECT_EQ(strict, c.valid ? int(c.bytes.size()) : 0) << c.bytes;
    if (!c.valid) {
      EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION)) << c.bytes;
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
  // Each thread keeps its own converters and resets them for every call:
  // state shared between threads, or left over from a call that stopped on
  // a cut character, would garble results under load.
  auto work = [](UINT codePage, std::string bytes, WString expected, int* failures) {
    for (int i = 0; i < 500; ++i) {
      if (Decode(codePage, bytes) != expected) ++*failures;
      if (Encode(codePage, expected) != bytes) ++*failures;
      if (i % 50 == 0) Decode(codePage, bytes.substr(0, 1));  // a lead byte alone, where the page has them
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
