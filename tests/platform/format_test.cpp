// The wide printf-style formatter: every conversion and flag, the CRT's
// truncation contract, buffer guards, and a seeded fuzz loop checked against
// the C library's narrow printf for the same conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

namespace {

constexpr WCHAR kGuard = 0xBEEF;
constexpr size_t kGuardUnits = 16;

std::string Narrow(const WString& s) { return Utf16ToUtf8(s); }

WString Wide(const std::string& s) { return Utf8ToUtf16(s); }

// Formats through all three entry points and insists they agree: the measure,
// a buffer of exactly the measured size plus terminator, and FormatWV.
WString FormatAll(LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  va_list measureArgs, bufferArgs, stringArgs;
  va_copy(measureArgs, args);
  va_copy(bufferArgs, args);
  va_copy(stringArgs, args);
  int needed = _vscwprintf(format, measureArgs);
  std::vector<WCHAR> buffer(size_t(needed) + 1 + kGuardUnits, kGuard);
  int written = _vsnwprintf(buffer.data(), size_t(needed) + 1, format, bufferArgs);
  WString viaString = FormatWV(format, stringArgs);
  va_end(measureArgs);
  va_end(bufferArgs);
  va_end(stringArgs);
  va_end(args);

  EXPECT_EQ(written, needed) << Narrow(format);
  EXPECT_EQ(int(viaString.size()), needed) << Narrow(format);
  EXPECT_EQ(buffer[size_t(needed)], 0) << "terminator missing for " << Narrow(format);
  for (size_t i = size_t(needed) + 1; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kGuard);
  WString viaBuffer(buffer.data(), size_t(needed));
  EXPECT_EQ(Narrow(viaBuffer), Narrow(viaString)) << Narrow(format);
  return viaString;
}

TEST(FormatConversions, IntegersInEveryBase) {
  EXPECT_EQ(Narrow(FormatAll(W("%d|%i|%u"), 42, -7, 42u)), "42|-7|42");
  EXPECT_EQ(Narrow(FormatAll(W("%d"), INT_MIN)), "-2147483648");
  EXPECT_EQ(Narrow(FormatAll(W("%d"), INT_MAX)), "2147483647");
  EXPECT_EQ(Narrow(FormatAll(W("%u"), 0xFFFFFFFFu)), "4294967295");
  EXPECT_EQ(Narrow(FormatAll(W("%x|%X"), 0xdeadBEEFu, 0xdeadBEEFu)), "deadbeef|DEADBEEF");
  EXPECT_EQ(Narrow(FormatAll(W("%08x"), 0x80004005u)), "80004005");
  EXPECT_EQ(Narrow(FormatAll(W("%08X"), 0x5u)), "00000005");
  EXPECT_EQ(Narrow(FormatAll(W("0x%08x"), HRESULT(0x8007000E))), "0x8007000e");
  EXPECT_EQ(Narrow(FormatAll(W("%d %u %x"), 0, 0u, 0u)), "0 0 0");
}

TEST(FormatConversions, FlagsWidthAndPrecision) {
  EXPECT_EQ(Narrow(FormatAll(W("[%5d]"), 42)), "[   42]");
  EXPECT_EQ(Narrow(FormatAll(W("[%-5d]"), 42)), "[42   ]");
  EXPECT_EQ(Narrow(FormatAll(W("[%05d]"), -42)), "[-0042]");
  EXPECT_EQ(Narrow(FormatAll(W("[%-05d]"), 42)), "[42   ]");  // '-' wins over '0'
  EXPECT_EQ(Narrow(FormatAll(W("[%.4d]"), 42)), "[0042]");
  EXPECT_EQ(Narrow(FormatAll(W("[%08.4d]"), 42)), "[    0042]");  // precision turns '0' off
  EXPECT_EQ(Narrow(FormatAll(W("[%.0d][%.0x]"), 0, 0u)), "[][]");
  EXPECT_EQ(Narrow(FormatAll(W("[%+d][% d][%+d]"), 5, 5, -5)), "[+5][ 5][-5]");
  EXPECT_EQ(Narrow(FormatAll(W("[%#x][%#X][%#x]"), 255u, 255u, 0u)), "[0xff][0XFF][0]");
  EXPECT_EQ(Narrow(FormatAll(W("[%#010x]"), 255u)), "[0x000000ff]");
  EXPECT_EQ(Narrow(FormatAll(W("[%2d]"), 12345)), "[12345]");  // width never truncates
}

TEST(FormatConversions, WidthAndPrecisionFromArguments) {
  EXPECT_EQ(Narrow(FormatAll(W("[%*d]"), 6, 42)), "[    42]");
  EXPECT_EQ(Narrow(FormatAll(W("[%*d]"), -6, 42)), "[42    ]");  // negative width means '-'
  EXPECT_EQ(Narrow(FormatAll(W("[%.*s]"), 3, W("abcdef"))), "[abc]");
  EXPECT_EQ(Narrow(FormatAll(W("[%.*s]"), -1, W("abcdef"))), "[abcdef]");  // negative precision: none
  EXPECT_EQ(Narrow(FormatAll(W("[%*.*d|%d]"), 7, 4, 42, 9)), "[   0042|9]");
}

TEST(FormatConversions, StringsAndCharacters) {
  EXPECT_EQ(Narrow(FormatAll(W("<%s>"), W("text"))), "<text>");
  EXPECT_EQ(Narrow(FormatAll(W("<%8s><%-8s>"), W("ab"), W("cd"))), "<      ab><cd      >");
  EXPECT_EQ(Narrow(FormatAll(W("<%.2s><%.9s>"), W("abcd"), W("abcd"))), "<ab><abcd>");
  EXPECT_EQ(Narrow(FormatAll(W("<%05s>"), W("ab"))), "<000ab>");  // the CRT zero-pads strings
  EXPECT_EQ(Narrow(FormatAll(W("<%s>"), W(""))), "<>");
  EXPECT_EQ(Narrow(FormatAll(W("<%c><%3c><%-3c>"), 'A', 'B', 'C')), "<A><  B><C  >");
  // Non-ASCII and astral text passes through unit by unit.
  EXPECT_EQ(FormatAll(W("%s|%c"), W("\u00e9\u20ac\U0001F600"), int(0x20AC)), W("\u00e9\u20ac\U0001F600|\u20ac"));
  EXPECT_EQ(Narrow(FormatAll(W("100%% %d%%"), 5)), "100% 5%");
}

TEST(FormatConversions, NullStringPrintsNullMarker) {
  LPCWSTR none = nullptr;
  EXPECT_EQ(Narrow(FormatAll(W("<%s>"), none)), "<(null)>");
  EXPECT_EQ(Narrow(FormatAll(W("<%8s>"), none)), "<  (null)>");
  EXPECT_EQ(Narrow(FormatAll(W("<%.3s>"), none)), "<(nu>");
}

TEST(FormatConversions, PrecisionBoundsTheRead) {
  // No terminator within the precision: the formatter must not look further
  // (AddressSanitizer reports a read past this allocation).
  std::unique_ptr<WCHAR[]> unterminated(new WCHAR[4]{u'w', u'x', u'y', u'z'});
  EXPECT_EQ(Narrow(FormatAll(W("[%.4s]"), unterminated.get())), "[wxyz]");
  EXPECT_EQ(Narrow(FormatAll(W("[%6.2s]"), unterminated.get())), "[    wx]");
}

TEST(FormatConversions, LengthModifiers) {
  // 'h' and 'l' do not change the size: LONG is 32 bits here as on Windows.
  EXPECT_EQ(Narrow(FormatAll(W("%hd|%ld|%lu|%lx"), 70000, -70000, 4000000000u, 0xABCDu)),
            "70000|-70000|4000000000|abcd");
  EXPECT_EQ(Narrow(FormatAll(W("%lld|%I64d"), LLONG_MIN, LLONG_MAX)), "-9223372036854775808|9223372036854775807");
  EXPECT_EQ(Narrow(FormatAll(W("%llu|%I64x|%llX"), ULLONG_MAX, 0x123456789abcdefULL, 0xFEDCBA9876543210ULL)),
            "18446744073709551615|123456789abcdef|FEDCBA9876543210");
  EXPECT_EQ(Narrow(FormatAll(W("%zu|%zx|%zd"), SIZE_MAX, size_t(0x1000), ptrdiff_t(-3))),
            std::to_string(SIZE_MAX) + "|1000|-3");
  EXPECT_EQ(Narrow(FormatAll(W("%I32d|%I32x"), -1, 0xFFu)), "-1|ff");
  // A 64-bit argument must be consumed whole, or what follows is misread.
  EXPECT_EQ(Narrow(FormatAll(W("%lld %d %I64u %s"), 1LL << 40, 7, 1ULL << 33, W("end"))),
            "1099511627776 7 8589934592 end");
  EXPECT_EQ(Narrow(FormatAll(W("%020lld"), -1LL)), "-0000000000000000001");
}

TEST(FormatConversions, UnknownConversionsAreLiteralAndConsumeNothing) {
  EXPECT_EQ(Narrow(FormatAll(W("%q"))), "%q");
  EXPECT_EQ(Narrow(FormatAll(W("100%"))), "100%");
  EXPECT_EQ(Narrow(FormatAll(W("%5q|%d"), 7)), "%5q|7");
  EXPECT_EQ(Narrow(FormatAll(W("%*q|%d"), 7)), "%*q|7");
  EXPECT_EQ(Narrow(FormatAll(W("%-08.3lq %d"), 3)), "%-08.3lq 3");
  EXPECT_EQ(Narrow(FormatAll(W("%S|%p|%f|%d"), 9)), "%S|%p|%f|9");
  EXPECT_EQ(Narrow(FormatAll(W("%5%|%d"), 1)), "%5%|1");
  EXPECT_EQ(Narrow(FormatAll(W("tail %ll"))), "tail %ll");
  EXPECT_EQ(Narrow(FormatAll(W("tail %-5"))), "tail %-5");
}

TEST(FormatConversions, LongStringOfAHundredThousandUnits) {
  WString big(100000, u'k');
  big[0] = u'<';
  big[99999] = u'>';
  WString out = FormatAll(W("[%s|%d]"), big.c_str(), 12);
  ASSERT_EQ(out.size(), 100000u + 5);
  EXPECT_EQ(out.substr(1, 100000), big);
  EXPECT_EQ(_scwprintf(W("%s%s"), big.c_str(), big.c_str()), 200000);
  // Padding a long string beyond its length.
  EXPECT_EQ(FormatW(W("%100005s"), big.c_str()).size(), 100005u);
  // The two-pass route of FormatWV must see the same arguments the second time.
  WString twoPass = FormatW(W("%s=%d,%s"), big.c_str(), 31337, W("tail"));
  EXPECT_EQ(twoPass.substr(100000), W("=31337,tail"));
}

// Formats `expected` into every buffer size from 0 to past its length and
// checks the CRT contract and that nothing beyond `count` is touched.
void CheckEveryBufferSize(const WString& expected, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  const size_t length = expected.size();
  for (size_t count = 0; count <= length + 3; ++count) {
    std::vector<WCHAR> buffer(count + kGuardUnits, kGuard);
    va_list copy;
    va_copy(copy, args);
    int result = _vsnwprintf(buffer.data(), count, format, copy);
    va_end(copy);
    if (count > length) {
      EXPECT_EQ(result, int(length)) << "count " << count;
      EXPECT_EQ(buffer[length], 0) << "count " << count;
    } else if (count == length) {
      EXPECT_EQ(result, int(length)) << "exact fit stores no terminator";
    } else {
      EXPECT_EQ(result, -1) << "count " << count;
    }
    size_t stored = std::min(count, length);
    EXPECT_EQ(WString(buffer.data(), stored), expected.substr(0, stored)) << "count " << count;
    size_t firstGuard = count > length ? length + 1 : count;
    for (size_t i = firstGuard; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], kGuard) << "write past the result at " << i << " with count " << count;
    }
  }
  va_end(args);
}

