// UTF-8 <-> UTF-16 by the platform's one rule for bad input.
#include "utf_codec.h"

namespace arcwise_platform {

namespace {

void AppendUtf16(char32_t cp, WString* out) {
  if (cp < 0x10000) {
    out->push_back(WCHAR(cp));
    return;
  }
  cp -= 0x10000;
  out->push_back(WCHAR(HIGH_SURROGATE_START + (cp >> 10)));
  out->push_back(WCHAR(LOW_SURROGATE_START + (cp & 0x3FF)));
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

void Utf8Decoder::Replace(WString* out) {
  out->push_back(kReplacementCharacter);
  ++m_replacements;
}

void Utf8Decoder::Feed(std::string_view bytes, WString* out) {
  for (const char c : bytes) {
    const uint8_t b = uint8_t(c);
    if (m_needed > 0) {
      if (b >= m_low && b <= m_high) {
        m_value = (m_value << 6) | (b & 0x3F);
        m_low = 0x80;
        m_high = 0xBF;
        if (--m_needed == 0) AppendUtf16(m_value, out);
        continue;
      }
      // The sequence broke off: what was read of it is one subpart, and
      // this byte starts afresh, so a good character after it survives.
      m_needed = 0;
      m_low = 0x80;
      m_high = 0xBF;
      Replace(out);
    }
    if (b < 0x80) {
      out->push_back(WCHAR(b));
      continue;
    }
    // The second byte's range is narrowed where a wider one would let in
    // overlong forms (E0, F0), surrogates (ED) or more than U+10FFFF (F4);
    // C0, C1 and F5..FF can only ever start overlong or too large forms.
    if (b >= 0xC2 && b <= 0xDF) {
      m_needed = 1;
      m_value = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      m_needed = 2;
      m_value = b & 0x0F;
      if (b == 0xE0) m_low = 0xA0;
      if (b == 0xED) m_high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      m_needed = 3;
      m_value = b & 0x07;
      if (b == 0xF0) m_low = 0x90;
      if (b == 0xF4) m_high = 0x8F;
    } else {
      Replace(out);  // a continuation byte without a lead, or no lead at all
    }
  }
}

void Utf8Decoder::Finish(WString* out) {
  if (m_needed == 0) return;
  m_needed = 0;
  m_low = 0x80;
  m_high = 0xBF;
  Replace(out);
}

WString DecodeUtf8(std::string_view bytes, size_t* replacements) {
  WString out;
  out.reserve(bytes.size());
  Utf8Decoder decoder;
  decoder.Feed(bytes, &out);
  decoder.Finish(&out);
  if (replacements) *replacements = decoder.Replacements();
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t replacements = 0;
  DecodeUtf8(bytes, &replacements);
  return replacements == 0;
}

std::string EncodeUtf8(std::u16string_view text, size_t* loneSurrogates) {
  std::string out;
  out.reserve(text.size());
  size_t lone = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const WCHAR unit = text[i];
    if (IS_HIGH_SURROGATE(unit) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
      AppendUtf8(0x10000 + (char32_t(unit - HIGH_SURROGATE_START) << 10) + (text[i + 1] - LOW_SURROGATE_START),
                 &out);
      ++i;
    } else if (IS_HIGH_SURROGATE(unit) || IS_LOW_SURROGATE(unit)) {
      AppendUtf8(kReplacementCharacter, &out);
      ++lone;
    } else {
      AppendUtf8(unit, &out);
    }
  }
  if (loneSurrogates) *loneSurrogates = lone;
  return out;
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
      ++i;
    } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
      return true;
    }
  }
  return false;
}

}  // namespace arcwise_platform
