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

struct Conversion {
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

// A width or precision as written: digits, or '*' for one taken from the
// arguments (then *fromArgument is set and the value waits for them).
size_t ReadField(LPCWSTR& p, bool* fromArgument) {
  if (*p != u'*') return ReadNumber(p);
  *fromArgument = true;
  ++p;
  return 0;
}

void Pad(Sink& sink, const Conversion& conv, size_t length, WCHAR fill, bool before) {
  if (conv.width > length && before != conv.left) sink.Fill(fill, conv.width - length);
}

void WriteText(Sink& sink, const Conversion& conv, LPCWSTR text) {
  static const WCHAR kNull[] = u"(null)";
  if (!text) text = kNull;
  // With a precision the text need not be terminated within it: look no further.
  size_t length = 0;
  if (conv.hasPrecision) {
    while (length < conv.precision && text[length]) ++length;
  } else {
    while (text[length]) ++length;
  }
  // The CRT pads strings and characters with zeros too when asked.
  WCHAR fill = conv.zero && !conv.left ? u'0' : u' ';
  Pad(sink, conv, length, fill, true);
  sink.Write(text, length);
  Pad(sink, conv, length, u' ', false);
}

void WriteChar(Sink& sink, const Conversion& conv, WCHAR c) {
  WCHAR fill = conv.zero && !conv.left ? u'0' : u' ';
  Pad(sink, conv, 1, fill, true);
  sink.Put(c);
  Pad(sink, conv, 1, u' ', false);
}

void WriteInteger(Sink& sink, const Conversion& conv, WCHAR conversion, bool negative, uint64_t magnitude) {
  const bool isSigned = conversion == u'd' || conversion == u'i';
  const bool hex = conversion == u'x' || conversion == u'X';
  const char* digitSet = conversion == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";

  WCHAR digits[24];
  size_t digitCount = 0;
  // "%.0d" of zero prints no digits at all.
  if (!(conv.hasPrecision && conv.precision == 0 && magnitude == 0)) {
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
    } else if (conv.plus) {
      prefix[prefixLength++] = u'+';
    } else if (conv.space) {
      prefix[prefixLength++] = u' ';
    }
  } else if (hex && conv.alternate && magnitude != 0) {
    prefix[prefixLength++] = u'0';
    prefix[prefixLength++] = conversion;
  }

  size_t zeros = conv.hasPrecision && conv.precision > digitCount ? conv.precision - digitCount : 0;
  size_t length = prefixLength + zeros + digitCount;
  // A precision turns the '0' flag off for integers, as in C.
  if (conv.zero && !conv.left && !conv.hasPrecision && conv.width > length) {
    zeros += conv.width - length;
    length = conv.width;
  }

  Pad(sink, conv, length, u' ', true);
  sink.Write(prefix, prefixLength);
  sink.Fill(u'0', zeros);
  while (digitCount) sink.Put(digits[--digitCount]);
  Pad(sink, conv, length, u' ', false);
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
bool ParseSpec(LPCWSTR& p, Conversion& conv) {
  for (;; ++p) {
    if (*p == u'-') {
      conv.left = true;
    } else if (*p == u'0') {
      conv.zero = true;
    } else if (*p == u'+') {
      conv.plus = true;
    } else if (*p == u' ') {
      conv.space = true;
    } else if (*p == u'#') {
      conv.alternate = true;
    } else {
      break;
    }
  }
  conv.width = ReadField(p, &conv.widthFromArg);
  if (*p == u'.') {
    ++p;
    conv.hasPrecision = true;
    conv.precision = ReadField(p, &conv.precisionFromArg);
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
      conv.size = Size::Long64;
      ++p;
    }
  } else if (*p == u'j') {
    conv.size = Size::Long64;
    ++p;
  } else if (*p == u'z' || *p == u't') {
    conv.size = Size::Pointer;
    ++p;
  } else if (*p == u'I') {
    ++p;
    if (p[0] == u'6' && p[1] == u'4') {
      conv.size = Size::Long64;
      p += 2;
    } else if (p[0] == u'3' && p[1] == u'2') {
      p += 2;
    } else {
      conv.size = Size::Pointer;
    }
  }
  return IsConversion(*p);
}

void TakeFieldArguments(Conversion& conv, Args& args) {
  if (conv.widthFromArg) {
    int w = va_arg(args.ap, int);
    if (w < 0) {
      conv.left = true;
      conv.width = w == INT_MIN ? size_t(INT_MAX) + 1 : size_t(-w);
      if (conv.width > kMaxField) conv.width = kMaxField;
    } else {
      conv.width = size_t(w);
    }
  }
  if (conv.precisionFromArg) {
    int prec = va_arg(args.ap, int);
    // A negative precision from the arguments counts as none.
    if (prec < 0) {
      conv.hasPrecision = false;
      conv.precision = 0;
    } else {
      conv.precision = size_t(prec);
    }
  }
}

void WriteConversion(Sink& sink, Conversion& conv, WCHAR conversion, Args& args) {
  TakeFieldArguments(conv, args);
  switch (conversion) {
    case u's':
      WriteText(sink, conv, va_arg(args.ap, LPCWSTR));
      return;
    case u'c':
      WriteChar(sink, conv, WCHAR(va_arg(args.ap, int)));
      return;
    case u'd':
    case u'i': {
      int64_t v;
      if (conv.size == Size::Long64) {
        v = va_arg(args.ap, long long);
      } else if (conv.size == Size::Pointer) {
        v = va_arg(args.ap, ptrdiff_t);
      } else {
        v = va_arg(args.ap, int);
      }
      // Negating in unsigned arithmetic keeps INT64_MIN defined.
      uint64_t magnitude = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
      WriteInteger(sink, conv, conversion, v < 0, magnitude);
      return;
    }
    default: {
      uint64_t v;
      if (conv.size == Size::Long64) {
        v = va_arg(args.ap, unsigned long long);
      } else if (conv.size == Size::Pointer) {
        v = va_arg(args.ap, size_t);
      } else {
        v = va_arg(args.ap, unsigned int);
      }
      WriteInteger(sink, conv, conversion, false, v);
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
    Conversion conv;
    if (!ParseSpec(p, conv)) {
      // Not ours: keep the text as written and leave the arguments alone, so
      // a stray '%' in a message cannot shift or misread what follows.
      if (*p) ++p;
      sink.Write(start, size_t(p - start));
      continue;
    }
    WriteConversion(sink, conv, *p++, args);
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