TEST(FormatTruncation, EveryBufferSizeKeepsTheGuard) {
  CheckEveryBufferSize(W("hr=0x80004005 name=[  abc] n=-12|%"), W("hr=0x%08x name=[%5s] n=%d|%%"), 0x80004005u,
                       W("abc"), -12);
  CheckEveryBufferSize(W("xyz"), W("xyz"));
  CheckEveryBufferSize(W(""), W(""));
  CheckEveryBufferSize(W("\U0001F600 %q 42"), W("%s %q %lld"), W("\U0001F600"), 42LL);
}

TEST(FormatTruncation, ArgumentErrorsAndSizeQueries) {
  EXPECT_EQ(_snwprintf(nullptr, 0, W("abc%d"), 12), 5);  // no buffer: the length
  WCHAR one[1] = {kGuard};
  EXPECT_EQ(_snwprintf(nullptr, 4, W("abc")), -1);
  EXPECT_EQ(_snwprintf(one, 0, W("abc")), -1);
  EXPECT_EQ(one[0], kGuard);
  EXPECT_EQ(_snwprintf(one, 1, nullptr), -1);
  EXPECT_EQ(_scwprintf(nullptr), -1);
  EXPECT_TRUE(FormatW(nullptr).empty());
  // A result longer than an int can report fails as a whole, quickly and
  // without allocating it.
  EXPECT_EQ(_scwprintf(W("%2147483647d%2147483647d"), 1, 2), -1);
  EXPECT_TRUE(FormatW(W("%2147483647d%2147483647d"), 1, 2).empty());
  EXPECT_EQ(_snwprintf(one, 1, W("%2147483647d%2147483647d"), 1, 2), -1);
}

