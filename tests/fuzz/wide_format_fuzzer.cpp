// libFuzzer target for the platform's wide formatter (_vscwprintf,
// _vsnwprintf, FormatWV and their variadic forms).
//
// Input: a format text in UTF-8 up to the first '\n', then the bytes the
// arguments and buffer sizes are drawn from. The harness reads the format the
// way the formatter documents it and passes exactly the arguments its
// conversions take (a mismatch would be the harness's fault, not the
// formatter's); a '%' that starts no documented conversion passes no argument.
// At most kMaxSlots arguments: the rest of a format that needs more is cut.
//
// Checks: every entry point agrees on the length; a buffer of any size gets
// no unit past its end, a terminator when the text fits and -1 when it does
// not; the whole format's text is its pieces' texts one after another (so no
// conversion takes another's arguments and unknown ones are copied as they
// stand); a precision bounds how far a string is read (such strings come
// unterminated); and integer conversions that C defines alike match vsnprintf.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <windows.h>

namespace {

constexpr size_t kMaxSlots = 4;
// Texts up to this length are made in full and compared; longer ones (huge
// widths) are only measured and written into bounded buffers.
constexpr int kMaxText = 1 << 16;
constexpr size_t kMaxCapacity = 4096;
constexpr WCHAR kGuard = 0xBEEF;
constexpr size_t kGuardUnits = 8;
// Widths and precisions vsnprintf is asked to reproduce.
constexpr long long kMaxCompared = 1000;

// vsnprintf reads %zd as ssize_t and %tu as the unsigned ptrdiff_t; the
// harness passes ptrdiff_t and size_t for both.
static_assert(std::is_same_v<std::make_signed_t<size_t>, ptrdiff_t>);

enum class SlotKind : uint8_t { Int, Unsigned, Int64, UInt64, PtrDiff, Size, Text };

struct Slot {
  SlotKind kind = SlotKind::Int;
  long long number = 0;
  const WCHAR* text = nullptr;
};

struct Result {
  int measured = 0;
  bool hasText = false;
  WString text;
};

struct Job {
  WString format;
  std::string narrow;  // the same conversion for vsnprintf; empty: not compared
  std::vector<Slot> slots;
  uint16_t capacitySeed = 0;
  Result result;
};

const Job* g_failing = nullptr;

void Require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "wide_format_fuzzer: %s\n", what);
  if (g_failing) fprintf(stderr, "  format: \"%s\"\n", Utf16ToUtf8(g_failing->format).c_str());
  abort();
}

bool GuardsIntact(const std::vector<WCHAR>& buffer, size_t from) {
  for (size_t i = from; i < buffer.size(); ++i) {
    if (buffer[i] != kGuard) return false;
  }
  return true;
}

