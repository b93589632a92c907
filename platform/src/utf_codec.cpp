// UTF-8 <-> UTF-16 by the platform's one rule for bad input.
//
// Every text the filters pass on goes through here twice (UTF-8 files in,
// the host's UTF-8 out), so the loops write through raw pointers into
// buffers sized up front, and runs of ASCII go eight bytes (four units) at
// a time. A null output only counts, for the callers that ask for a size.
#include "utf_codec.h"

#include <cstring>

namespace arcwise_platform {

namespace {

constexpr uint64_t kHighBits8 = 0x8080808080808080ULL;
constexpr uint64_t kAbove7F4 = 0xFF80FF80FF80FF80ULL;

// Eight ASCII bytes (one little-endian word) as eight UTF-16 units: each
// half spread to 16-bit lanes, two word stores instead of eight.
inline void Widen8(uint64_t word, WCHAR* out) {
  auto spread = [](uint64_t x) {
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFULL;
    return (x | (x << 8)) & 0x00FF00FF00FF00FFULL;
  };
  const uint64_t low = spread(word & 0xFFFFFFFFULL);
  const uint64_t high = spread(word >> 32);
  std::memcpy(out, &low, sizeof low);
  std::memcpy(out + 4, &high, sizeof high);
}

// Outputs are a buffer and a count, never a moving pointer: counting runs
// with a null buffer, which no pointer arithmetic may touch.
template <bool kWrite>
inline void Put(WCHAR* out, size_t& n, WCHAR unit) {
  if constexpr (kWrite) out[n] = unit;
  ++n;
}

template <bool kWrite>
inline void PutCodePoint(WCHAR* out, size_t& n, char32_t cp) {
  if (cp < 0x10000) {
    Put<kWrite>(out, n, WCHAR(cp));
    return;
  }
  cp -= 0x10000;
  Put<kWrite>(out, n, WCHAR(HIGH_SURROGATE_START + (cp >> 10)));
  Put<kWrite>(out, n, WCHAR(LOW_SURROGATE_START + (cp & 0x3FF)));
}

template <bool kWrite>
inline void PutByte(char* out, size_t& n, unsigned value) {
  if constexpr (kWrite) out[n] = char(value);
  ++n;
}

template <bool kWrite>
inline void PutUtf8(char* out, size_t& n, char32_t cp) {
  if (cp < 0x80) {
    PutByte<kWrite>(out, n, cp);
  } else if (cp < 0x800) {
    PutByte<kWrite>(out, n, 0xC0 | (cp >> 6));
    PutByte<kWrite>(out, n, 0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    PutByte<kWrite>(out, n, 0xE0 | (cp >> 12));
    PutByte<kWrite>(out, n, 0x80 | ((cp >> 6) & 0x3F));
    PutByte<kWrite>(out, n, 0x80 | (cp & 0x3F));
  } else {
    PutByte<kWrite>(out, n, 0xF0 | (cp >> 18));
    PutByte<kWrite>(out, n, 0x80 | ((cp >> 12) & 0x3F));
    PutByte<kWrite>(out, n, 0x80 | ((cp >> 6) & 0x3F));
    PutByte<kWrite>(out, n, 0x80 | (cp & 0x3F));
  }
}

template <bool kWrite>
size_t Encode(std::u16string_view text, char* out, size_t* loneSurrogates) {
  size_t n = 0;
  const WCHAR* p = text.data();
  const WCHAR* const end = p + text.size();
  size_t lone = 0;
  while (p < end) {
    // Four ASCII units at a time.
    while (end - p >= 4) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if (word & kAbove7F4) break;
      if constexpr (kWrite) {
        out[n] = char(p[0]);
        out[n + 1] = char(p[1]);
        out[n + 2] = char(p[2]);
        out[n + 3] = char(p[3]);
      }
      n += 4;
      p += 4;
    }
    if (p == end) break;
    const WCHAR unit = *p++;
    if (unit < 0x80) {
      PutByte<kWrite>(out, n, unit);
    } else if (IS_HIGH_SURROGATE(unit) && p < end && IS_LOW_SURROGATE(*p)) {
      PutUtf8<kWrite>(out, n, 0x10000 + (char32_t(unit - HIGH_SURROGATE_START) << 10) + (*p - LOW_SURROGATE_START));
      ++p;
    } else if (IS_HIGH_SURROGATE(unit) || IS_LOW_SURROGATE(unit)) {
      PutUtf8<kWrite>(out, n, kReplacementCharacter);
      ++lone;
    } else {
      PutUtf8<kWrite>(out, n, unit);
    }
  }
  if (loneSurrogates) *loneSurrogates = lone;
  return n;
}

}  // namespace

template <bool kWrite>
size_t Utf8Decoder::Run(const uint8_t* p, size_t n, WCHAR* out) {
  size_t units = 0;
  const uint8_t* const end = p + n;
  while (p < end) {
    if (m_needed == 0) {
      // Eight ASCII bytes at a time while no sequence is open.
      while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & kHighBits8) break;
        if constexpr (kWrite) Widen8(word, out + units);
        units += 8;
        p += 8;
      }
      if (p == end) break;
    }
    const uint8_t b = *p++;
    if (m_needed > 0) {
      if (b >= m_low && b <= m_high) {
        m_value = (m_value << 6) | (b & 0x3F);
        m_low = 0x80;
        m_high = 0xBF;
        if (--m_needed == 0) PutCodePoint<kWrite>(out, units, m_value);
        continue;
      }
      // The sequence broke off: what was read of it is one subpart, and
      // this byte starts afresh, so a good character after it survives.
      m_needed = 0;
      m_low = 0x80;
      m_high = 0xBF;
      Put<kWrite>(out, units, kReplacementCharacter);
      ++m_replacements;
    }
    if (b < 0x80) {
      Put<kWrite>(out, units, WCHAR(b));
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
      // A continuation byte without a lead, or no lead at all.
      Put<kWrite>(out, units, kReplacementCharacter);
      ++m_replacements;
    }
  }
  return units;
}