// The measuring call and the formatting call walk the same code; a set of
// formats whose lengths are known independently pins both.
#define EXPECT_MEASURE_AND_FORMAT(length, ...)                \
  do {                                                        \
    int measured = _scwprintf(__VA_ARGS__);                   \
    WString formatted = FormatW(__VA_ARGS__);                 \
    EXPECT_EQ(measured, length) << Narrow(formatted);         \
    EXPECT_EQ(size_t(measured), formatted.size());            \
  } while (0)

TEST(FormatTruncation, MeasureMatchesFormattedLength) {
  EXPECT_MEASURE_AND_FORMAT(11, W("%d"), INT_MIN);
  EXPECT_MEASURE_AND_FORMAT(12, W("%08x|%s"), 0x80000000u, W("abc"));
  EXPECT_MEASURE_AND_FORMAT(21, W("%-20s!"), W("abc"));
  EXPECT_MEASURE_AND_FORMAT(2, W("%.2s"), W("abc"));
  EXPECT_MEASURE_AND_FORMAT(4, W("%q%%%"));
  EXPECT_MEASURE_AND_FORMAT(30, W("%*d"), 30, 5);
  EXPECT_MEASURE_AND_FORMAT(20, W("%lld"), LLONG_MIN);
  EXPECT_MEASURE_AND_FORMAT(6, W("%s"), static_cast<LPCWSTR>(nullptr));
  EXPECT_MEASURE_AND_FORMAT(300, W("%300c"), 'x');
}

