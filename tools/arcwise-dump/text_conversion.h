// Text for arcwise-dump's output, UTF-8, converted by the platform's
// WideCharToMultiByte and MultiByteToWideChar (so the tool has no codec of
// its own). A filter's text comes in GetText pieces that may split a
// surrogate pair, so the piecewise converter keeps a trailing high surrogate
// for the next piece; unpaired surrogates become U+FFFD. One converter per
// output writer, on the main thread; the free functions are pure.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

class Utf8PieceConverter {
 public:
  // Appends the UTF-8 form of text[0..count) to *out.
  void Append(const WCHAR* text, size_t count, std::string* out);
  // Ends the text: a high surrogate still waiting becomes U+FFFD.
  void Finish(std::string* out);

 private:
  WCHAR m_pendingHigh = 0;
};

// UTF-8 of a whole wide string.
std::string ToUtf8(const WCHAR* text, size_t count);

// Bytes of unknown encoding (VT_LPSTR values) as UTF-8: kept when they
// already are UTF-8, else read as Latin-1 (code page 28591).
std::string BytesAsUtf8(std::string_view bytes);