// Runs one job through the va_list entry points; the arguments are exactly
// those of job->slots.
void CallAll(Job* job, ...) {
  g_failing = job;
  const LPCWSTR format = job->format.c_str();
  Result& result = job->result;
  va_list args, copy;
  va_start(args, job);

  va_copy(copy, args);
  result.measured = _vscwprintf(format, copy);
  va_end(copy);
  Require(result.measured >= -1, "_vscwprintf returned below -1");
  va_copy(copy, args);
  Require(_vsnwprintf(nullptr, 0, format, copy) == result.measured, "a null buffer measures differently");
  va_end(copy);

  if (result.measured >= 0 && result.measured <= kMaxText) {
    const size_t length = size_t(result.measured);
    std::vector<WCHAR> buffer(length + 1 + kGuardUnits, kGuard);
    va_copy(copy, args);
    Require(_vsnwprintf(buffer.data(), length + 1, format, copy) == result.measured,
            "a buffer of the measured size does not take the text");
    va_end(copy);
    Require(buffer[length] == 0, "the text that fits has no terminator");
    Require(GuardsIntact(buffer, length + 1), "write past the buffer");
    result.hasText = true;
    result.text.assign(buffer.data(), length);
    va_copy(copy, args);
    Require(FormatWV(format, copy) == result.text, "FormatWV and _vsnwprintf disagree");
    va_end(copy);
  }

  // A buffer of any size around the text's length, maybe far too small.
  const size_t bound = result.measured < 0 ? kMaxCapacity : std::min(size_t(result.measured), kMaxCapacity);
  const size_t capacity = job->capacitySeed % (bound + 2);
  std::vector<WCHAR> buffer(capacity + kGuardUnits, kGuard);
  va_copy(copy, args);
  const int written = _vsnwprintf(buffer.data(), capacity, format, copy);
  va_end(copy);
  Require(GuardsIntact(buffer, capacity), "write past a small buffer");
  if (result.measured >= 0 && size_t(result.measured) < capacity) {
    Require(written == result.measured && buffer[size_t(result.measured)] == 0, "a fitting text is mishandled");
  } else if (result.measured >= 0 && size_t(result.measured) == capacity) {
    Require(written == result.measured, "a text that just fills the buffer is not reported");
  } else {
    Require(written == -1, "a text that does not fit is not reported as cut");
  }
  if (result.hasText) {
    const size_t stored = std::min(capacity, result.text.size());
    Require(WString(buffer.data(), stored) == result.text.substr(0, stored), "a cut text differs from the whole");
  }

  if (!job->narrow.empty()) {
    char narrow[2 * kMaxCompared + 64];
    va_copy(copy, args);
    const int expected = vsnprintf(narrow, sizeof narrow, job->narrow.c_str(), copy);
    va_end(copy);
    Require(expected == result.measured && result.hasText, "the length differs from vsnprintf");
    Require(result.text == WString(narrow, narrow + expected), "the text differs from vsnprintf");
  }
  va_end(args);
}

// Turns the slots into a call with arguments of exactly their types.
template <class... A>
void Dispatch(Job& job, A... args) {
  constexpr size_t taken = sizeof...(A);
  if (taken == job.slots.size()) {
    CallAll(&job, args...);
    Require(_scwprintf(job.format.c_str(), args...) == job.result.measured, "_scwprintf measures differently");
    if (job.result.hasText) Require(FormatW(job.format.c_str(), args...) == job.result.text, "FormatW differs");
    return;
  }
  if constexpr (taken < kMaxSlots) {
    const Slot& slot = job.slots[taken];
    switch (slot.kind) {
      case SlotKind::Int:
        return Dispatch(job, args..., static_cast<int>(slot.number));
      case SlotKind::Unsigned:
        return Dispatch(job, args..., static_cast<unsigned>(slot.number));
      case SlotKind::Int64:
        return Dispatch(job, args..., static_cast<long long>(slot.number));
      case SlotKind::UInt64:
        return Dispatch(job, args..., static_cast<unsigned long long>(slot.number));
      case SlotKind::PtrDiff:
        return Dispatch(job, args..., static_cast<ptrdiff_t>(slot.number));
      case SlotKind::Size:
        return Dispatch(job, args..., static_cast<size_t>(slot.number));
      case SlotKind::Text:
        return Dispatch(job, args..., slot.text);
    }
  }
}

bool IsDigit(WCHAR c) { return c >= u'0' && c <= u'9'; }

// One piece of the format: literal text, "%%", an unknown conversion (all
// copied as the formatter documents), or a conversion with its arguments.
struct Piece {
  WString text;
  WString literalOutput;
  bool isConversion = false;
  std::string narrow;
  std::vector<Slot> slots;
};

Piece Literal(const WString& text, const WString& output) {
  Piece piece;
  piece.text = text;
  piece.literalOutput = output;
  return piece;
}

Slot IntSlot(long long value) {
  Slot slot;
  slot.number = value;
  return slot;
}

class Builder {
 public:
  Builder(const WString& format, FuzzedDataProvider& provider) : m_format(format), m_provider(provider) {}