// ---- seeded fuzz -------------------------------------------------------------

// The arguments every fuzz format is called with; a format consumes them in
// order, so each conversion the generator emits matches the type of its slot.
enum class Slot { Str, Int, Long };
constexpr Slot kSlots[] = {Slot::Str, Slot::Int, Slot::Long, Slot::Int, Slot::Int,
                           Slot::Str, Slot::Int, Slot::Long, Slot::Int, Slot::Int};
constexpr size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];

struct Piece {
  std::string text;      // as it appears in the format (ASCII)
  std::string narrow;    // the same conversion for the C library, or empty for literal text
  int starWidthSlot = -1;
  int starPrecisionSlot = -1;
  int valueSlot = -1;
  bool zeroPadText = false;  // '0' on %s/%c: the C library leaves that undefined
};

class FormatFuzz {
 public:
  explicit FormatFuzz(uint32_t seed) : m_random(seed) {}

  int Below(int n) { return int(m_random() % uint32_t(n)); }

  std::string Flags(bool* zero, bool* left) {
    std::string flags;
    for (int n = Below(4); n > 0; --n) {
      char f = "-0+ #"[Below(5)];
      flags += f;
      if (f == '0') *zero = true;
      if (f == '-') *left = true;
    }
    return flags;
  }

  std::string Digits() {
    switch (Below(3)) {
      case 0:
        return "";
      case 1:
        return std::to_string(Below(10));
      default:
        return std::to_string(Below(30));
    }
  }

