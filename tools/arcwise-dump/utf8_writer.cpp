#include "utf8_writer.h"

namespace {

void AppendCodePoint(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  size_t length = 0;
  char32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(s[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

void Utf8Encoder::Append(const WCHAR* text, size_t count, std::string* out) {
  size_t i = 0;
  if (m_pendingHigh && count > 0) {
    if (IsLow(text[0])) {
      AppendCodePoint(0x10000 + ((char32_t(m_pendingHigh) - 0xD800) << 10) + (char32_t(text[0]) - 0xDC00),
                      out);
      i = 1;
    } else {
      AppendCodePoint(kReplacement, out);
    }
    m_pendingHigh = 0;
  }
  out->reserve(out->size() + count);
  while (i < count) {
    // Plain ASCII runs are the bulk of indexed text.
    size_t start = i;
    while (i < count && text[i] < 0x80) ++i;
    if (i > start) {
      size_t at = out->size();
      out->resize(at + (i - start));
      char* dest = out->data() + at;
      for (size_t k = start; k < i; ++k) *dest++ = static_cast<char>(text[k]);
      continue;
    }
    char16_t c = text[i++];
    if (IsHigh(c)) {
      if (i == count) {
        m_pendingHigh = c;
        break;
      }
      if (IsLow(text[i])) {
        AppendCodePoint(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i]) - 0xDC00), out);
        ++i;
      } else {
        AppendCodePoint(kReplacement, out);
      }
    } else if (IsLow(c)) {
      AppendCodePoint(kReplacement, out);
    } else {
      AppendCodePoint(c, out);
    }
  }
}

void Utf8Encoder::Finish(std::string* out) {
  if (m_pendingHigh) AppendCodePoint(kReplacement, out);
  m_pendingHigh = 0;
}

std::string ToUtf8(const WCHAR* text, size_t count) {
  std::string out;
  Utf8Encoder encoder;
  encoder.Append(text, count, &out);
  encoder.Finish(&out);
  return out;
}

std::string BytesAsUtf8(std::string_view bytes) {
  bool valid = true;
  for (size_t i = 0; i < bytes.size() && valid;) {
    size_t length = Utf8SequenceLength(bytes, i);
    if (length == 0) valid = false;
    i += length;
  }
  if (valid) return std::string(bytes);
  std::string out;
  for (unsigned char c : bytes) AppendCodePoint(c, &out);
  return out;
}

void AppendJsonString(std::string_view utf8, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (char ch : utf8) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      case '\b': out->append("\\b"); break;
      case '\f': out->append("\\f"); break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 0xF]);
        } else {
          out->push_back(ch);
        }
    }
  }
  out->push_back('"');
}