  // Splits the format into pieces; stops where a conversion would need more
  // than kMaxSlots arguments in all.
  std::vector<Piece> Pieces() {
    std::vector<Piece> pieces;
    size_t slotsUsed = 0;
    size_t i = 0;
    while (i < m_format.size()) {
      if (m_format[i] != u'%') {
        size_t end = m_format.find(u'%', i);
        if (end == WString::npos) end = m_format.size();
        WString text = m_format.substr(i, end - i);
        pieces.push_back(Literal(text, text));
        i = end;
        continue;
      }
      if (i + 1 < m_format.size() && m_format[i + 1] == u'%') {
        pieces.push_back(Literal(u"%%", u"%"));
        i += 2;
        continue;
      }
      Piece piece = Conversion(i);
      slotsUsed += piece.slots.size();
      if (slotsUsed > kMaxSlots) break;
      pieces.push_back(std::move(piece));
    }
    return pieces;
  }

 private:
  // Reads digits as the formatter does, clamped at INT_MAX.
  long long Number(size_t& j) {
    long long value = 0;
    while (j < m_format.size() && IsDigit(m_format[j])) {
      value = std::min<long long>(value * 10 + (m_format[j] - u'0'), INT_MAX);
      ++j;
    }
    return value;
  }

  bool Matches(size_t j, const char16_t* text) const {
    return m_format.compare(j, std::char_traits<char16_t>::length(text), text) == 0;
  }

  Piece Conversion(size_t& i) {
    Piece piece;
    size_t j = i + 1;
    bool alternate = false, widthStar = false, precisionStar = false, hasPrecision = false;
    long long width = 0, precision = 0;
    while (j < m_format.size() && WString(u"-0+ #").find(m_format[j]) != WString::npos) {
      alternate = alternate || m_format[j] == u'#';
      ++j;
    }
    if (j < m_format.size() && m_format[j] == u'*') {
      widthStar = true;
      ++j;
    } else {
      width = Number(j);
    }
    if (j < m_format.size() && m_format[j] == u'.') {
      hasPrecision = true;
      ++j;
      if (j < m_format.size() && m_format[j] == u'*') {
        precisionStar = true;
        ++j;
      } else {
        precision = Number(j);
      }
    }
    static const char16_t* const kModifiers[] = {u"hh", u"h", u"ll", u"l", u"j", u"z", u"t", u"I64", u"I32", u"I"};
    WString modifier;
    for (const char16_t* candidate : kModifiers) {
      if (Matches(j, candidate)) {
        modifier = candidate;
        j += modifier.size();
        break;
      }
    }
    const WCHAR conversion = j < m_format.size() ? m_format[j] : u'\0';
    if (conversion == u'\0' || WString(u"diuxXcs").find(conversion) == WString::npos) {
      // Not a conversion: copied up to and with the unit that ended it.
      const size_t end = std::min(j + 1, m_format.size());
      piece.text = m_format.substr(i, end - i);
      piece.literalOutput = piece.text;
      i = end;
      return piece;
    }
    piece.isConversion = true;
    piece.text = m_format.substr(i, j + 1 - i);
    i = j + 1;

    if (widthStar) {
      width = m_provider.ConsumeIntegral<int>();
      piece.slots.push_back(IntSlot(width));
      width = width < 0 ? -width : width;
    }
    if (precisionStar) {
      precision = m_provider.ConsumeIntegral<int>();
      piece.slots.push_back(IntSlot(precision));
      hasPrecision = precision >= 0;
    }
    const bool wide64 = modifier == u"ll" || modifier == u"j" || modifier == u"I64";
    const bool pointerSized = modifier == u"z" || modifier == u"t" || modifier == u"I";
    Slot value;
    value.number = m_provider.ConsumeIntegral<long long>();
    switch (conversion) {
      case u's':
        value.kind = SlotKind::Text;
        value.text = Text(hasPrecision ? precision : -1);
        break;
      case u'c':
        value.kind = SlotKind::Int;
        break;
      case u'd':
      case u'i':
        value.kind = wide64 ? SlotKind::Int64 : pointerSized ? SlotKind::PtrDiff : SlotKind::Int;
        break;
      default:
        value.kind = wide64 ? SlotKind::UInt64 : pointerSized ? SlotKind::Size : SlotKind::Unsigned;
        break;
    }
    piece.slots.push_back(value);

    // C gives these the same meaning; 'h', 'l', 'j' and the 'I' forms it
    // does not (this formatter keeps them at 32 or 64 bits as Windows does).
    const bool sameInC = conversion != u's' && conversion != u'c' &&
                         (modifier.empty() || modifier == u"ll" || modifier == u"z" || modifier == u"t") &&
                         (!alternate || conversion == u'x' || conversion == u'X') && width <= kMaxCompared &&
                         (!hasPrecision || precision <= kMaxCompared);
    if (sameInC) piece.narrow = Utf16ToUtf8(piece.text);
    return piece;
  }