  // Builds the format and the pieces that say what each part should print.
  std::vector<Piece> Generate(int* starSlots) {
    std::vector<Piece> pieces;
    size_t slot = 0;
    *starSlots = 0;
    for (int n = Below(12); n > 0; --n) {
      Piece piece;
      int kind = Below(10);
      if (kind < 3) {
        for (int k = Below(4) + 1; k > 0; --k) piece.text += "ab z-09.#*lhI"[Below(13)];
      } else if (kind == 3) {
        piece.text = "%%";
        piece.narrow = "%%";
      } else if (kind < 6) {
        bool zero = false, left = false;
        piece.text = "%" + Flags(&zero, &left);
        if (Below(4) == 0) piece.text += "*";
        piece.text += Digits();
        if (Below(2)) piece.text += "." + Digits();
        static const char* kLengths[] = {"", "h", "l", "ll", "I64", "z", "I32"};
        piece.text += kLengths[Below(7)];
        piece.text += "qkyQmnoegfpSZCwLJ"[Below(17)];
      } else if (slot < kSlotCount) {
        GenerateConversion(&piece, &slot, starSlots);
      }
      pieces.push_back(piece);
    }
    if (Below(8) == 0) pieces.push_back(Piece{"%", "", -1, -1, -1, false});
    return pieces;
  }

  void GenerateConversion(Piece* piece, size_t* slot, int* starSlots) {
    bool zero = false, left = false;
    std::string flags = Flags(&zero, &left);
    std::string width, precision;
    // A star takes an Int slot, and only when a slot for the value follows.
    if (kSlots[*slot] == Slot::Int && *slot + 1 < kSlotCount && Below(3) == 0) {
      width = "*";
      piece->starWidthSlot = int((*slot)++);
      *starSlots |= 1 << piece->starWidthSlot;
    } else {
      width = Digits();
    }
    if (Below(2)) {
      if (kSlots[*slot] == Slot::Int && *slot + 1 < kSlotCount && Below(3) == 0) {
        precision = ".*";
        piece->starPrecisionSlot = int((*slot)++);
        *starSlots |= 1 << piece->starPrecisionSlot;
      } else {
        precision = "." + Digits();
      }
    }
    piece->valueSlot = int(*slot);
    std::string head = flags + width + precision;
    switch (kSlots[(*slot)++]) {
      case Slot::Str: {
        piece->text = "%" + head + "s";
        piece->zeroPadText = zero && !left;
        std::string stripped;
        for (char c : flags) {
          if (c != '0') stripped += c;
        }
        piece->narrow = "%" + stripped + width + precision + "s";
        break;
      }
      case Slot::Int: {
        static const char* kLengths[] = {"", "h", "l", "I32"};
        char conversion = "diuxXc"[Below(6)];
        std::string length = kLengths[Below(4)];
        piece->text = "%" + head + length + conversion;
        if (conversion == 'c') {
          piece->zeroPadText = zero && !left;
          std::string stripped;
          for (char c : flags) {
            if (c != '0') stripped += c;
          }
          piece->narrow = "%" + stripped + width + precision + "c";
          m_charSlots |= 1 << piece->valueSlot;
        } else {
          piece->narrow = "%" + head + conversion;
        }
        break;
      }
      case Slot::Long: {
        char conversion = "diuxX"[Below(5)];
        std::string length = Below(2) ? "ll" : "I64";
        piece->text = "%" + head + length + conversion;
        piece->narrow = "%" + head + "ll" + conversion;
        break;
      }
    }
  }

  std::mt19937& Random() { return m_random; }
  int m_charSlots = 0;

 private:
  std::mt19937 m_random;
};

std::string NarrowPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[512];
  int n = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  EXPECT_GE(n, 0);
  EXPECT_LT(n, int(sizeof buffer));
  return std::string(buffer, size_t(std::max(n, 0)));
}

struct FuzzValues {
  std::string strings[kSlotCount];
  WString wideStrings[kSlotCount];
  int ints[kSlotCount] = {};
  long long longs[kSlotCount] = {};
};

