// UTF-16 string helpers and GUID text: UTF-8 round trips (bad input has its
// table in codepage_test.cpp, shared by every UTF-8 route), case-insensitive
// comparison across scripts, lstrcpynW truncation, and the braced GUID form
// in both directions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <windows.h>

namespace {

TEST(Utf8Conversion, RoundTripsEveryPlane) {
  const WString samples[] = {
      W(""),
      W("plain ascii"),
      W("caf\u00e9 \u20ac \u0416 \u4e2d"),
      W("\U0001F600\U00010000\U0010FFFF"),
      WString{u'a', 0, u'b'},  // an embedded NUL is data
  };
  for (const WString& s : samples) {
    std::string utf8 = Utf16ToUtf8(s);
    EXPECT_EQ(Utf8ToUtf16(utf8), s) << utf8;
  }
  EXPECT_EQ(Utf16ToUtf8(W("\u00e9\u20ac\U0001F600")), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), (WString{0xDBFF, 0xDFFF}));
  // Every boundary of the encoding lengths.
  for (uint32_t cp : {0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    WString one;
    if (cp >= 0x10000) {
      one = {WCHAR(0xD800 + ((cp - 0x10000) >> 10)), WCHAR(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    } else {
      one = {WCHAR(cp)};
    }
    std::string utf8 = Utf16ToUtf8(one);
    EXPECT_EQ(utf8.size(), cp < 0x80 ? 1u : cp < 0x800 ? 2u : cp < 0x10000 ? 3u : 4u) << cp;
    EXPECT_EQ(Utf8ToUtf16(utf8), one) << cp;
  }
}

TEST(CaseFolding, LatinCyrillicAndGreek) {
  struct Pair {
    WCHAR lower;
    WCHAR upper;
  };
  const Pair pairs[] = {
      {u'a', u'A'},     {u'z', u'Z'},     {0x00E0, 0x00C0}, {0x00E9, 0x00C9}, {0x00FE, 0x00DE},
      {0x00FF, 0x0178}, {0x0101, 0x0100}, {0x013A, 0x0139}, {0x0148, 0x0147}, {0x014B, 0x014A},
      {0x017E, 0x017D}, {0x0131, u'I'},   {0x017F, u'S'},   {0x00B5, 0x039C}, {0x03B1, 0x0391},
      {0x03C9, 0x03A9}, {0x03C2, 0x03A3}, {0x0430, 0x0410}, {0x044F, 0x042F}, {0x0451, 0x0401},
      {0x0450, 0x0400}, {0x045F, 0x040F}, {0xFF41, 0xFF21},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(FoldCaseW(p.lower), p.upper) << std::hex << int(p.lower);
    EXPECT_EQ(FoldCaseW(p.upper), p.upper) << std::hex << int(p.upper);
  }
  // Characters without case, and the ones between the cased ranges, stay.
  for (WCHAR c : {WCHAR(u'0'), WCHAR(u'@'), WCHAR(u'['), WCHAR(0x00D7), WCHAR(0x00F7), WCHAR(0x00DF), WCHAR(0x0130),
                  WCHAR(0x0138), WCHAR(0x0149), WCHAR(0x4E2D), WCHAR(0xD83D)}) {
    EXPECT_EQ(FoldCaseW(c), c) << std::hex << int(c);
  }
  EXPECT_EQ(FoldCase(W("Stra\u00dfe \u043f\u0440\u0438\u0432\u0435\u0442")),
            W("STRA\u00dfE \u041f\u0420\u0418\u0412\u0415\u0422"));
}

TEST(CaseFolding, ComparisonsIgnoreCaseAcrossScripts) {
  EXPECT_EQ(_wcsicmp(W("\u041f\u0420\u0418\u0412\u0415\u0422"), W("\u043f\u0440\u0438\u0432\u0435\u0442")), 0);
  EXPECT_EQ(_wcsicmp(W("\u00c4rger.TXT"), W("\u00e4RGER.txt")), 0);
  EXPECT_EQ(lstrcmpiW(W("Software\\Classes"), W("SOFTWARE\\classes")), 0);
  EXPECT_NE(_wcsicmp(W("\u00e4"), W("a")), 0);
  // Ordinal order differs from the folded order: 'a' > 'B' by code unit only.
  EXPECT_GT(lstrcmpW(W("a"), W("B")), 0);
  EXPECT_LT(_wcsicmp(W("a"), W("B")), 0);
  EXPECT_LT(_wcsicmp(W("abc"), W("ABCD")), 0);
  EXPECT_GT(_wcsicmp(W("abcd"), W("ABC")), 0);
  EXPECT_EQ(_wcsnicmp(W("abcX"), W("ABCy"), 3), 0);
  EXPECT_NE(_wcsnicmp(W("abcX"), W("ABCy"), 4), 0);
  EXPECT_EQ(_wcsnicmp(W("ab"), W("AB"), 10), 0);  // stops at the terminators
  // Code units above 0x7FFF must compare as unsigned.
  EXPECT_LT(lstrcmpW(W("a"), W("\uFF41")), 0);
  // Null sorts before everything and equals only null.
  EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
  EXPECT_LT(lstrcmpW(nullptr, W("")), 0);
  EXPECT_GT(_wcsicmp(W(""), nullptr), 0);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(W("\U0001F600x")), 3);
}

TEST(StringCopy, LstrcpynTruncatesAndAlwaysTerminates) {
  const WCHAR guard = 0xBEEF;
  for (int max = 1; max <= 9; ++max) {
    std::vector<WCHAR> buffer(12, guard);
    ASSERT_EQ(lstrcpynW(buffer.data(), W("abcdef"), max), buffer.data()) << max;
    size_t copied = std::min(max - 1, 6);
    EXPECT_EQ(WString(buffer.data(), copied), WString(W("abcdef")).substr(0, copied)) << max;
    EXPECT_EQ(buffer[copied], 0) << max;
    for (size_t i = copied + 1; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], guard) << max << " at " << i;
  }
  WCHAR untouched[2] = {guard, guard};
  EXPECT_EQ(lstrcpynW(untouched, W("abc"), 0), nullptr);
  EXPECT_EQ(lstrcpynW(untouched, W("abc"), -3), nullptr);
  EXPECT_EQ(lstrcpynW(untouched, nullptr, 2), nullptr);
  EXPECT_EQ(lstrcpynW(nullptr, W("abc"), 2), nullptr);
  EXPECT_EQ(untouched[0], guard);
}

// ---- GUID text ------------------------------------------------------------------

const GUID kUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

TEST(GuidText, FormatsAndParsesTheBracedForm) {
  EXPECT_EQ(GuidToString(kUnknown), W("{00000000-0000-0000-C000-000000000046}"));
  const GUID mixed = {0x89ABCDEF, 0x0123, 0xFEDC, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  WCHAR text[40];
  for (WCHAR& c : text) c = 0xBEEF;
  EXPECT_EQ(StringFromGUID2(mixed, text, 40), 39);
  EXPECT_EQ(WString(text), W("{89ABCDEF-0123-FEDC-0123-456789ABCDEF}"));
  EXPECT_EQ(text[39], 0xBEEF);
  EXPECT_EQ(StringFromGUID2(mixed, text, 38), 0);  // no room for the terminator
  EXPECT_EQ(StringFromGUID2(mixed, nullptr, 39), 0);

  GUID parsed{};
  ASSERT_TRUE(GuidFromString(W("{89abcdef-0123-fedc-0123-456789abcdef}"), &parsed));  // lower case too
  EXPECT_EQ(parsed, mixed);

  std::mt19937 random(4711);
  for (int i = 0; i < 500; ++i) {
    GUID g;
    g.Data1 = random();
    g.Data2 = WORD(random());
    g.Data3 = WORD(random());
    for (BYTE& b : g.Data4) b = BYTE(random());
    GUID back{};
    ASSERT_TRUE(GuidFromString(GuidToString(g).c_str(), &back));
    ASSERT_EQ(back, g);
  }
}

TEST(GuidText, RejectsMalformedTextWithoutPartialResult) {
  const WString good = W("{89ABCDEF-0123-FEDC-0123-456789ABCDEF}");
  std::vector<WString> bad = {
      W(""),
      good.substr(0, 37),
      good + W("0"),
      good.substr(1, 36),                  // no braces
      W("(") + good.substr(1, 36) + W(")"),
      W("89ABCDEF-0123-FEDC-0123-456789ABCDEF00"),
      W("{89ABCDEF0123-FEDC-0123-456789ABCDEF0}"),  // dash moved
  };
  for (size_t i = 1; i < 37; ++i) {
    WString bent = good;
    if (bent[i] == u'-') {
      bent[i] = u'0';  // missing dash
    } else {
      bent[i] = u'G';  // not hex
      bad.push_back(bent);
      bent[i] = u' ';
    }
    bad.push_back(bent);
  }
  bad.push_back(W("{+9ABCDEF-0123-FEDC-0123-456789ABCDEF}"));
  for (const WString& text : bad) {
    GUID out = kUnknown;
    EXPECT_FALSE(GuidFromString(text.c_str(), &out)) << Utf16ToUtf8(text);
    EXPECT_EQ(out, kUnknown) << Utf16ToUtf8(text);
  }
  GUID out;
  EXPECT_FALSE(GuidFromString(nullptr, &out));
  EXPECT_FALSE(GuidFromString(good.c_str(), nullptr));
}

}  // namespace
