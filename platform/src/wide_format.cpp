// The wide printf-style formatter. One routine walks the format; it writes
// through a sink that counts every unit and stores only those that fit, so
// measuring and formatting can never disagree and no write leaves the buffer.
#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace {

// Counts every unit offered, stores the ones that fit in the caller's buffer.
class Sink {
 public:
  Sink(LPWSTR buffer, size_t capacity) : m_buffer(buffer), m_capacity(buffer ? capacity : 0) {}

  void Put(WCHAR c) {
    if (m_size < m_capacity) m_buffer[m_size] = c;
    ++m_size;
  }
  // Padding may be huge (a width taken from a mismatched argument); only the
  // part that fits costs work.
  void Fill(WCHAR c, size_t n) {
    for (size_t i = 0; i < n && m_size + i < m_capacity; ++i) m_buffer[m_size + i] = c;
    m_size += n;
  }
  void Write(const WCHAR* s, size_t n) {
    for (size_t i = 0; i < n && m_size + i < m_capacity; ++i) m_buffer[m_size + i] = s[i];
    m_size += n;
  }
  size_t Size() const { return m_size; }

 private:
  LPWSTR m_buffer;
  size_t m_capacity;
  size_t m_size = 0;
};

// va_list lives in a struct so it can be passed by reference on every ABI
// (on some it is an array type and decays when passed by value).
struct Args {
  va_list ap;
};

enum class Size { Int, Long64, Pointer };

struct Spec {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool widthFromArg = false;
  bool precisionFromArg = false;
  bool hasPrecision = false;
  size_t width = 0;
  size_t precision = 0;
  Size size = Size::Int;
};

// Widths and precisions are clamped so the sums below cannot overflow.
constexpr size_t kMaxField = INT_MAX;

size_t ReadNumber(LPCWSTR& p) {
  size_t value = 0;
  while (*p >= u'0' && *p <= u'9') {
    value = value * 10 + size_t(*p - u'0');
    if (value > kMaxField) value = kMaxField;
    ++p;
  }
  return value;
}

void Pad(Sink& sink, const Spec& spec, size_t length, WCHAR fill, bool before) {
  if (spec.width > length && before != spec.left) sink.Fill(fill, spec.width - length);
}

void WriteText(Sink& sink, const Spec& spec, LPCWSTR text) {
  static const WCHAR kNull[] = u"(null)";
  if (!text) text = kNull;
  // With a precision the text need not be terminated within it: look no further.
  size_t length = 0;
  if (spec.hasPrecision) {
    while (length < spec.precision && text[length]) ++length;
  } else {
    while (text[length]) ++length;
  }
  // The CRT pads strings and characters with zeros too when asked.
  WCHAR fill = spec.zero && !spec.left ? u'0' : u' ';
  Pad(sink, spec, length, fill, true);
  sink.Write(text, length);
  Pad(sink, spec, length, u' ', false);
}

void WriteChar(Sink& sink, const Spec& spec, WCHAR c) {
  WCHAR fill = spec.zero && !spec.left ? u'0' : u' ';
  Pad(sink, spec, 1, fill, true);
  sink.Put(c);
  Pad(sink, spec, 1, u' ', false);
}

