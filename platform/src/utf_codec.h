// The platform's one UTF-8 <-> UTF-16 codec, internal to the platform library:
// every UTF-8 conversion in platform/src (Utf8ToUtf16/Utf16ToUtf8, the CP_UTF8
// branches of MultiByteToWideChar/WideCharToMultiByte, debug output, paths)
// goes through it, so they all treat bad input by the same rule:
//  - decoding: each maximal ill-formed subpart (the longest run that starts
//    a well-formed sequence, or else a single byte) becomes one U+FFFD, the
//    rule current Windows' MultiByteToWideChar(CP_UTF8) follows; overlong
//    forms, encoded surrogates and code points above U+10FFFF are ill-formed;
//  - encoding: an unpaired surrogate becomes U+FFFD (EF BF BD).
// Callers that must fail instead (MB_ERR_INVALID_CHARS, WC_ERR_INVALID_CHARS)
// ask whether anything was replaced.
// Pure functions are thread-safe; a Utf8Decoder belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <windows.h>

namespace arcwise_platform {

constexpr WCHAR kReplacementCharacter = 0xFFFD;

// UTF-8 decoded in pieces split anywhere, even inside a character: a
// sequence cut by the end of one piece is completed by the next, so the
// pieces give the same text as the whole.
class Utf8Decoder {
 public:
  // Appends the UTF-16 of the characters the bytes complete; an unfinished
  // sequence at the end waits for the next Feed or for Finish.
  void Feed(std::string_view bytes, WString* out);
  // Feed into a buffer of at least MaxUnits(bytes.size()) units, or with a
  // null one only counting them; returns the units the bytes gave.
  size_t FeedInto(std::string_view bytes, WCHAR* out);
  static constexpr size_t MaxUnits(size_t bytes) { return bytes + 2; }
  // The end of the input: an unfinished sequence becomes one U+FFFD. The
  // decoder is then ready for a new text; the count of replacements stays.
  void Finish(WString* out);
  // U+FFFD written for ill-formed input since construction (a U+FFFD that
  // the input itself encodes is not counted).
  size_t Replacements() const { return m_replacements; }

 private:
  template <bool kWrite>
  size_t Run(const uint8_t* p, size_t n, WCHAR* out);

  char32_t m_value = 0;  // bits of the sequence read so far
  int m_needed = 0;      // continuation bytes still to come
  uint8_t m_low = 0x80;  // range the next continuation byte must fall in
  uint8_t m_high = 0xBF;
  size_t m_replacements = 0;
};

// The whole text at once; *replacements (when given) counts what was replaced.
WString DecodeUtf8(std::string_view bytes, size_t* replacements = nullptr);
// The whole text into a buffer of at least bytes.size() units (a whole text
// never gives more units than bytes), or with a null one only counted.
size_t DecodeUtf8Into(std::string_view bytes, WCHAR* out, size_t* replacements = nullptr);
// Whether the bytes are well-formed UTF-8 from first to last.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 -> UTF-8; *loneSurrogates (when given) counts the unpaired
// surrogates written as U+FFFD.
std::string EncodeUtf8(std::u16string_view text, size_t* loneSurrogates = nullptr);
// The same into a buffer of at least 3 bytes per unit, or with a null one
// only counted; returns the bytes.
size_t EncodeUtf8Into(std::u16string_view text, char* out, size_t* loneSurrogates = nullptr);
// Whether the text holds a surrogate without its partner.
bool HasLoneSurrogate(std::u16string_view text);

}  // namespace arcwise_platform