std::string Expect(const Piece& piece, const FuzzValues& v) {
  if (piece.narrow.empty()) return piece.text;
  if (piece.narrow == "%%") return "%";
  const char* f = piece.narrow.c_str();
  const int w = piece.starWidthSlot >= 0 ? v.ints[piece.starWidthSlot] : 0;
  const int p = piece.starPrecisionSlot >= 0 ? v.ints[piece.starPrecisionSlot] : 0;
  const bool sw = piece.starWidthSlot >= 0, sp = piece.starPrecisionSlot >= 0;
  std::string out;
  auto call = [&](auto value) {
    if (sw && sp) return NarrowPrint(f, w, p, value);
    if (sw) return NarrowPrint(f, w, value);
    if (sp) return NarrowPrint(f, p, value);
    return NarrowPrint(f, value);
  };
  switch (kSlots[piece.valueSlot]) {
    case Slot::Str:
      out = call(v.strings[piece.valueSlot].c_str());
      break;
    case Slot::Int:
      out = call(v.ints[piece.valueSlot]);
      break;
    case Slot::Long:
      out = call(v.longs[piece.valueSlot]);
      break;
  }
  // A negative width from the arguments left-aligns, which turns '0' off.
  if (piece.zeroPadText && !(sw && w < 0)) {
    // Right-aligned padding of text becomes zeros; the fuzz strings never start with a space.
    for (char& c : out) {
      if (c != ' ') break;
      c = '0';
    }
  }
  return out;
}

TEST(FormatFuzz, RandomFormatsAgreeWithTheCLibraryAndKeepGuards) {
  FormatFuzz fuzz(20261207);
  static const int kInterestingInts[] = {0, 1, -1, 42, INT_MIN, INT_MAX, int(0x80004005u), 255, -255};
  static const long long kInterestingLongs[] = {0, -1, LLONG_MIN, LLONG_MAX, 1LL << 40, 123456789012345LL};
  static const char* kStrings[] = {"", "a", "hello world", "0123456789abcdefghijklmnopqrstuvwxyzABCDEFG",
                                   "tab\there"};
  for (int iteration = 0; iteration < 4000; ++iteration) {
    int starSlots = 0;
    fuzz.m_charSlots = 0;
    std::vector<Piece> pieces = fuzz.Generate(&starSlots);
    FuzzValues v;
    for (size_t i = 0; i < kSlotCount; ++i) {
      v.strings[i] = kStrings[fuzz.Below(5)];
      v.wideStrings[i] = Wide(v.strings[i]);
      v.longs[i] = kInterestingLongs[fuzz.Below(6)];
      if (starSlots & (1 << i)) {
        v.ints[i] = fuzz.Below(61) - 30;
      } else if (fuzz.m_charSlots & (1 << i)) {
        v.ints[i] = 'A' + fuzz.Below(26);
      } else {
        v.ints[i] = fuzz.Below(3) ? kInterestingInts[fuzz.Below(9)] : int(fuzz.Random()());
      }
    }
    std::string format, expected;
    for (const Piece& piece : pieces) {
      format += piece.text;
      expected += Expect(piece, v);
    }
    const WString wideFormat = Wide(format);
    // Every slot is passed with its own type; the format consumes a prefix.
#define FUZZ_ARGS                                                                                         \
  v.wideStrings[0].c_str(), v.ints[1], v.longs[2], v.ints[3], v.ints[4], v.wideStrings[5].c_str(), v.ints[6], \
      v.longs[7], v.ints[8], v.ints[9]
    WString formatted = FormatW(wideFormat.c_str(), FUZZ_ARGS);
    ASSERT_EQ(Narrow(formatted), expected) << "format: " << format;
    ASSERT_EQ(_scwprintf(wideFormat.c_str(), FUZZ_ARGS), int(expected.size())) << format;
    size_t count = size_t(fuzz.Below(int(expected.size()) + 3));
    std::vector<WCHAR> buffer(count + kGuardUnits, kGuard);
    int result = _snwprintf(buffer.data(), count, wideFormat.c_str(), FUZZ_ARGS);
#undef FUZZ_ARGS
    if (count > expected.size()) {
      ASSERT_EQ(result, int(expected.size())) << format;
      ASSERT_EQ(buffer[expected.size()], 0) << format;
    } else {
      ASSERT_EQ(result, count == expected.size() ? int(count) : -1) << format;
    }
    size_t stored = std::min(count, expected.size());
    ASSERT_EQ(Narrow(WString(buffer.data(), stored)), expected.substr(0, stored)) << format;
    for (size_t i = count > expected.size() ? expected.size() + 1 : count; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], kGuard) << format << " count " << count;
    }
  }
}

}  // namespace