void WriteInteger(Sink& sink, const Spec& spec, WCHAR conversion, bool negative, uint64_t magnitude) {
  const bool isSigned = conversion == u'd' || conversion == u'i';
  const bool hex = conversion == u'x' || conversion == u'X';
  const char* digitSet = conversion == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";

  WCHAR digits[24];
  size_t digitCount = 0;
  // "%.0d" of zero prints no digits at all.
  if (!(spec.hasPrecision && spec.precision == 0 && magnitude == 0)) {
    uint64_t v = magnitude;
    const unsigned base = hex ? 16 : 10;
    do {
      digits[digitCount++] = WCHAR(digitSet[v % base]);
      v /= base;
    } while (v);
  }

  WCHAR prefix[2];
  size_t prefixLength = 0;
  if (isSigned) {
    if (negative) {
      prefix[prefixLength++] = u'-';
    } else if (spec.plus) {
      prefix[prefixLength++] = u'+';
    } else if (spec.space) {
      prefix[prefixLength++] = u' ';
    }
  } else if (hex && spec.alternate && magnitude != 0) {
    prefix[prefixLength++] = u'0';
    prefix[prefixLength++] = conversion;
  }

  size_t zeros = spec.hasPrecision && spec.precision > digitCount ? spec.precision - digitCount : 0;
  size_t length = prefixLength + zeros + digitCount;
  // A precision turns the '0' flag off for integers, as in C.
  if (spec.zero && !spec.left && !spec.hasPrecision && spec.width > length) {
    zeros += spec.width - length;
    length = spec.width;
  }

  Pad(sink, spec, length, u' ', true);
  sink.Write(prefix, prefixLength);
  sink.Fill(u'0', zeros);
  while (digitCount) sink.Put(digits[--digitCount]);
  Pad(sink, spec, length, u' ', false);
}

bool IsConversion(WCHAR c) {
  switch (c) {
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
    case u'c':
    case u's':
      return true;
    default:
      return false;
  }
}

// Parses one conversion starting after '%'. Returns false when it is not one
// the formatter knows; p is then left on the offending unit (maybe the terminator).
bool ParseSpec(LPCWSTR& p, Spec& spec) {
  for (;; ++p) {
    if (*p == u'-') {
      spec.left = true;
    } else if (*p == u'0') {
      spec.zero = true;
    } else if (*p == u'+') {
      spec.plus = true;
    } else if (*p == u' ') {
      spec.space = true;
    } else if (*p == u'#') {
      spec.alternate = true;
    } else {
      break;
    }
  }
  if (*p == u'*') {
    spec.widthFromArg = true;
    ++p;
  } else {
    spec.width = ReadNumber(p);
  }
  if (*p == u'.') {
    ++p;
    spec.hasPrecision = true;
    if (*p == u'*') {
      spec.precisionFromArg = true;
      ++p;
    } else {
      spec.precision = ReadNumber(p);
    }
  }
  // Length modifiers: 'h' and 'l' keep 32 bits (LONG is 32 bits here, as on
  // Windows); "ll", "I64" and 'j' mean 64; 'z', 't' and a bare 'I' mean the
  // pointer size; "I32" means 32.
  if (*p == u'h') {
    ++p;
    if (*p == u'h') ++p;
  } else if (*p == u'l') {
    ++p;
    if (*p == u'l') {
      spec.size = Size::Long64;
      ++p;
    }
  } else if (*p == u'j') {
    spec.size = Size::Long64;
    ++p;
  } else if (*p == u'z' || *p == u't') {
    spec.size = Size::Pointer;
    ++p;
  } else if (*p == u'I') {
    ++p;
    if (p[0] == u'6' && p[1] == u'4') {
      spec.size = Size::Long64;
      p += 2;
    } else if (p[0] == u'3' && p[1] == u'2') {
      p += 2;
    } else {
      spec.size = Size::Pointer;
    }
  }
  return IsConversion(*p);
}

void TakeFieldArguments(Spec& spec, Args& args) {
  if (spec.widthFromArg) {
    int w = va_arg(args.ap, int);
    if (w < 0) {
      spec.left = true;
      spec.width = w == INT_MIN ? size_t(INT_MAX) + 1 : size_t(-w);
      if (spec.width > kMaxField) spec.width = kMaxField;
    } else {
      spec.width = size_t(w);
    }
  }
  if (spec.precisionFromArg) {
    int prec = va_arg(args.ap, int);
    // A negative precision from the arguments counts as none.
    if (prec < 0) {
      spec.hasPrecision = false;
      spec.precision = 0;
    } else {
      spec.precision = size_t(prec);
    }
  }
}