  // A string argument: now and then null; with a precision that it reaches,
  // sometimes without a terminator, in a block of exactly that many units.
  const WCHAR* Text(long long precision) {
    const uint8_t shape = m_provider.ConsumeIntegral<uint8_t>();
    if (shape % 16 == 0) return nullptr;
    const size_t length = m_provider.ConsumeIntegralInRange<size_t>(0, 64);
    const bool unterminated = shape % 2 == 1 && precision >= 0 && size_t(precision) <= length;
    const size_t units = unterminated ? size_t(precision) : length + 1;
    auto block = std::make_unique<WCHAR[]>(units == 0 ? 1 : units);
    for (size_t k = 0; k < units; ++k) block[k] = m_provider.ConsumeIntegral<uint16_t>();
    if (!unterminated) block[length] = 0;
    m_strings.push_back(std::move(block));
    return m_strings.back().get();
  }

  const WString& m_format;
  FuzzedDataProvider& m_provider;

 public:
  std::vector<std::unique_ptr<WCHAR[]>> m_strings;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* newline = static_cast<const uint8_t*>(memchr(data, '\n', size));
  const size_t formatBytes = newline ? size_t(newline - data) : size;
  WString format = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), formatBytes));
  format = format.substr(0, format.find(u'\0'));
  FuzzedDataProvider provider(data + formatBytes, size - formatBytes);

  Builder builder(format, provider);
  const std::vector<Piece> pieces = builder.Pieces();
  Job whole;
  // A piece beyond what a length can report (-1) makes the whole one too.
  long long total = 0;
  bool pieceTooLong = false;
  bool allTexts = true;
  WString expected;
  for (const Piece& piece : pieces) {
    whole.format += piece.text;
    whole.slots.insert(whole.slots.end(), piece.slots.begin(), piece.slots.end());
    if (!piece.isConversion) {
      total += static_cast<long long>(piece.literalOutput.size());
      expected += piece.literalOutput;
      continue;
    }
    Job alone;
    alone.format = piece.text;
    alone.narrow = piece.narrow;
    alone.slots = piece.slots;
    alone.capacitySeed = provider.ConsumeIntegral<uint16_t>();
    Dispatch(alone);
    pieceTooLong = pieceTooLong || alone.result.measured < 0;
    if (alone.result.measured >= 0) total += alone.result.measured;
    allTexts = allTexts && alone.result.hasText;
    if (alone.result.hasText) expected += alone.result.text;
  }
  whole.capacitySeed = provider.ConsumeIntegral<uint16_t>();
  Dispatch(whole);

  g_failing = &whole;
  const long long expectedLength = pieceTooLong || total > INT_MAX ? -1 : total;
  if (whole.result.measured != expectedLength) {
    fprintf(stderr, "  length %d, pieces %lld\n", whole.result.measured, total);
    Require(false, "the length differs from the sum of its pieces");
  }
  if (allTexts && whole.result.hasText) Require(whole.result.text == expected, "the text differs from its pieces");
  g_failing = nullptr;
  return 0;
}