size_t Utf8Decoder::FeedInto(std::string_view bytes, WCHAR* out) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  return out ? Run<true>(p, bytes.size(), out) : Run<false>(p, bytes.size(), nullptr);
}

void Utf8Decoder::Feed(std::string_view bytes, WString* out) {
  const size_t at = out->size();
  out->resize(at + MaxUnits(bytes.size()));
  out->resize(at + FeedInto(bytes, out->data() + at));
}

void Utf8Decoder::Finish(WString* out) {
  if (m_needed == 0) return;
  m_needed = 0;
  m_low = 0x80;
  m_high = 0xBF;
  out->push_back(kReplacementCharacter);
  ++m_replacements;
}

size_t DecodeUtf8Into(std::string_view bytes, WCHAR* out, size_t* replacements) {
  Utf8Decoder decoder;
  size_t units = decoder.FeedInto(bytes, out);
  // A sequence left open at the end is one more U+FFFD; its lead byte gave
  // no unit yet, so the text still fits in one unit per byte.
  WString tail;
  decoder.Finish(&tail);
  if (!tail.empty()) {
    if (out) out[units] = tail[0];
    ++units;
  }
  if (replacements) *replacements = decoder.Replacements();
  return units;
}

WString DecodeUtf8(std::string_view bytes, size_t* replacements) {
  WString out(bytes.size(), u'\0');
  out.resize(DecodeUtf8Into(bytes, out.data(), replacements));
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t replacements = 0;
  DecodeUtf8Into(bytes, nullptr, &replacements);
  return replacements == 0;
}

size_t EncodeUtf8Into(std::u16string_view text, char* out, size_t* loneSurrogates) {
  return out ? Encode<true>(text, out, loneSurrogates) : Encode<false>(text, nullptr, loneSurrogates);
}

std::string EncodeUtf8(std::u16string_view text, size_t* loneSurrogates) {
  std::string out(text.size() * 3, '\0');
  out.resize(EncodeUtf8Into(text, out.data(), loneSurrogates));
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