void WriteConversion(Sink& sink, Spec& spec, WCHAR conversion, Args& args) {
  TakeFieldArguments(spec, args);
  switch (conversion) {
    case u's':
      WriteText(sink, spec, va_arg(args.ap, LPCWSTR));
      return;
    case u'c':
      WriteChar(sink, spec, WCHAR(va_arg(args.ap, int)));
      return;
    case u'd':
    case u'i': {
      int64_t v;
      if (spec.size == Size::Long64) {
        v = va_arg(args.ap, long long);
      } else if (spec.size == Size::Pointer) {
        v = va_arg(args.ap, ptrdiff_t);
      } else {
        v = va_arg(args.ap, int);
      }
      // Negating in unsigned arithmetic keeps INT64_MIN defined.
      uint64_t magnitude = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
      WriteInteger(sink, spec, conversion, v < 0, magnitude);
      return;
    }
    default: {
      uint64_t v;
      if (spec.size == Size::Long64) {
        v = va_arg(args.ap, unsigned long long);
      } else if (spec.size == Size::Pointer) {
        v = va_arg(args.ap, size_t);
      } else {
        v = va_arg(args.ap, unsigned int);
      }
      WriteInteger(sink, spec, conversion, false, v);
      return;
    }
  }
}

// The one walk over a format. Works on its own copy of the arguments, so a
// caller may hand in the same va_list for a measuring pass and a writing pass.
size_t Format(Sink& sink, LPCWSTR format, va_list source) {
  Args args;
  va_copy(args.ap, source);
  LPCWSTR p = format;
  while (*p) {
    if (*p != u'%') {
      sink.Put(*p++);
      continue;
    }
    if (p[1] == u'%') {
      sink.Put(u'%');
      p += 2;
      continue;
    }
    LPCWSTR start = p++;
    Spec spec;
    if (!ParseSpec(p, spec)) {
      // Not ours: keep the text as written and leave the arguments alone, so
      // a stray '%' in a message cannot shift or misread what follows.
      if (*p) ++p;
      sink.Write(start, size_t(p - start));
      continue;
    }
    WriteConversion(sink, spec, *p++, args);
  }
  va_end(args.ap);
  return sink.Size();
}

}  // namespace

int _vscwprintf(LPCWSTR format, va_list args) {
  if (!format) return -1;
  Sink sink(nullptr, 0);
  size_t needed = Format(sink, format, args);
  return needed > size_t(INT_MAX) ? -1 : int(needed);
}

int _scwprintf(LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int result = _vscwprintf(format, args);
  va_end(args);
  return result;
}

int _vsnwprintf(LPWSTR buffer, size_t count, LPCWSTR format, va_list args) {
  if (!format || (!buffer && count)) return -1;
  Sink sink(buffer, count);
  size_t written = Format(sink, format, args);
  if (written > size_t(INT_MAX)) return -1;
  if (written < count) {
    buffer[written] = 0;
    return int(written);
  }
  // Exactly full: the CRT stores no terminator and still reports success.
  if (written == count && buffer) return int(written);
  // Nothing stored and no buffer: the caller asked for the length.
  if (!buffer) return int(written);
  return -1;
}

int _snwprintf(LPWSTR buffer, size_t count, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int result = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  return result;
}

WString FormatWV(LPCWSTR format, va_list args) {
  if (!format) return WString();
  // Most log lines fit here, so they take one pass.
  WCHAR small[256];
  Sink first(small, sizeof small / sizeof small[0]);
  size_t needed = Format(first, format, args);
  if (needed <= sizeof small / sizeof small[0]) return WString(small, needed);
  // Beyond what the CRT can report; the format itself is broken.
  if (needed > size_t(INT_MAX)) return WString();
  WString out(needed, u'\0');
  Sink second(out.data(), out.size());
  Format(second, format, args);
  return out;
}

WString FormatW(LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  WString out = FormatWV(format, args);
  va_end(args);
  return out;
}
